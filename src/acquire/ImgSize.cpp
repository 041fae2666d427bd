#include "ImgSize.h"

#include "MediaBytes.h"

using MediaBytes::mustReadAt;

ImageSize GetBMPSize(QIODevice &device)
{
    ImageSize size;
    const QByteArray h = mustReadAt(device, 0, 26);
    if (h.size() < 26 || !h.startsWith("BM"))
        return size;
    size.recognised = true;
    ByteReader dimensions(h, 14);
    // OS/2 1.x bitmaps have a 12-byte header with 16-bit sizes; every later header has 32-bit ones.
    constexpr quint32 CoreHeaderSize = 12;
    if (dimensions.leU32() == CoreHeaderSize) {
        size.width = dimensions.leU16();
        size.height = dimensions.leU16();
        return size;
    }
    size.width = qint32(dimensions.leU32());
    // A negative height only says the rows are stored top-down.
    size.height = qAbs(qint64(qint32(dimensions.leU32())));
    return size;
}

ImageSize GetPNGSize(QIODevice &device)
{
    ImageSize size;
    const QByteArray h = mustReadAt(device, 0, 24);
    if (h.size() < 24 || !h.startsWith("\x89PNG\r\n\x1A\n"))
        return size;
    size.recognised = true;
    ByteReader header(h, 16); // the IHDR chunk's data
    size.width = header.beU32();
    size.height = header.beU32();
    return size;
}

// A start-of-frame marker, whichever coding it announces (baseline, progressive, lossless,
// arithmetic): C0 to CF but for the three that share the range, DHT (C4), JPG (C8) and DAC (CC).
static bool startsFrame(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

ImageSize GetJPEGSize(QIODevice &device)
{
    ImageSize size;
    const qint64 length = device.size();
    const QByteArray start = mustReadAt(device, 0, 2);
    if (start.size() < 2 || ByteReader(start).beU16() != 0xFFD8)
        return size;
    size.recognised = true;
    const qint64 limit = qMin(length, ImageScanLimit);
    qint64 pos = 2;
    // One byte read ahead of each marker; the walk ends when it is not FF or at the end.
    auto readByte = [&](int &value) {
        if (pos >= limit)
            return false;
        const QByteArray b = mustReadAt(device, pos, 1);
        if (b.isEmpty())
            return false;
        value = ByteReader(b).u8();
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
        if (startsFrame(marker)) {
            const QByteArray frame = mustReadAt(device, pos + 3, 4);
            if (frame.size() < 4) {
                // The file ends inside the frame header that should hold the size.
                size.recognised = false;
                return size;
            }
            ByteReader dimensions(frame);
            size.height = dimensions.beU16();
            size.width = dimensions.beU16();
            return size;
        }
        const QByteArray lengthBytes = mustReadAt(device, pos, 2);
        if (lengthBytes.size() < 2)
            return size;
        const qint64 segment = ByteReader(lengthBytes).beU16();
        // A length below 2 would step back onto the same marker for ever: treat it as the end.
        if (segment < 2)
            return size;
        pos += segment;
        if (!readByte(byte))
            return size;
    }
    return size;
}

namespace
{

// The GIF walk visits blocks of a few bytes each; it reads through a buffer of its own so that
// a file of many tiny sub-blocks costs one device read per chunk, not one per block.
class GifBytes
{
public:
    GifBytes(QIODevice &device, qint64 limit) : m_device(device), m_limit(limit) {}

    // The byte at `pos`, -1 past the end of the data (or of what the walk may read), -2 on a
    // read failure.
    int at(qint64 pos)
    {
        if (pos < 0 || pos >= m_limit)
            return -1;
        if (pos < m_start || pos >= m_start + m_chunk.size()) {
            constexpr qint64 Chunk = 4096;
            MediaBytes::ReadResult read = MediaBytes::readAt(m_device, pos, qMin(Chunk, m_limit - pos));
            if (read.failed)
                return -2;
            m_start = pos;
            m_chunk = read.bytes;
            if (m_chunk.isEmpty())
                return -1;
        }
        return ByteReader(m_chunk, pos - m_start).u8();
    }

private:
    QIODevice &m_device;
    qint64 m_limit;
    qint64 m_start = 0;
    QByteArray m_chunk;
};

constexpr int GifImageDescriptor = 0x2C; // ","
constexpr int GifExtension = 0x21;
constexpr int GifTrailer = 0x3B;

} // namespace

ImageSize GetGIFSize(QIODevice &device)
{
    ImageSize size;
    const MediaBytes::ReadResult header = MediaBytes::readAt(device, 0, 13);
    if (header.failed || header.bytes.size() < 13 || !header.bytes.startsWith("GIF"))
        return size;
    size.recognised = true;
    const quint8 flags = ByteReader(header.bytes, 10).u8();
    qint64 pos = 13;
    if (flags & 0x80)
        pos += 3 * (qint64(1) << ((flags & 7) + 1));
    GifBytes bytes(device, qMin(device.size(), ImageScanLimit));
    // Extensions (comments, loop counts, frame timing) are stepped over by their sub-block
    // lengths, so a "," inside one is not taken for the image. A byte that starts no block is
    // passed over on its own, as older files with stray bytes before the image need.
    for (;;) {
        const int block = bytes.at(pos);
        if (block == -2)
            return ImageSize();
        if (block < 0 || block == GifTrailer)
            return size;
        if (block == GifImageDescriptor)
            break;
        if (block != GifExtension) {
            ++pos;
            continue;
        }
        pos += 2; // the introducer and the extension's label
        for (;;) {
            const int length = bytes.at(pos);
            if (length == -2)
                return ImageSize();
            if (length < 0)
                return size;
            pos += 1 + length;
            if (length == 0)
                break;
        }
    }
    const MediaBytes::ReadResult descriptor = MediaBytes::readAt(device, pos + 1, 10);
    if (descriptor.failed)
        return ImageSize();
    // Fields beyond the end of a truncated file read as 0.
    ByteReader dimensions(descriptor.bytes, 4);
    size.width = dimensions.leU16();
    size.height = dimensions.leU16();
    return size;
}
