#include "MediaBytes.h"

#include "core/FileInput.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

namespace MediaBytes
{

ReadResult readAt(QIODevice &device, qint64 pos, qint64 count)
{
    ReadResult result;
    if (pos < 0 || count <= 0)
        return result;
    if (!device.isSequential()) {
        if (pos >= device.size())
            return result;
        // Sequential walks (JPEG markers, GIF bytes) read on without seeking, which would
        // throw away the device's read buffer.
        if (device.pos() != pos && !device.seek(pos)) {
            result.failed = true;
            return result;
        }
    }
    result.bytes.resize(static_cast<qsizetype>(count));
    qint64 got = 0;
    while (got < count) {
        const qint64 n = device.read(result.bytes.data() + got, count - got);
        if (n < 0) {
            result.failed = true;
            break;
        }
        if (n == 0)
            break;
        got += n;
    }
    result.bytes.resize(static_cast<qsizetype>(got));
    return result;
}

QByteArray mustReadAt(QIODevice &device, qint64 pos, qint64 count)
{
    ReadResult read = readAt(device, pos, count);
    if (read.failed)
        throw QuilloryError(FileInput::readFailure(device));
    return std::move(read.bytes);
}

bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

QByteArray trimTrailing(const QByteArray &bytes)
{
    qsizetype end = bytes.size();
    while (end > 0 && isBlankOrControl(bytes[end - 1]))
        --end;
    return bytes.left(end);
}

QByteArray trimBoth(const QByteArray &bytes)
{
    qsizetype begin = 0;
    while (begin < bytes.size() && isBlankOrControl(bytes[begin]))
        ++begin;
    return trimTrailing(bytes.mid(begin));
}

QString decodeText(const QByteArray &bytes)
{
    return TextCodec::decode(bytes);
}

} // namespace MediaBytes
