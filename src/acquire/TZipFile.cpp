#include "TZipFile.h"

#include "core/ByteReader.h"
#include "core/FileInput.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace
{

constexpr quint32 LocalHeader = 0x04034B50;
constexpr quint32 CentralHeader = 0x02014B50;
constexpr quint32 EndOfCentral = 0x06054B50;
constexpr quint32 Zip64EndOfCentral = 0x06064B50;
constexpr quint32 Zip64Locator = 0x07064B50;
constexpr int LocalFixedPart = 26;   // the local header after its signature
constexpr int CentralFixedPart = 42; // the central header after its signature
constexpr int CentralHeaderSize = 4 + CentralFixedPart;
constexpr int EndRecordSize = 22;
constexpr int MaxCommentLength = 0xFFFF;
constexpr int Zip64LocatorSize = 20;
constexpr int Zip64EndRecordSize = 56;
constexpr quint16 SizesInDescriptor = 0x0008; // general purpose flag bit 3
constexpr quint32 Zip64Marker = 0xFFFFFFFF;   // "the value is in the ZIP64 extra field"
constexpr quint16 Zip64ExtraId = 0x0001;
// How far the walk steps over bytes that start no record before it gives up: far more than the
// data descriptors and padding between real entries, and a file of zeros (a download cut off
// where space was reserved for the rest) costs this much instead of its whole length. What lies
// beyond a longer stretch, a self-extractor's archive behind its program, is found through the
// central directory.
constexpr qint64 MaxStepOver = 64 * 1024;

[[noreturn]] void throwReadError(const QIODevice &dev)
{
    throw QuilloryError(FileInput::readFailure(dev));
}

// Reads a device forward through a buffer of its own: the walk asks for 4 bytes at a time
// and skips whole entries, which would be slow through the device alone.
class ForwardReader
{
public:
    explicit ForwardReader(QIODevice &dev) : m_dev(dev), m_pos(dev.pos()) {}

    // Copies up to n bytes; returns how many there were before the end of the archive.
    qint64 read(char *out, qint64 n)
    {
        qint64 done = 0;
        while (done < n) {
            if (m_at == m_len && !fill())
                break;
            const qint64 take = qMin(n - done, m_len - m_at);
            memcpy(out + done, m_buf + m_at, static_cast<size_t>(take));
            m_at += take;
            done += take;
        }
        return done;
    }

    void skip(qint64 n)
    {
        const qint64 buffered = m_len - m_at;
        if (n <= buffered) {
            m_at += n;
            return;
        }
        m_pendingSkip += n - buffered;
        m_at = m_len = 0;
    }

private:
    bool fill()
    {
        if (m_ended)
            return false;
        if (m_pendingSkip > 0 && !skipDevice()) {
            m_ended = true;
            return false;
        }
        const qint64 got = m_dev.read(m_buf, sizeof m_buf);
        if (got < 0)
            throwReadError(m_dev);
        m_at = 0;
        m_len = got;
        m_pos += got;
        m_ended = got == 0;
        return got > 0;
    }

    // Moves the device past skipped bytes; a target beyond the end simply reads nothing after.
    bool skipDevice()
    {
        const qint64 n = m_pendingSkip;
        m_pendingSkip = 0;
        if (!m_dev.isSequential()) {
            m_pos += n;
            return m_pos < m_dev.size() && m_dev.seek(m_pos);
        }
        char scratch[8192];
        qint64 left = n;
        while (left > 0) {
            const qint64 got = m_dev.read(scratch, qMin<qint64>(sizeof scratch, left));
            if (got < 0)
                throwReadError(m_dev);
            if (got == 0)
                return false;
            left -= got;
            m_pos += got;
        }
        return true;
    }

    QIODevice &m_dev;
    qint64 m_pos; // device position of the end of the buffered bytes
    char m_buf[65536];
    qint64 m_at = 0;
    qint64 m_len = 0;
    qint64 m_pendingSkip = 0;
    bool m_ended = false;
};

// A stored name as text: up to its first NUL, as UTF-8 when it is valid UTF-8, else in the DOS
// code page 437 the ZIP format gives names without its UTF-8 flag (what Windows' own archives
// hold: "caf\x82" is café there, not caf‚). Both listings decode names here, so an archive
// lists the same names whichever way it is read.
QString entryName(QByteArray stored)
{
    const qsizetype nul = stored.indexOf('\0');
    if (nul >= 0)
        stored.truncate(nul);
    if (TextCodec::isValidUtf8(stored))
        return QString::fromUtf8(stored);
    QStringDecoder dos("IBM437");
    return dos.isValid() ? QString(dos.decode(stored)) : TextCodec::decode(stored);
}

// Up to n bytes at pos; fewer at the end of the device.
QByteArray readRange(QIODevice &dev, qint64 pos, qint64 n)
{
    QByteArray out;
    if (n <= 0 || !dev.seek(pos))
        return out;
    out.resize(static_cast<qsizetype>(n));
    qint64 got = 0;
    while (got < n) {
        const qint64 r = dev.read(out.data() + got, n - got);
        if (r < 0)
            throwReadError(dev);
        if (r == 0)
            break;
        got += r;
    }
    out.truncate(static_cast<qsizetype>(got));
    return out;
}

// The fields a local header holds after its signature, and a central header after the version
// that made the entry: the same fields in the same order.
ZipFile commonFields(ByteReader &header)
{
    ZipFile e;
    e.Version = header.leU16();
    e.Flags = header.leU16();
    e.Method = header.leU16();
    e.ModTime = header.leU16();
    e.ModDate = header.leU16();
    e.CRC32 = header.leU32();
    e.CompressedSize = header.leU32();
    e.UncompressedSize = header.leU32();
    e.NameLength = header.leU16();
    e.ExtraLength = header.leU16();
    return e;
}

struct Walk {
    std::vector<ZipFile> entries;
    bool needsDirectory = false; // an entry the walk cannot follow: sizes deferred or in ZIP64 fields
};

// The local-header walk: what the archive lists when its entries follow each other directly.
Walk walkLocalHeaders(QIODevice &device)
{
    Walk walk;
    auto reader = std::make_unique<ForwardReader>(device);
    char sig[4];
    char head[LocalFixedPart];
    qint64 stepped = 0; // since the last record
    for (;;) {
        if (reader->read(sig, 4) < 4)
            break;
        const quint32 s = ByteReader(QByteArrayView(sig, 4)).leU32();
        if (s == EndOfCentral)
            break;
        if (s == CentralHeader) {
            stepped = 0;
            reader->skip(CentralFixedPart);
            continue;
        }
        if (s != LocalHeader) {
            stepped += 4;
            if (stepped > MaxStepOver)
                break;
            continue;
        }
        stepped = 0;
        // A header cut off by the end of the file ends the walk; what was read stays listed.
        if (reader->read(head, LocalFixedPart) < LocalFixedPart)
            break;
        ByteReader fields(QByteArrayView(head, LocalFixedPart));
        ZipFile e = commonFields(fields);

        // The whole name is read, however long, so the walk goes on right after it.
        QByteArray name(e.NameLength, Qt::Uninitialized);
        const qint64 got = reader->read(name.data(), e.NameLength);
        if (got < e.NameLength)
            break;
        e.EntryName = entryName(name);

        if ((e.Flags & SizesInDescriptor) || e.CompressedSize == Zip64Marker || e.UncompressedSize == Zip64Marker)
            walk.needsDirectory = true;
        reader->skip(static_cast<qint64>(e.ExtraLength) + static_cast<qint64>(e.CompressedSize));
        walk.entries.push_back(e);
    }
    return walk;
}

// Where the central directory lies and how many entries the end record says it holds.
struct EndRecord {
    qint64 directoryStart = 0;
    quint64 directorySize = 0;
    quint64 entries = 0;
    bool zip64 = false;
};

// The end-of-central-directory record is the last one in the archive's final 64 KB and 22
// bytes (an archive comment may follow it). A ZIP64 record, when its locator stands right
// before, overrides the counts and sizes. The directory is taken to end where these records
// begin, so an archive with data in front of it (a self-extractor) is listed too.
std::optional<EndRecord> findEndRecord(QIODevice &device, qint64 base)
{
    const qint64 fileEnd = device.size();
    if (fileEnd - base < EndRecordSize)
        return std::nullopt;
    const qint64 tailStart = qMax(base, fileEnd - EndRecordSize - MaxCommentLength);
    const QByteArray tail = readRange(device, tailStart, fileEnd - tailStart);
    if (tail.size() < EndRecordSize)
        return std::nullopt;
    const qsizetype at = tail.lastIndexOf(QByteArrayView("PK\x05\x06", 4), tail.size() - EndRecordSize);
    if (at < 0)
        return std::nullopt;
    const qint64 endPos = tailStart + at;
    EndRecord end;
    ByteReader counts(tail, at + 10);
    end.entries = counts.leU16();
    end.directorySize = counts.leU32();
    qint64 directoryEnd = endPos;

    const qint64 zip64Pos = endPos - Zip64LocatorSize - Zip64EndRecordSize;
    if (zip64Pos >= base) {
        const QByteArray zip64 = readRange(device, zip64Pos, Zip64EndRecordSize + Zip64LocatorSize);
        const ByteReader records(zip64);
        if (zip64.size() == Zip64EndRecordSize + Zip64LocatorSize &&
            records.at(Zip64EndRecordSize).leU32() == Zip64Locator && records.at(0).leU32() == Zip64EndOfCentral) {
            ByteReader counts64 = records.at(32);
            end.zip64 = true;
            end.entries = counts64.leU64();
            end.directorySize = counts64.leU64();
            directoryEnd = zip64Pos;
        }
    }
    if (end.directorySize > quint64(directoryEnd - base))
        return std::nullopt;
    end.directoryStart = directoryEnd - qint64(end.directorySize);
    return end;
}

// Replaces the 32-bit fields marked as ZIP64 with the 64-bit values of the entry's ZIP64 extra
// field, which holds them in this order and only those marked. False when a marked value is
// missing.
bool applyZip64Extra(const QByteArray &extra, ZipFile &e, quint64 &headerOffset)
{
    ByteReader fields(extra);
    while (extra.size() - fields.pos() >= 4) {
        const quint16 id = fields.leU16();
        const qint64 length = fields.leU16();
        if (length > extra.size() - fields.pos())
            break; // a damaged extra field: the rest of it means nothing
        if (id == Zip64ExtraId) {
            const qint64 end = fields.pos() + length;
            auto take = [&](quint64 &field) {
                if (field != Zip64Marker)
                    return true;
                if (end - fields.pos() < 8)
                    return false;
                field = fields.leU64();
                return true;
            };
            return take(e.UncompressedSize) && take(e.CompressedSize) && take(headerOffset);
        }
        fields.skip(length);
    }
    return true; // no ZIP64 field: the 32-bit values stand, as other readers take them
}

// The entries of the central directory in the order of their local headers; nothing when the
// directory does not hold together (a header out of place, a length running past the
// directory, fewer or more entries than the end record counts).
std::optional<std::vector<ZipFile>> readCentralDirectory(QIODevice &device, const EndRecord &end)
{
    if (!device.seek(end.directoryStart))
        return std::nullopt;
    auto reader = std::make_unique<ForwardReader>(device);
    std::vector<std::pair<quint64, ZipFile>> listed;
    char head[CentralHeaderSize];
    quint64 at = 0;
    while (at < end.directorySize) {
        if (end.directorySize - at < CentralHeaderSize || reader->read(head, CentralHeaderSize) < CentralHeaderSize)
            return std::nullopt;
        ByteReader fields(QByteArrayView(head, CentralHeaderSize));
        if (fields.leU32() != CentralHeader)
            return std::nullopt;
        fields.skip(2); // the version that made the entry
        ZipFile e = commonFields(fields);
        const quint16 commentLength = fields.leU16();
        fields.skip(8); // disk number, attributes
        quint64 headerOffset = fields.leU32();
        const quint64 length = quint64(CentralHeaderSize) + e.NameLength + e.ExtraLength + commentLength;
        if (length > end.directorySize - at)
            return std::nullopt;
        QByteArray name(e.NameLength, Qt::Uninitialized);
        QByteArray extra(e.ExtraLength, Qt::Uninitialized);
        if (reader->read(name.data(), e.NameLength) < e.NameLength ||
            reader->read(extra.data(), e.ExtraLength) < e.ExtraLength)
            return std::nullopt;
        reader->skip(commentLength);
        if (!applyZip64Extra(extra, e, headerOffset))
            return std::nullopt;
        e.EntryName = entryName(name);
        listed.emplace_back(headerOffset, std::move(e));
        at += length;
    }
    // Writers that predate ZIP64 count more than 65,535 entries in 16 bits and wrap.
    const quint64 count = listed.size();
    if (count != end.entries && (end.zip64 || count % 0x10000 != end.entries))
        return std::nullopt;
    std::stable_sort(listed.begin(), listed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<ZipFile> entries;
    entries.reserve(listed.size());
    for (auto &item : listed)
        entries.push_back(std::move(item.second));
    return entries;
}

} // namespace

QDateTime ZipDateTime(quint16 modDate, quint16 modTime)
{
    const QDate d(1980 + (modDate >> 9), (modDate >> 5) & 0x0F, modDate & 0x1F);
    const QTime t(modTime >> 11, (modTime >> 5) & 0x3F, 2 * (modTime & 0x1F));
    if (!d.isValid() || !t.isValid())
        return QDateTime();
    return QDateTime(d, t);
}

void TZipFile::setFileName(const QString &fileName)
{
    if (QFileInfo::exists(fileName))
        m_fileName = fileName;
    m_entries.clear();
    QFile file(fileName);
    FileInput::mustOpenForReading(file);
    read(file);
}

std::vector<ZipFile> TZipFile::list(QIODevice &device)
{
    const qint64 base = device.pos();
    Walk walk = walkLocalHeaders(device);
    if (!device.isSequential()) {
        const std::optional<EndRecord> end = findEndRecord(device, base);
        if (end && (walk.needsDirectory || walk.entries.size() != end->entries)) {
            if (std::optional<std::vector<ZipFile>> listed = readCentralDirectory(device, *end))
                return std::move(*listed);
        }
    }
    return std::move(walk.entries);
}

// Copies what is left of a stream into a file that can seek.
static void copyStream(QIODevice &from, QFileDevice &to)
{
    char chunk[65536];
    for (;;) {
        const qint64 got = from.read(chunk, sizeof chunk);
        if (got < 0)
            throwReadError(from);
        if (got == 0)
            break;
        if (to.write(chunk, got) != got)
            throw QuilloryError(
                QStringLiteral("Cannot copy the archive to a temporary file: %1").arg(to.errorString()));
    }
    if (!to.flush() || !to.seek(0))
        throw QuilloryError(QStringLiteral("Cannot copy the archive to a temporary file: %1").arg(to.errorString()));
}

void TZipFile::read(QIODevice &device)
{
    m_entries.clear();
    if (device.isSequential()) {
        // The central directory is at the end; without a copy a stream gets the walk alone.
        QTemporaryFile copy;
        if (copy.open()) {
            copyStream(device, copy);
            m_entries = list(copy);
        } else {
            m_entries = list(device);
        }
    } else {
        m_entries = list(device);
    }
    if (OnReadFile) {
        for (const ZipFile &e : m_entries)
            OnReadFile(e);
    }
}
