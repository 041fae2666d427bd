#include "TOggVorbis.h"

#include "MediaBytes.h"

#include <QScopeGuard>

// The identification packet of a first page with a single segment.
static constexpr qint64 PacketOffset = 28;
static constexpr qint64 PacketSize = 30;
// The comment header is looked for in the file's first bytes only, and no vendor text or
// comment is read beyond this many bytes: only short tags are wanted.
static constexpr qint64 CommentWindow = 250;
static constexpr qint64 MaxItemBytes = 250;
// A hostile comment count must not make the reader walk a large file four bytes at a time.
static constexpr quint32 MaxComments = 1024;
// A comment packet is followed over this many pages at most (64 MB of pictures in full pages);
// only their headers are read.
static constexpr int MaxPacketPages = 1024;
static constexpr qint64 PageHeaderSize = 27;
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

namespace
{

// An Ogg page: where its data lies, and whether it goes on with a packet of the page before.
struct Page {
    bool found = false;
    bool continued = false;
    qint64 dataStart = 0;
    qint64 dataEnd = 0;
};

Page pageAt(QIODevice &device, qint64 pos, bool &failed)
{
    Page page;
    const MediaBytes::ReadResult header = MediaBytes::readAt(device, pos, PageHeaderSize);
    failed = header.failed;
    if (failed || header.bytes.size() < PageHeaderSize || !header.bytes.startsWith("OggS"))
        return page;
    const qint64 segments = quint8(header.bytes[26]);
    const MediaBytes::ReadResult table = MediaBytes::readAt(device, pos + PageHeaderSize, segments);
    failed = table.failed;
    if (failed || table.bytes.size() < segments)
        return page;
    page.found = true;
    page.continued = header.bytes[5] & 1;
    page.dataStart = pos + PageHeaderSize + segments;
    page.dataEnd = page.dataStart;
    for (const char lacing : table.bytes)
        page.dataEnd += quint8(lacing);
    return page;
}

// The bytes of one packet in a row, stepping over the headers of the pages it goes on to, or
// simply the file's bytes from a position on where no page is known. Reads nothing but page
// headers and the bytes kept.
class PacketReader
{
public:
    PacketReader(QIODevice &device, qint64 pos, qint64 pageEnd) : m_device(device), m_pos(pos), m_pageEnd(pageEnd) {}

    // Moves on by `count` bytes, the first `keep` of them into `kept`. False when the packet
    // or the file ends first, or a read fails (then `failed`).
    bool advance(qint64 count, qint64 keep = 0, QByteArray *kept = nullptr)
    {
        while (count > 0) {
            if (m_pos >= m_pageEnd && !nextPage())
                return false;
            const qint64 step = qMin(count, m_pageEnd - m_pos);
            const qint64 want = qMin(step, keep);
            if (want > 0) {
                const MediaBytes::ReadResult read = MediaBytes::readAt(m_device, m_pos, want);
                if (read.failed)
                    return !(failed = true);
                if (read.bytes.size() < want)
                    return false;
                *kept += read.bytes;
                keep -= want;
            }
            m_pos += step;
            count -= step;
        }
        return true;
    }

    bool failed = false;
    // The headers of the pages the packet went on to.
    qint64 headerBytes = 0;

private:
    bool nextPage()
    {
        if (++m_pages > MaxPacketPages)
            return false;
        const Page page = pageAt(m_device, m_pageEnd, failed);
        if (!page.found || !page.continued)
            return false;
        headerBytes += page.dataStart - m_pageEnd;
        m_pos = page.dataStart;
        m_pageEnd = page.dataEnd;
        return true;
    }

    QIODevice &m_device;
    qint64 m_pos;
    qint64 m_pageEnd;
    int m_pages = 0;
};

} // namespace

bool TOggVorbis::readComments(QIODevice &device)
{
    static const QByteArray Marker("\x03vorbis");
    // The comment packet opens the second page, which a long packet (a picture) pushes past the
    // first bytes with its segment table; where the pages cannot be followed, the marker is
    // looked for in the first bytes and the bytes after it are read in a row.
    bool failed = false;
    const Page first = pageAt(device, 0, failed);
    const Page second = first.found ? pageAt(device, first.dataEnd, failed) : Page();
    if (failed)
        return false;
    qint64 pos = -1;
    qint64 pageEnd = device.size();
    if (second.found) {
        const MediaBytes::ReadResult opening = MediaBytes::readAt(device, second.dataStart, Marker.size());
        if (opening.failed)
            return false;
        if (opening.bytes == Marker) {
            pos = second.dataStart + Marker.size();
            pageEnd = second.dataEnd;
        }
    }
    if (pos < 0) {
        const MediaBytes::ReadResult head = MediaBytes::readAt(device, 0, CommentWindow);
        if (head.failed)
            return false;
        const qsizetype marker = head.bytes.indexOf(Marker);
        if (marker < 0)
            return true;
        pos = marker + Marker.size();
    }
    PacketReader packet(device, pos, pageEnd);
    const auto countPages = qScopeGuard([&] { m_unreadBytes += packet.headerBytes; });

    // One length-prefixed item; its first bytes (at most MaxItemBytes) land in `text`. False at
    // the end of the packet or on a read failure.
    auto readItem = [&](QByteArray &text) {
        QByteArray length;
        if (!packet.advance(4, 4, &length))
            return false;
        const qint64 itemLength = ByteReader(length).leU32();
        text.clear();
        if (!packet.advance(itemLength, MaxItemBytes, &text))
            return false;
        // A comment too long to be read whole is a picture or the like, not sound.
        if (itemLength > MaxItemBytes)
            m_unreadBytes += 4 + itemLength;
        return true;
    };

    QByteArray vendor;
    if (!readItem(vendor))
        return !packet.failed;
    QByteArray countBytes;
    if (!packet.advance(4, 4, &countBytes))
        return !packet.failed;
    const quint32 count = qMin(ByteReader(countBytes).leU32(), MaxComments);
    for (quint32 i = 0; i < count; ++i) {
        QByteArray comment;
        if (!readItem(comment))
            return !packet.failed;
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
                // A granule position of -1 (no packet ends on the page) or beyond 32 bits is
                // no count of samples: an earlier page gives it.
                const quint32 high = page.at(hit + 10).leU32();
                if (high != 0)
                    continue;
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
        return double(soundBytes()) / m_nominalBitRate / m_channels / 125 * 2;
    return 0;
}

qint64 TOggVorbis::soundBytes() const
{
    return m_fileSize - m_unreadBytes;
}

qint64 TOggVorbis::BitRate() const
{
    const double duration = Duration();
    if (duration <= 0)
        return 0;
    // A hostile granule position can make the duration absurdly small; keep the figure finite.
    return qint64(roundHalfEven(qMin(double(soundBytes()) / duration / 125, 1e15)));
}
