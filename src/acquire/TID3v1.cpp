#include "TID3v1.h"

#include "MediaBytes.h"

static constexpr qint64 TagSize = 128;
static constexpr qint64 FieldSize = 30;

// A field ends at its first NUL (taggers leave stale bytes behind the terminator), then
// loses its trailing blanks and control characters.
static QString field(const QByteArray &tag, qsizetype offset)
{
    QByteArray bytes = tag.mid(offset, FieldSize);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return MediaBytes::decodeText(MediaBytes::trimTrailing(bytes));
}

bool TID3v1::ReadFromDevice(QIODevice &device)
{
    *this = TID3v1();
    const qint64 length = device.size();
    if (length < TagSize)
        return true;
    const MediaBytes::ReadResult read = MediaBytes::readAt(device, length - TagSize, TagSize);
    if (read.failed)
        return false;
    if (read.bytes.size() != TagSize || !read.bytes.startsWith("TAG"))
        return true;
    m_exists = true;
    m_title = field(read.bytes, 3);
    m_artist = field(read.bytes, 33);
    m_album = field(read.bytes, 63);
    return true;
}
