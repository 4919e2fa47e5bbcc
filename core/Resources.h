#pragma once

#include <cstddef>

namespace oxlade
{
/** The exact bytes of one embedded resource; data is null when there is no such resource. */
struct EmbeddedResource
{
    const char* data = nullptr;
    std::size_t size = 0;
};

/** Looks an embedded resource up by its name (file name with the dot replaced by an
    underscore, e.g. "clipper_fit_asym_json"). */
EmbeddedResource getEmbeddedResource (const char* resourceName) noexcept;
} // namespace oxlade
