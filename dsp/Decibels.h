#pragma once

#include <cmath>

namespace oxlade
{
/** Linear gain of a level in dB: 10^(x/20), and exactly 0 at or below -100 dB. */
inline double gainFromDb (double db) noexcept
{
    return db > -100.0 ? std::pow (10.0, db / 20.0) : 0.0;
}

/** Level in dB of a linear gain, floored at the given value. */
inline double dbFromGain (double gain, double floorDb = -100.0) noexcept
{
    return gain > 0.0 ? std::fmax (20.0 * std::log10 (gain), floorDb) : floorDb;
}
} // namespace oxlade
