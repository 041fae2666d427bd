#include "ImgSize.h"

#include "MediaBytes.h"
#include "core/QuilloryError.h"

#include <QFileDevice>

static QString deviceName(const QIODevice &device)
{
    if (const auto *file = qobject_cast<const QFileDevice *>(&device))
        return file->fileName();
    return QString();
}

// The failure of the underlying file access, which ends the scan.
[[noreturn]] static void throwReadError(const QIODevice &device)
{
    throw QuilloryError(QStringLiteral("Error reading file \"%1\": %2").arg(deviceName(device), device.errorString()));
}

static QByteArray mustRead(QIODevice &device, qint64 pos, qint64 count)
{
    MediaBytes::ReadResult read = MediaBytes::readAt(device, pos, count);
    if (read.failed)
        throwReadError(device);
    return read.bytes;
}

ImageSize GetBMPSize(QIODevice &device)
{
    ImageSize size;
    const QByteArray h = mustRead(device, 0, 26);
    if (h.size() < 26 || !h.startsWith("BM"))
        return size;
    size.recognised = true;
    size.width = qint32(MediaBytes::le32(h, 18));
    size.height = qint32(MediaBytes::le32(h, 22));
    return size;
}

ImageSize GetPNGSize(QIODevice &device)
{
    ImageSize size;
    const QByteArray h = mustRead(device, 0, 24);
    if (h.size() < 24 || !h.startsWith("\x89PNG\r\n\x1A\n"))
        return size;
    size.recognised = true;
    size.width = MediaBytes::be16(h, 18);
    size.height = MediaBytes::be16(h, 22);
    return size;
}

ImageSize GetJPEGSize(QIODevice &device)
{
    ImageSize size;
    const qint64 length = device.size();
    const QByteArray start = mustRead(device, 0, 2);
    if (start.size() < 2 || MediaBytes::u8(start, 0) != 0xFF || MediaBytes::u8(start, 1) != 0xD8)
        return size;
    size.recognised = true;
    const qint64 limit = qMin(length, ImageScanLimit);
    qint64 pos = 2;
    // One byte read ahead of each marker; the walk ends when it is not FF or at the end.
    auto readByte = [&](int &value) {
        if (pos >= limit)
            return false;
        const QByteArray b = mustRead(device, pos, 1);
        if (b.isEmpty())
            return false;
        value = MediaBytes::u8(b, 0);
        ++pos;
        return true;
    };
    int byte = 0;
    if (!readByte(byte))
        return size;
    while (byte == 0xFF) {
        int marker = 0;
        if (!readByte(marker))
            return size;
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (marker == 0xC0 || marker == 0xC1) {
            const QByteArray frame = mustRead(device, pos + 3, 4);
            if (frame.size() < 4) {
                // The file ends inside the frame header that should hold the size.
                size.recognised = false;
                return size;
            }
            size.height = MediaBytes::be16(frame, 0);
            size.width = MediaBytes::be16(frame, 2);
            return size;
        }
        const QByteArray lengthBytes = mustRead(device, pos, 2);
        if (lengthBytes.size() < 2)
            return size;
        const qint64 segment = MediaBytes::be16(lengthBytes, 0);
        // A length below 2 would step back onto the same marker for ever: treat it as the end.
        if (segment < 2)
            return size;
        pos += segment;
        if (!readByte(byte))
            return size;
    }
    return size;
}

ImageSize GetGIFSize(QIODevice &device)
{
    ImageSize size;
    const MediaBytes::ReadResult header = MediaBytes::readAt(device, 0, 13);
    if (header.failed || header.bytes.size() < 13 || !header.bytes.startsWith("GIF"))
        return size;
    size.recognised = true;
    const quint8 flags = MediaBytes::u8(header.bytes, 10);
    qint64 pos = 13;
    if (flags & 0x80)
        pos += 3 * (qint64(1) << ((flags & 7) + 1));
    const qint64 limit = qMin(device.size(), ImageScanLimit);
    constexpr qint64 Chunk = 4096;
    while (pos < limit) {
        const MediaBytes::ReadResult chunk = MediaBytes::readAt(device, pos, qMin(Chunk, limit - pos));
        if (chunk.failed)
            return ImageSize();
        if (chunk.bytes.isEmpty())
            break;
        const qsizetype comma = chunk.bytes.indexOf(',');
        if (comma >= 0) {
            const MediaBytes::ReadResult descriptor = MediaBytes::readAt(device, pos + comma + 1, 10);
            if (descriptor.failed)
                return ImageSize();
            // Fields beyond the end of a truncated file read as 0.
            size.width = MediaBytes::le16(descriptor.bytes, 4);
            size.height = MediaBytes::le16(descriptor.bytes, 6);
            return size;
        }
        pos += chunk.bytes.size();
    }
    return size;
}
