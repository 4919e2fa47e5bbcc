#pragma once

#include <nlohmann/json.hpp>
#include <vector>

namespace oxlade
{
/** Appends every number of a (possibly nested) JSON array to `out`, depth-first in document
    order, converted to T. Returns false when any leaf is not a number (string, boolean, null or
    object); `out` may then hold a partial result, so callers flatten into a scratch vector. */
template <typename T>
bool flattenNumbers (const nlohmann::json& value, std::vector<T>& out)
{
    if (value.is_array())
    {
        for (const auto& element : value)
            if (!flattenNumbers (element, out))
                return false;
        return true;
    }

    if (value.is_number_integer() || value.is_number_unsigned() || value.is_number_float())
    {
        out.push_back (value.get<T>());
        return true;
    }

    return false;
}
} // namespace oxlade
