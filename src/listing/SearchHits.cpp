#include "SearchHits.h"

#include "core/FormatSize.h"
#include "store/ContentsChecksums.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"
#include "store/RecordScanner.h"
#include "store/TreeFile.h"

#include <cstring>

static_assert(TreeLimits::MaxNodes < (1 << 24), "a hit's disc is kept in 24 bits");

int SearchHits::addDisc(const QString &title, const QString &serial)
{
    m_discs.push_back({title, serial, title.toUtf8()});
    return static_cast<int>(m_discs.size()) - 1;
}

void SearchHits::add(int disc, ContentsEntry::Kind kind, QByteArrayView name, QByteArrayView folder,
                     QByteArrayView inArchive, qint64 size, QByteArrayView date,
                     const std::vector<QByteArrayView> &details, const XXH128_hash_t *checksum)
{
    m_hits.push_back(made(disc, kind, name, folder, inArchive, size, date, details, checksum));
}

namespace
{
// A text's length, seven bits a byte, the lowest first; the top bit says another byte follows.
char *putLength(char *out, quint64 length)
{
    while (length >= 0x80) {
        *out++ = static_cast<char>(length | 0x80);
        length >>= 7;
    }
    *out++ = static_cast<char>(length);
    return out;
}

// A checksum is kept as its 16 canonical bytes, not its 32 digits: an answer of millions of files
// with checksums holds half as much for them.
constexpr qsizetype ChecksumBytes = sizeof(XXH128_canonical_t);

const char *getLength(const char *in, qsizetype &length)
{
    quint64 v = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<uchar>(*in++);
        v |= quint64(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            break;
    }
    length = static_cast<qsizetype>(v);
    return in;
}
} // namespace

SearchHits::Hit SearchHits::made(int disc, ContentsEntry::Kind kind, QByteArrayView name, QByteArrayView folder,
                                 QByteArrayView inArchive, qint64 size, QByteArrayView date,
                                 const std::vector<QByteArrayView> &details, const XXH128_hash_t *checksum)
{
    const auto put = [](char *out, QByteArrayView bytes) {
        if (!bytes.isEmpty())
            std::memcpy(out, bytes.data(), size_t(bytes.size()));
        return out + bytes.size();
    };
    const qsizetype pathLength = folder.size() + inArchive.size();
    const qint32 archiveEnd = inArchive.isNull() ? -1 : static_cast<qint32>(folder.size());
    bool sameFolder = false;
    if (m_lastFolderDisc == disc) {
        const Folder &f = m_folders.back();
        const QByteArrayView last(m_folderText.constData() + f.text, f.length);
        sameFolder = f.length == pathLength && f.archiveEnd == archiveEnd && last.first(folder.size()) == folder &&
                     last.sliced(folder.size()) == inArchive;
    }
    if (!sameFolder) {
        const qint64 start = m_folderText.size();
        m_folderText.resize(start + pathLength);
        put(put(m_folderText.data() + start, folder), inArchive);
        m_folders.push_back({start, static_cast<qint32>(pathLength), archiveEnd});
        m_lastFolderDisc = disc;
    }
    Hit h;
    h.size = size;
    h.disc = static_cast<quint32>(disc);
    h.kind = kind;
    h.folder = static_cast<quint32>(m_folders.size() - 1);
    XXH128_canonical_t canonical;
    h.hasChecksum = checksum != nullptr;
    if (checksum)
        XXH128_canonicalFromHash(&canonical, *checksum);
    const QByteArrayView sum =
        checksum ? QByteArrayView(reinterpret_cast<const char *>(canonical.digest), ChecksumBytes) : QByteArrayView();
    // Grown once for the hit's texts, then copied in: an append for each text cost duplicates
    // over ten million files 9.1 s instead of 6.4 s.
    char lengths[20];
    const QByteArrayView head(lengths, putLength(putLength(lengths, quint64(name.size())), quint64(date.size())));
    qsizetype need = head.size() + name.size() + date.size() + sum.size();
    for (size_t i = 0; i < details.size(); ++i)
        need += (i ? 1 : 0) + details[i].size();
    const qsizetype start = m_text.size();
    h.text = static_cast<quint64>(start);
    m_text.resize(start + need);
    char *out = put(put(put(put(m_text.data() + start, head), name), date), sum);
    for (size_t i = 0; i < details.size(); ++i) {
        if (i)
            *out++ = '\n';
        out = put(out, details[i]);
    }
    return h;
}

SearchHits::Texts SearchHits::texts(size_t at) const
{
    const char *const base = m_text.constData();
    const qsizetype end = at + 1 < m_hits.size() ? qsizetype(m_hits[at + 1].text) : m_text.size();
    qsizetype nameLength = 0, dateLength = 0;
    const char *p = getLength(getLength(base + m_hits[at].text, nameLength), dateLength);
    Texts t;
    t.name = QByteArrayView(p, nameLength);
    t.date = QByteArrayView(p + nameLength, dateLength);
    const char *details = p + nameLength + dateLength;
    if (m_hits[at].hasChecksum) {
        t.checksum = QByteArrayView(details, ChecksumBytes);
        details += ChecksumBytes;
    }
    t.details = QByteArrayView(details, base + end - details);
    return t;
}

SearchHits::Hit SearchHits::fileHit(int disc, QByteArrayView name, QByteArrayView folder, QByteArrayView date,
                                    QByteArrayView extraLines, qint64 size, const XXH128_hash_t *checksum)
{
    thread_local std::vector<QByteArrayView> details;
    details.clear();
    bool archive = false;
    QByteArrayView inArchive;
    const char *p = extraLines.data();
    const qsizetype n = extraLines.size();
    for (qsizetype pos = 0; pos < n;) {
        const void *found = std::memchr(p + pos, '\n', static_cast<size_t>(n - pos));
        const qsizetype lf = found ? static_cast<const char *>(found) - p : n;
        const QByteArrayView l = RecordScanner::lineText(p, pos, lf);
        pos = lf + 1;
        if (l == ContentsRecord::EndLine)
            break;
        if (ContentsRecord::isDetailLine(l))
            details.push_back(l);
        else if (l == ContentsRecord::CompressedFolder)
            archive = true;
        else if (inArchive.isNull())
            inArchive = ContentsRecord::folderInArchive(l);
    }
    return made(disc, archive ? ContentsEntry::Archive : ContentsEntry::File, name, folder, inArchive, size, date,
                details, checksum);
}

void SearchHits::addFile(int disc, const ContentsList &files, int record, qint64 size, const XXH128_hash_t *checksum)
{
    using namespace ContentsRecord;
    m_hits.push_back(fileHit(disc, files.lineBytes(record, NameLine), files.lineBytes(record, FolderLine),
                             files.lineBytes(record, DateLine), files.extraLines(record), size, checksum));
}

void SearchHits::addFile(int disc, QByteArrayView name, QByteArrayView folder, QByteArrayView date,
                         QByteArrayView extraLines, qint64 size, const XXH128_hash_t *checksum)
{
    m_hits.push_back(fileHit(disc, name, folder, date, extraLines, size, checksum));
}

void SearchHits::reserve(int hits)
{
    m_hits.reserve(static_cast<size_t>(hits));
}

EntryPlace SearchHits::place(int i) const
{
    return storedPlace(at(i));
}

EntryPlace SearchHits::storedPlace(size_t at) const
{
    const Hit &h = m_hits[at];
    const Disc &d = m_discs[h.disc];
    const Folder &f = m_folders[h.folder];
    const QByteArrayView path(m_folderText.constData() + f.text, f.length);
    return EntryPlace(d.title, d.serial, QString::fromUtf8(path),
                      f.archiveEnd < 0 ? QString() : QString::fromUtf8(path.first(f.archiveEnd)));
}

void SearchHits::appendLocation(int i, QByteArray &out) const
{
    const Hit &h = m_hits[at(i)];
    const Folder &f = m_folders[h.folder];
    out += m_discs[h.disc].titleUtf8;
    out += EntryPlace::TitleEnd;
    out += QByteArrayView(m_folderText.constData() + f.text, f.length);
}

void SearchHits::prefetchAfter(int i) const
{
    // Each hit's texts are found through the hit, and its folder's through its folder: three
    // steps, each asked for while the step before it has had time to arrive.
    constexpr int Step = 16;
    const auto n = static_cast<int>(m_hits.size());
    if (i + 3 * Step < n)
        __builtin_prefetch(&m_hits[at(i + 3 * Step)]);
    if (i + 2 * Step < n) {
        const Hit &h = m_hits[at(i + 2 * Step)];
        __builtin_prefetch(m_text.constData() + h.text);
        __builtin_prefetch(&m_folders[h.folder]);
    }
    if (i + Step < n) {
        const Hit &h = m_hits[at(i + Step)];
        __builtin_prefetch(m_folderText.constData() + m_folders[h.folder].text);
    }
}

QStringList SearchHits::details(int i) const
{
    const QByteArrayView details = texts(at(i)).details;
    if (details.isEmpty())
        return {};
    return QString::fromUtf8(details).split(u'\n');
}

ContentsEntry SearchHits::entry(int i, const QString &type, int image) const
{
    const Hit &h = m_hits[at(i)];
    const Texts t = texts(at(i));
    ContentsEntry e;
    e.kind = static_cast<ContentsEntry::Kind>(h.kind);
    e.caption = QString::fromUtf8(t.name);
    e.image = image;
    e.place = place(i);
    e.size = h.size;
    const QString path = e.place.text();
    const QString size = FormatSize(h.size);
    const QString date = QString::fromUtf8(t.date);
    const QStringList more = details(i);
    e.columns = QStringList{type, path, size, date} + more;
    // A result's info lines give the size before its plain number, unlike a listed folder's.
    e.info = QStringList{QStringLiteral("Type: ") + type, QStringLiteral("Path: ") + path,
                         QStringLiteral("Size: ") + size, QStringLiteral("IntSize: %1").arg(h.size),
                         QStringLiteral("Date: ") + date, QStringLiteral("SN: ") + m_discs[h.disc].serial} +
             more;
    if (!t.checksum.isEmpty()) {
        XXH128_canonical_t canonical;
        std::memcpy(canonical.digest, t.checksum.data(), ChecksumBytes);
        e.checksum = QString::fromLatin1(ContentsChecksums::toHex(XXH128_hashFromCanonical(&canonical)));
        e.info.append(e.checksumLine());
    }
    // An archive's first info line is its mark alone.
    if (h.kind == ContentsEntry::Archive)
        e.info[0] = type;
    return e;
}

void SearchHits::truncate(int count)
{
    if (count >= this->count())
        return;
    const auto kept = static_cast<size_t>(count);
    m_text.truncate(qsizetype(m_hits[kept].text));
    m_hits.resize(kept);
    m_folders.resize(kept ? m_hits.back().folder + 1 : 0);
    m_folderText.truncate(m_folders.empty() ? 0 : m_folders.back().text + m_folders.back().length);
    m_order.clear();
    m_lastFolderDisc = -1;
}

void SearchHits::reorder(std::vector<quint32> order)
{
    m_order = std::move(order);
}
