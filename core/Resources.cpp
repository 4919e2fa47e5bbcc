#include "core/Resources.h"

#if OXLADE_HAS_RESOURCES
#include "OxladeBinary.h"
#endif

namespace oxlade
{
EmbeddedResource getEmbeddedResource (const char* resourceName) noexcept
{
#if OXLADE_HAS_RESOURCES
    int size = 0;
    if (const char* data = OxladeBinary::getNamedResource (resourceName, size); data != nullptr && size >= 0)
        return { data, (std::size_t) size };
#else
    (void) resourceName;
#endif
    return {};
}
} // namespace oxlade
