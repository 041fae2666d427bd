#pragma once

#include <QtGlobal>
#include <cmath>

// Halves go to the even neighbour everywhere a value is rounded for display (bit rates,
// durations, the scan gauge), so the same input always shows the same figure.
inline double roundHalfEven(double value)
{
    const double whole = std::floor(value);
    const double frac = value - whole;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(whole, 2.0) != 0))
        return whole + 1;
    return whole;
}

// The whole percentage of part over total (total not 0), exact for any 64-bit sizes.
inline quint64 RoundedPercent(quint64 part, quint64 total)
{
    const unsigned __int128 num = static_cast<unsigned __int128>(part) * 100u;
    unsigned __int128 q = num / total;
    const unsigned __int128 r = num % total;
    if (2 * r > total || (2 * r == total && (q & 1)))
        ++q;
    return static_cast<quint64>(q);
}
