#include "TID3v2.h"

#include "MediaBytes.h"

static constexpr qint64 HeaderSize = 10;
// Frame data is read into a buffer of this size; longer frames are cut, which costs nothing
// since only short text frames are wanted.
static constexpr qint64 FrameBufferSize = 250;
static constexpr quint8 UnsynchronisedFlag = 0x80;
static constexpr quint8 ExtendedHeaderFlag = 0x40;
// An unsynchronised tag is read whole, up to this many bytes; the text frames lie near its start.
static constexpr qint64 MaxUnsynchronisedTag = 256 * 1024;

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
    fields.skip(1); // revision
    const quint8 flags = fields.u8();
    // Four bytes of seven bits each, so that the size holds no false frame sync.
    qint64 size = 0;
    for (int i = 0; i < 4; ++i)
        size = (size << 7) | (fields.u8() & 0x7F);
    size += HeaderSize;
    m_size = size > device.size() ? 0 : size;
    if (m_majorVersion != 3 || m_size == 0)
        return true;
    if (!(flags & UnsynchronisedFlag))
        return readFrames([&device](qint64 pos, qint64 count) { return MediaBytes::readAt(device, pos, count); },
                          m_size, flags);
    // The tagger put a 0 after every FF so that no player takes the tag for audio: take those out
    // before the frames' sizes and positions mean anything. The tag is read whole for it, so only
    // up to a bound.
    const MediaBytes::ReadResult stored = MediaBytes::readAt(device, 0, qMin(m_size, MaxUnsynchronisedTag));
    if (stored.failed)
        return false;
    QByteArray tag = stored.bytes;
    tag.replace(QByteArrayView("\xFF\0", 2), QByteArrayView("\xFF", 1));
    return readFrames([&tag](qint64 pos, qint64 count) { return MediaBytes::ReadResult{tag.mid(pos, count)}; },
                      tag.size(), flags);
}

bool TID3v2::readFrames(const TagReader &read, qint64 end, quint8 flags)
{
    qint64 pos = HeaderSize;
    if (flags & ExtendedHeaderFlag) {
        // Its size counts the bytes after the size field.
        const MediaBytes::ReadResult extended = read(pos, 4);
        if (extended.failed)
            return false;
        pos += 4 + qint64(ByteReader(extended.bytes).beU32());
    }
    while (pos < end) {
        const MediaBytes::ReadResult frameHeader = read(pos, HeaderSize);
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
            // A size that runs past the tag would read the audio as text.
            const qint64 dataPos = pos + HeaderSize;
            const MediaBytes::ReadResult data =
                read(dataPos, qBound<qint64>(0, end - dataPos, qMin(frameSize, FrameBufferSize)));
            if (data.failed)
                return false;
            *target = frameText(data.bytes);
        }
        pos += HeaderSize + frameSize;
    }
    return true;
}
