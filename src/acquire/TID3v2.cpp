#include "TID3v2.h"

#include "MediaBytes.h"

static constexpr qint64 HeaderSize = 10;
// Frame data is read into a buffer of this size; longer frames are cut, which costs nothing
// since only short text frames are wanted.
static constexpr qint64 FrameBufferSize = 250;

static bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20;
}

// The text of a TIT2, TPE1 or TALB frame: its bytes without blanks and control characters at
// either end, which drops the leading text-encoding byte, and ending at its first NUL as in
// the zero-filled buffer the frame is read into. Text stored as UTF-16 (encoding byte 1) is
// decoded as such; read byte by byte it would be noise full of NULs.
static QString frameText(const QByteArray &data)
{
    QString text;
    if (!data.isEmpty() && data[0] == 1) {
        const QByteArray units = data.mid(1);
        const bool bigEndian = units.startsWith("\xFE\xFF");
        const bool bom = bigEndian || units.startsWith("\xFF\xFE");
        ByteReader unit(units, bom ? 2 : 0);
        while (unit.pos() + 1 < units.size()) {
            const char16_t c = bigEndian ? unit.beU16() : unit.leU16();
            if (c == 0)
                break;
            text += QChar(c);
        }
    } else {
        QByteArray bytes = data;
        const qsizetype nul = bytes.indexOf('\0', bytes.isEmpty() ? 0 : 1);
        if (nul >= 0)
            bytes.truncate(nul);
        text = MediaBytes::decodeText(MediaBytes::trimBoth(bytes));
    }
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text[begin]))
        ++begin;
    while (end > begin && isBlankOrControl(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool TID3v2::ReadFromDevice(QIODevice &device)
{
    *this = TID3v2();
    const MediaBytes::ReadResult header = MediaBytes::readAt(device, 0, HeaderSize);
    if (header.failed)
        return false;
    if (header.bytes.size() < HeaderSize || !header.bytes.startsWith("ID3"))
        return true;
    m_exists = true;
    ByteReader fields(header.bytes, 3);
    m_majorVersion = fields.u8();
    fields.skip(2); // revision, flags
    // Four bytes of seven bits each, so that the size holds no false frame sync.
    qint64 size = 0;
    for (int i = 0; i < 4; ++i)
        size = (size << 7) | (fields.u8() & 0x7F);
    size += HeaderSize;
    m_size = size > device.size() ? 0 : size;
    if (m_majorVersion == 3 && m_size > 0)
        return readFrames(device);
    return true;
}

bool TID3v2::readFrames(QIODevice &device)
{
    const qint64 length = device.size();
    qint64 pos = HeaderSize;
    while (pos < m_size && pos < length) {
        const MediaBytes::ReadResult frameHeader = MediaBytes::readAt(device, pos, HeaderSize);
        if (frameHeader.failed)
            return false;
        if (frameHeader.bytes.size() < HeaderSize)
            break;
        const char first = frameHeader.bytes[0];
        if (first < 'A' || first > 'Z')
            break;
        const QByteArray id = frameHeader.bytes.left(4);
        const qint64 frameSize = ByteReader(frameHeader.bytes, 4).beU32();
        QString *target = nullptr;
        if (id == "TIT2")
            target = &m_title;
        else if (id == "TPE1")
            target = &m_artist;
        else if (id == "TALB")
            target = &m_album;
        if (target) {
            const MediaBytes::ReadResult data =
                MediaBytes::readAt(device, pos + HeaderSize, qMin(frameSize, FrameBufferSize));
            if (data.failed)
                return false;
            *target = frameText(data.bytes);
        }
        pos += HeaderSize + frameSize;
    }
    return true;
}
