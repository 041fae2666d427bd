#include "ContentsRecord.h"

namespace ContentsRecord
{

bool parseOtherSize(QByteArrayView text, qint64 &size)
{
    bool ok = false;
    size = text.toLongLong(&ok, 10);
    return ok;
}

} // namespace ContentsRecord
