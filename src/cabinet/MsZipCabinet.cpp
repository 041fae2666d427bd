#include "cabinet/MsZipCabinet.h"

#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabWriter.h"
#include "core/SafeSaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <zlib.h>

namespace
{

// Uncompressed bytes per data block, as the format's MSZIP blocks hold them.
constexpr qsizetype kBlock = 32768;
constexpr int kHeaderBytes = 36;
constexpr int kFolderBytes = 8;
constexpr int kFileFixedBytes = 16;
constexpr int kDataHeaderBytes = 8;
// Below this many blocks a second thread costs more than it saves.
constexpr qsizetype kBlocksWorthThreads = 8;

void put16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}

void put32(QByteArray &out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The format's data block checksum: the bytes XORed as little-endian words, the last
// partial word taken high byte first.
quint32 checksum(const uchar *in, qsizetype n, quint32 seed)
{
    quint32 sum = seed;
    for (qsizetype words = n / 4; words > 0; --words, in += 4)
        sum ^= quint32(in[0]) | quint32(in[1]) << 8 | quint32(in[2]) << 16 | quint32(in[3]) << 24;
    quint32 last = 0;
    switch (n % 4) {
    case 3:
        last |= quint32(*in++) << 16;
        [[fallthrough]];
    case 2:
        last |= quint32(*in++) << 8;
        [[fallthrough]];
    case 1:
        last |= quint32(*in++);
        [[fallthrough]];
    default:
        break;
    }
    return sum ^ last;
}

// The members' bytes one after the other, as the folder's data blocks cut them.
class Stream
{
public:
    explicit Stream(const std::vector<MsZipCabinet::Member> &members) : m_members(members)
    {
        for (const auto &m : members) {
            m_starts.push_back(m_total);
            m_total += m.data.size();
        }
    }
    qsizetype total() const { return m_total; }
    // Block i, in place when one member holds it, else copied into scratch.
    QByteArrayView block(qsizetype i, QByteArray &scratch) const
    {
        const qsizetype begin = i * kBlock, end = std::min(begin + kBlock, m_total);
        const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), begin);
        size_t m = size_t(after - m_starts.begin()) - 1;
        while (m < m_members.size() && m_members[m].data.isEmpty())
            ++m;
        const qsizetype offset = begin - m_starts[m];
        if (offset + (end - begin) <= m_members[m].data.size())
            return m_members[m].data.sliced(offset, end - begin);
        scratch.resize(end - begin);
        qsizetype filled = 0;
        for (qsizetype at = offset; filled < end - begin; ++m, at = 0) {
            const qsizetype n = std::min(m_members[m].data.size() - at, end - begin - filled);
            memcpy(scratch.data() + filled, m_members[m].data.data() + at, size_t(n));
            filled += n;
        }
        return scratch;
    }

private:
    const std::vector<MsZipCabinet::Member> &m_members;
    std::vector<qsizetype> m_starts;
    qsizetype m_total = 0;
};

// The room the library gives a compressed block, and the most an MSZIP block may hold.
constexpr qsizetype kCompressedRoom = kBlock + 6144;
constexpr qsizetype kMaxMsZipBlock = kBlock + 12;

// A block deflated on its own by a fresh stream with the library's settings (raw stream, 8 for
// memory, default strategy), after "CK"; null when zlib fails.
QByteArray deflated(QByteArrayView in, int level)
{
    QByteArray compressed(2 + kCompressedRoom, Qt::Uninitialized);
    compressed[0] = 'C';
    compressed[1] = 'K';
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef *>(compressed.data() + 2);
    z.avail_out = uInt(kCompressedRoom);
    const int done = deflate(&z, Z_FINISH);
    deflateEnd(&z);
    if (done != Z_OK && done != Z_STREAM_END)
        return {};
    compressed.resize(2 + qsizetype(z.total_out));
    return compressed;
}

// One data block as it is written: checksum, sizes, and the block deflated, or stored when
// deflating made it larger than an MSZIP block may be.
QByteArray dataBlock(QByteArrayView in)
{
    QByteArray compressed = deflated(in, Z_DEFAULT_COMPRESSION);
    if (compressed.size() >= kMaxMsZipBlock)
        compressed = deflated(in, Z_NO_COMPRESSION);
    if (compressed.isNull())
        return {};

    const quint32 ncbytes = quint32(compressed.size()), nubytes = quint32(in.size());
    const quint32 dataSum = checksum(reinterpret_cast<const uchar *>(compressed.constData()), compressed.size(), 0);
    // The sizes as they are stored, compressed then uncompressed, go into the checksum too.
    const quint32 sizes = nubytes << 16 | ncbytes;
    const uchar sizeBytes[4] = {uchar(sizes), uchar(sizes >> 8), uchar(sizes >> 16), uchar(sizes >> 24)};
    QByteArray out;
    out.reserve(kDataHeaderBytes + compressed.size());
    put32(out, checksum(sizeBytes, 4, dataSum));
    put16(out, ncbytes);
    put16(out, nubytes);
    out.append(compressed);
    return out;
}

// The date and time fields of a member, from its date as the writer clamps it.
void dosDateTime(const QDateTime &when, quint16 &date, quint16 &time)
{
    const QDateTime local = TSTCabWriter::memberDateTime(when);
    const QDate d = local.date();
    const QTime t = local.time();
    date = quint16(((d.year() - 1980) << 9) + (d.month() << 5) + d.day());
    time = quint16((t.hour() << 11) + (t.minute() << 5) + t.second() / 2);
}

} // namespace

bool MsZipCabinet::canBuild(const std::vector<Member> &members)
{
    qint64 total = 0;
    for (const Member &m : members) {
        for (QChar c : m.name)
            if (c.unicode() >= 0x80 || c.unicode() == 0)
                return false;
        total += m.data.size();
    }
    // Sizes and offsets are four bytes; block counts two.
    return total > 0 && members.size() < 0xFFFF && total < 0x7FFFFFFF && (total + kBlock - 1) / kBlock < 0xFFFF;
}

QByteArray MsZipCabinet::build(const std::vector<Member> &members, int threads)
{
    const Stream stream(members);
    const qsizetype blocks = (stream.total() + kBlock - 1) / kBlock;
    std::vector<QByteArray> compressed(static_cast<size_t>(blocks));
    std::atomic<qsizetype> next{0};
    const auto work = [&] {
        QByteArray scratch;
        for (qsizetype i = next++; i < blocks; i = next++)
            compressed[size_t(i)] = dataBlock(stream.block(i, scratch));
    };
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    threads = int(std::min<qsizetype>(threads, blocks / kBlocksWorthThreads + 1));
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &t : helpers)
        t.join();
    for (const QByteArray &b : compressed)
        if (b.isEmpty())
            throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciAllocFail);

    qsizetype filesBytes = 0;
    for (const Member &m : members)
        filesBytes += kFileFixedBytes + m.name.size() + 1;
    const qsizetype dataOffset = kHeaderBytes + kFolderBytes + filesBytes;
    qsizetype size = dataOffset;
    for (const QByteArray &b : compressed)
        size += b.size();

    QByteArray out;
    out.reserve(size);
    out.append("MSCF", 4);
    put32(out, 0);
    put32(out, quint32(size));
    put32(out, 0);
    put32(out, kHeaderBytes + kFolderBytes); // the first file entry
    put32(out, 0);
    out.append(char(3)).append(char(1)); // format version 1.3
    put16(out, 1);                       // folders
    put16(out, quint32(members.size()));
    put16(out, 0); // flags
    put16(out, 0); // set
    put16(out, 0); // cabinet in the set
    put32(out, quint32(dataOffset));
    put16(out, quint32(blocks));
    put16(out, 1); // MSZIP
    qsizetype offset = 0;
    for (const Member &m : members) {
        quint16 date = 0, time = 0;
        dosDateTime(m.modified, date, time);
        put32(out, quint32(m.data.size()));
        put32(out, quint32(offset));
        put16(out, 0); // the one folder
        put16(out, date);
        put16(out, time);
        put16(out, m.attributes);
        out.append(m.name.toLatin1()).append('\0');
        offset += m.data.size();
    }
    for (const QByteArray &b : compressed)
        out.append(b);
    return out;
}

void MsZipCabinet::write(const QString &fileName, const std::vector<Member> &members, int threads)
{
    if (!canBuild(members)) {
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(fileName);
        for (const Member &m : members)
            cab.AddBytes(m.data.toByteArray(), m.name, m.modified, m.attributes);
        cab.Close(true);
        return;
    }
    const QByteArray bytes = build(members, threads);
    // The folder is made as the library's writer makes it.
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciCabFileCreate, errno ? errno : EACCES);
    SafeSaveFile out(fileName);
    if (!out.open())
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciCabFileCreate, out.systemError());
    out.write(bytes);
    if (!out.commit())
        throw ESTCabinet(ESTCabinet::Writing, ESTCabinet::FciCabFileCreate, out.systemError());
}
