#pragma once

#include <QtGlobal>
#include <algorithm>
#include <limits>

// A size the catalogue keeps is a signed 64-bit number. Sparse files, or a damaged or hostile
// list or image, may add up to more; a sum stops at the largest size instead of wrapping round
// to a negative size, or to one the lists could not read back.
constexpr quint64 LargestSize = quint64(std::numeric_limits<qint64>::max());

inline void addCapped(quint64 &total, quint64 size)
{
    total = size > LargestSize - std::min(total, LargestSize) ? LargestSize : total + size;
}

inline void addCapped(qint64 &total, qint64 size)
{
    if (__builtin_add_overflow(total, size, &total))
        total = size > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}
