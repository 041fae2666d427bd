#include "ContentsRecord.h"
#include "core/SizeSum.h"

namespace ContentsRecord
{

bool parseOtherSize(QByteArrayView text, qint64 &size)
{
    bool ok = false;
    size = text.toLongLong(&ok, 10);
    if (ok)
        return true;
    // The lists' sizes are unsigned: one past the signed range (a sum of sparse files, written
    // so by older scans) reads as the largest size, as sums now stop there.
    if (const quint64 past = text.toULongLong(&ok, 10); ok && past > LargestSize) {
        size = qint64(LargestSize);
        return true;
    }
    return false;
}

} // namespace ContentsRecord
