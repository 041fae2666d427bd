#include "TOggVorbis.h"

#include "MediaBytes.h"

// The identification packet of a first page with a single segment.
static constexpr qint64 PacketOffset = 28;
static constexpr qint64 PacketSize = 30;
// The comment header is looked for in the file's first bytes only, and no vendor text or
// comment is read beyond this many bytes: only short tags are wanted.
static constexpr qint64 CommentWindow = 250;
static constexpr qint64 MaxItemBytes = 250;
// A hostile comment count must not make the reader walk a large file four bytes at a time.
static constexpr quint32 MaxComments = 1024;
// The last page is searched for in this many steps back from the end.
static constexpr int PageTries = 50;
static constexpr qint64 PageStep = 240;
static constexpr qint64 PageProbe = 250;

void TOggVorbis::ReadFromDevice(QIODevice &device)
{
    *this = TOggVorbis();
    const MediaBytes::ReadResult read = MediaBytes::readAt(device, PacketOffset, PacketSize);
    const QByteArray &p = read.bytes;
    if (read.failed || p.size() < PacketSize)
        return;
    const ByteReader packet(p);
    if (packet.at(0).u8() != 1 || !packet.at(1).holds("vorbis"))
        return;
    m_fileSize = device.size();
    const int channels = packet.at(11).u8();
    m_channels = (channels == 1 || channels == 2) ? channels : 0;
    const quint32 rate = packet.at(12).leU32();
    m_sampleRate = (rate >= 8000 && rate <= 48000) ? rate : 0;
    const qint32 nominal = qint32(packet.at(20).leU32()) / 1000;
    m_nominalBitRate = (nominal >= 16 && nominal <= 350) ? nominal : 0;
    if (!readComments(device) || !readSamples(device)) {
        *this = TOggVorbis();
        return;
    }
    m_valid = true;
}

bool TOggVorbis::readComments(QIODevice &device)
{
    const MediaBytes::ReadResult head = MediaBytes::readAt(device, 0, CommentWindow);
    if (head.failed)
        return false;
    const qsizetype marker = head.bytes.indexOf("\x03vorbis");
    if (marker < 0)
        return true;
    qint64 pos = marker + 7;
    const qint64 length = device.size();

    // One length-prefixed item; its first bytes (at most MaxItemBytes) land in `text`.
    // False at the end of the file or on a read failure (`failed` set).
    bool failed = false;
    auto readItem = [&](QByteArray &text) {
        const MediaBytes::ReadResult len = MediaBytes::readAt(device, pos, 4);
        if (len.failed)
            failed = true;
        if (len.failed || len.bytes.size() < 4)
            return false;
        const qint64 itemLength = ByteReader(len.bytes).leU32();
        pos += 4;
        const MediaBytes::ReadResult data = MediaBytes::readAt(device, pos, qMin(itemLength, MaxItemBytes));
        if (data.failed)
            failed = true;
        if (data.failed || pos + itemLength > length)
            return false;
        text = data.bytes;
        pos += itemLength;
        return true;
    };

    QByteArray vendor;
    if (!readItem(vendor))
        return !failed;
    const MediaBytes::ReadResult countBytes = MediaBytes::readAt(device, pos, 4);
    if (countBytes.failed)
        return false;
    if (countBytes.bytes.size() < 4)
        return true;
    pos += 4;
    const quint32 count = qMin(ByteReader(countBytes.bytes).leU32(), MaxComments);
    for (quint32 i = 0; i < count; ++i) {
        QByteArray comment;
        if (!readItem(comment))
            return !failed;
        const qsizetype eq = comment.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray name = comment.left(eq).toUpper();
        const QString value = MediaBytes::decodeText(comment.mid(eq + 1));
        if (name == "TITLE")
            m_title = value;
        else if (name == "ARTIST")
            m_artist = value;
        else if (name == "ALBUM")
            m_album = value;
    }
    return true;
}

bool TOggVorbis::readSamples(QIODevice &device)
{
    for (int k = 1; k <= PageTries; ++k) {
        const qint64 at = m_fileSize - PageStep * k - 10;
        if (at + PageProbe <= 0)
            break;
        // Near the start of a short file the probe begins at 0 and keeps its end in place.
        const qint64 from = qMax<qint64>(at, 0);
        const MediaBytes::ReadResult probe = MediaBytes::readAt(device, from, at + PageProbe - from);
        if (probe.failed)
            return false;
        for (qint64 i = from - at; i <= PageStep; ++i) {
            const qint64 hit = i - (from - at);
            const ByteReader page(probe.bytes, hit);
            if (page.holds("OggS") && hit + 10 <= probe.bytes.size()) {
                m_samples = page.at(hit + 6).leU32();
                return true;
            }
        }
        if (at <= 0)
            break;
    }
    m_samples = 0;
    return true;
}

double TOggVorbis::Duration() const
{
    if (m_samples > 0)
        return m_sampleRate > 0 ? double(m_samples) / m_sampleRate : 0;
    if (m_nominalBitRate > 0 && m_channels > 0)
        return double(m_fileSize) / m_nominalBitRate / m_channels / 125 * 2;
    return 0;
}

qint64 TOggVorbis::BitRate() const
{
    const double duration = Duration();
    if (duration <= 0)
        return 0;
    // A hostile granule position can make the duration absurdly small; keep the figure finite.
    return qint64(roundHalfEven(qMin(double(m_fileSize) / duration / 125, 1e15)));
}
