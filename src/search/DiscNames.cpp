#include "DiscNames.h"

#include "SearchTests.h"
#include "core/AsciiCase.h"
#include "core/LatestWorker.h"
#include "core/TextCodec.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"
#include "store/RecordScanner.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr char Magic[8] = {'Q', 'L', 'Y', 'N', 'A', 'M', 'E', 'S'};
constexpr quint32 Version = 3; // 3: sizes past the signed range read as the largest

// The header, then the arrays in this order, each starting on an 8-byte boundary: folder
// sizes, file sizes, the folder sizes kept aside (record numbers, then sizes), the file sizes
// kept aside, folder name starts, file name starts, folder date ids, file date ids, date
// starts, folder names, file names, dates.
struct Header {
    char magic[8];
    quint32 version;
    quint32 dateCount;
    qint64 stampSize;
    qint64 stampModified;
    qint64 stampInode;
    qint32 folderCount;
    qint32 fileCount;
    qint32 folderBadSize;
    qint32 fileBadSize;
    qint32 folderAside;
    qint32 fileAside;
    quint32 wideDates; // bit 0: the folders' date ids take four bytes; bit 1: the files'
    quint32 reserved;
    qint64 folderNamesLength;
    qint64 fileNamesLength;
    qint64 datesLength;
};

qint64 align8(qint64 n)
{
    return (n + 7) & ~qint64(7);
}

struct Layout {
    qint64 folderSizes, fileSizes, folderAsideAt, folderAside, fileAsideAt, fileAside, folderStarts, fileStarts,
        folderDates, fileDates, dateStarts, folderNames, fileNames, dates, total;
};

bool layoutOf(const Header &h, Layout &l)
{
    if (h.folderCount < 0 || h.fileCount < 0 || h.folderNamesLength < 0 || h.fileNamesLength < 0 || h.datesLength < 0 ||
        h.dateCount > quint32(INT_MAX) || h.folderAside < 0 || h.folderAside > h.folderCount || h.fileAside < 0 ||
        h.fileAside > h.fileCount)
        return false;
    const qint64 fc = h.folderCount, nc = h.fileCount, dc = h.dateCount;
    qint64 p = align8(sizeof(Header));
    auto take = [&p](qint64 bytes) {
        const qint64 at = p;
        p = align8(p + bytes);
        return at;
    };
    l.folderSizes = take(fc * 4);
    l.fileSizes = take(nc * 4);
    l.folderAsideAt = take(qint64(h.folderAside) * 4);
    l.folderAside = take(qint64(h.folderAside) * 8);
    l.fileAsideAt = take(qint64(h.fileAside) * 4);
    l.fileAside = take(qint64(h.fileAside) * 8);
    l.folderStarts = take((fc + 1) * 4);
    l.fileStarts = take((nc + 1) * 4);
    l.folderDates = take(fc * (h.wideDates & 1 ? 4 : 2));
    l.fileDates = take(nc * (h.wideDates & 2 ? 4 : 2));
    l.dateStarts = take((dc + 1) * 4);
    l.folderNames = take(h.folderNamesLength);
    l.fileNames = take(h.fileNamesLength);
    l.dates = take(h.datesLength);
    l.total = p;
    return true;
}

// One list's columns while they are made.
struct Columns {
    std::vector<quint32> sizes;
    std::vector<qint32> asideAt;
    std::vector<qint64> aside;
    std::vector<quint32> starts{0};
    std::vector<quint16> dates;
    std::vector<quint32> wideDates; // instead of dates, once an id does not fit two bytes
    bool wide = false;
    QByteArray names;
    qsizetype namesUsed = 0; // of names, while the list is read
    int badSize = -1;

    void reserve(size_t records)
    {
        sizes.reserve(records);
        starts.reserve(records + 1);
        dates.reserve(records);
    }
    void addSize(qint64 n)
    {
        if (n >= 0 && n < qint64(DiscNames::Sizes::Aside)) {
            sizes.push_back(static_cast<quint32>(n));
            return;
        }
        asideAt.push_back(static_cast<qint32>(sizes.size()));
        aside.push_back(n);
        sizes.push_back(DiscNames::Sizes::Aside);
    }
    void addDate(quint32 id)
    {
        if (!wide && id <= 0xFFFF) {
            dates.push_back(static_cast<quint16>(id));
            return;
        }
        if (!wide) {
            wide = true;
            wideDates.assign(dates.begin(), dates.end());
            std::vector<quint16>().swap(dates);
        }
        wideDates.push_back(id);
    }
    const void *dateIds() const { return wide ? static_cast<const void *>(wideDates.data()) : dates.data(); }
    qint64 dateBytes() const { return wide ? qint64(wideDates.size()) * 4 : qint64(dates.size()) * 2; }
};

// The distinct dates of a disc. Records of one folder mostly share their date with the record
// before, so that is tried before the table. The table is open addressing over the ids, its
// keys the text already kept: a date costs one hash of its few bytes and no allocation.
struct Dates {
    std::vector<quint32> starts{0};
    QByteArray text;
    std::vector<quint32> hashes;                            // by id
    std::vector<quint32> table = std::vector<quint32>(64, 0); // id + 1; 0 when free
    quint32 lastId = 0;
    bool any = false;

    static quint32 hashOf(QByteArrayView date)
    {
        const char *p = date.data();
        size_t n = static_cast<size_t>(date.size());
        quint64 h = n * 0x9E3779B97F4A7C15ull;
        for (; n >= 8; n -= 8, p += 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        }
        quint64 w = 0;
        if (n > 0) // an empty date's view may hold no pointer at all
            std::memcpy(&w, p, n);
        h = (h ^ w) * 0x94D049BB133111EBull;
        return static_cast<quint32>(h >> 32);
    }
    // The bytes are compared only when the hashes agree, which nearly always means a match.
    bool is(quint32 id, quint32 hash, QByteArrayView date) const
    {
        if (hashes[id] != hash)
            return false;
        const quint32 a = starts[id], b = starts[id + 1];
        return b - a == quint32(date.size()) && (a == b || std::memcmp(text.constData() + a, date.data(), b - a) == 0);
    }
    quint32 idOf(QByteArrayView date)
    {
        const quint32 hash = hashOf(date);
        if (any && is(lastId, hash, date))
            return lastId;
        const size_t mask = table.size() - 1;
        size_t i = hash & mask;
        for (; table[i] != 0; i = (i + 1) & mask) {
            if (is(table[i] - 1, hash, date)) {
                lastId = table[i] - 1;
                return lastId;
            }
        }
        lastId = static_cast<quint32>(hashes.size());
        text.append(date);
        starts.push_back(static_cast<quint32>(text.size()));
        hashes.push_back(hash);
        table[i] = lastId + 1;
        any = true;
        // Kept at most half full, so a miss ends soon.
        if (hashes.size() * 2 > table.size()) {
            std::vector<quint32> wider(table.size() * 2, 0);
            const size_t wideMask = wider.size() - 1;
            for (quint32 id = 0; id < hashes.size(); ++id) {
                size_t j = hashes[id] & wideMask;
                while (wider[j] != 0)
                    j = (j + 1) & wideMask;
                wider[j] = id + 1;
            }
            table.swap(wider);
        }
        return lastId;
    }
};

} // namespace

namespace
{

// Adds one record: its name (a folder's without its final "\"), size text and date text. The
// names are folded a whole list at a time (foldNames), once the list is read.
void addRecord(Columns &c, Dates &dates, bool folderList, QByteArrayView name, QByteArrayView size, QByteArrayView date)
{
    if (folderList && name.endsWith(ContentsRecord::FolderSuffix))
        name.chop(1);
    const qsizetype at = c.namesUsed;
    // Grown by halves, never touched beyond what is written: the array's size is set once
    // the list is done.
    if (at + name.size() + 1 > c.names.size())
        c.names.resize(std::max(at + name.size() + 1, c.names.size() * 3 / 2 + 64));
    char *out = c.names.data() + at;
    std::memcpy(out, name.data(), static_cast<size_t>(name.size()));
    out[name.size()] = '\n';
    c.namesUsed = at + name.size() + 1;
    c.starts.push_back(static_cast<quint32>(c.namesUsed));
    qint64 n = 0;
    if (!ContentsRecord::parseSize(size, n) && c.badSize < 0)
        c.badSize = static_cast<int>(c.sizes.size());
    c.addSize(n);
    c.addDate(dates.idOf(date));
}

// After the last record of a list: the names take their size and their fold.
void foldNames(Columns &c)
{
    c.names.resize(c.namesUsed);
    FoldAZ(c.names.data(), c.names.size());
}

// One list scanned as its bytes arrive, with the records ContentsList reads in them.
struct ListScan {
    const char *data = nullptr;
    std::optional<RecordScanner> scanner;

    void start(const char *bytes, qsizetype size, Columns &c)
    {
        data = bytes;
        c = Columns();
        c.reserve(static_cast<size_t>(size / 40 + 1));
        c.names.resize(size / 3);
        scanner.emplace(bytes);
    }
    static auto adder(Columns &c, Dates &dates, bool folderList)
    {
        return [&c, &dates, folderList](const RecordScanner::Record &r) {
            addRecord(c, dates, folderList, r.name, r.size, r.date);
        };
    }
    // The list is n bytes long, all of them here. Returns whether every byte was ASCII.
    bool finish(qsizetype n, Columns &c, Dates &dates, bool folderList)
    {
        scanner->finish(n, adder(c, dates, folderList));
        foldNames(c);
        if (c.badSize < 0)
            c.badSize = static_cast<int>(c.sizes.size());
        return scanner->ascii();
    }
};

} // namespace

// Names just made: the columns themselves, laid out as the file only when it is written.
struct DiscNames::Owned {
    Columns folders;
    Columns files;
    Dates dates;
    Header header;
};

// A list of this size or more is scanned on a thread of its own, keeping pace with the
// unpacking on another core; a smaller one right away, while its bytes are in the cache.
static constexpr qsizetype WorthAThread = qsizetype(1) << 20;

struct DiscNames::Scan::State {
    std::unique_ptr<Owned> owned = std::make_unique<Owned>();
    ListScan lists[2];
    struct Arrival {
        int list = -1;
        const char *data = nullptr;
        qsizetype available = 0;
        qsizetype size = 0;
        bool operator==(const Arrival &) const = default;
    };
    LatestWorker<Arrival> worker{[this](const Arrival &a) { advance(a); }};

    Columns &columns(int list) { return list == 0 ? owned->folders : owned->files; }
    void advance(const Arrival &a)
    {
        ListScan &l = lists[a.list];
        if (a.data != l.data) // a list the cabinet holds twice: the later one counts
            l.start(a.data, a.size, columns(a.list));
        l.scanner->advance(a.available, ListScan::adder(columns(a.list), owned->dates, a.list == 0));
    }
};

DiscNames::Scan::Scan() : m(std::make_unique<State>()) {}

DiscNames::Scan::~Scan() = default;

void DiscNames::Scan::feed(int list, const char *data, qsizetype available, qsizetype size)
{
    if (!data) {
        m->worker.stop();
        m->lists[0] = ListScan();
        m->lists[1] = ListScan();
        return;
    }
    if (list < 0 || list > 1)
        return;
    if (size >= WorthAThread)
        m->worker.start();
    if (!m->worker.running()) {
        m->advance({list, data, available, size});
        return;
    }
    m->worker.post({list, data, available, size});
}

std::shared_ptr<const DiscNames> DiscNames::Scan::finish(const QByteArray &folderList, const QByteArray &fileList,
                                                         const Stamp &stamp)
{
    m->worker.stop();
    Owned &o = *m->owned;
    // Lists made on Windows are read as ContentsList reads them: as Windows-1252 when they are
    // not UTF-8. Nearly every list is plain ASCII, which the scan notices on its way.
    auto one = [&](int list, const QByteArray &bytes) {
        ListScan &l = m->lists[list];
        Columns &c = m->columns(list);
        if (!l.scanner || l.data != bytes.constData())
            l.start(bytes.constData(), bytes.size(), c);
        if (l.finish(bytes.size(), c, o.dates, list == 0) || TextCodec::isValidUtf8(bytes))
            return;
        const QByteArray utf8 = TextCodec::toUtf8(bytes);
        ListScan again;
        again.start(utf8.constData(), utf8.size(), c);
        again.finish(utf8.size(), c, o.dates, list == 0);
    };
    one(0, folderList);
    one(1, fileList);
    return own(std::move(m->owned), stamp);
}

DiscNames::Stamp DiscNames::Stamp::of(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {static_cast<qint64>(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<qint64>(st.st_ino)};
}

QByteArrayView DiscNames::Section::name(int i) const
{
    const quint32 a = nameStart[i], b = nameStart[i + 1];
    if (a >= b || b > namesLength)
        return {};
    return QByteArrayView(names + a, b - a - 1);
}

qint64 DiscNames::Sizes::asideOf(int i) const
{
    const qint32 *end = asideAt + asideCount;
    const qint32 *it = std::lower_bound(asideAt, end, i);
    // A record marked aside but not listed there: only a damaged file has one.
    return it != end && *it == i ? aside[it - asideAt] : 0;
}

int DiscNames::Section::recordAt(qint64 pos) const
{
    const quint32 *end = nameStart + count + 1;
    const quint32 *it = std::upper_bound(nameStart, end, static_cast<quint32>(pos));
    return static_cast<int>(it - nameStart) - 1;
}

namespace
{
Header headerFor(const Columns &fc, const Columns &nc, const Dates &dates, const DiscNames::Stamp &stamp)
{
    Header h{};
    std::memcpy(h.magic, Magic, sizeof Magic);
    h.version = Version;
    h.dateCount = static_cast<quint32>(dates.starts.size() - 1);
    h.stampSize = stamp.size;
    h.stampModified = stamp.modifiedNs;
    h.stampInode = stamp.inode;
    h.folderCount = static_cast<qint32>(fc.sizes.size());
    h.fileCount = static_cast<qint32>(nc.sizes.size());
    h.folderBadSize = fc.badSize;
    h.fileBadSize = nc.badSize;
    h.folderAside = static_cast<qint32>(fc.aside.size());
    h.fileAside = static_cast<qint32>(nc.aside.size());
    h.wideDates = (fc.wide ? 1u : 0u) | (nc.wide ? 2u : 0u);
    h.folderNamesLength = fc.names.size();
    h.fileNamesLength = nc.names.size();
    h.datesLength = dates.text.size();
    return h;
}
} // namespace

std::shared_ptr<const DiscNames> DiscNames::own(std::unique_ptr<Owned> o, const Stamp &stamp)
{
    std::shared_ptr<DiscNames> d(new DiscNames);
    o->header = headerFor(o->folders, o->files, o->dates, stamp);
    Layout l;
    layoutOf(o->header, l);
    auto section = [](Section &s, const Columns &c) {
        s.count = static_cast<int>(c.sizes.size());
        s.badSize = c.badSize;
        s.sizes = {c.sizes.data(), c.asideAt.data(), c.aside.data(), static_cast<int>(c.aside.size())};
        s.nameStart = c.starts.data();
        s.dateIds = {c.dateIds(), c.wide};
        s.names = c.names.constData();
        s.namesLength = c.names.size();
    };
    section(d->m_folders, o->folders);
    section(d->m_files, o->files);
    d->m_dateCount = static_cast<int>(o->dates.starts.size() - 1);
    d->m_dateStart = o->dates.starts.data();
    d->m_dates = o->dates.text.constData();
    d->m_datesLength = o->dates.text.size();
    d->m_stamp = stamp;
    d->m_size = l.total;
    d->m_owned = std::move(o);
    return d;
}

std::shared_ptr<const DiscNames> DiscNames::build(const ContentsList &folders, const ContentsList &files,
                                                  const Stamp &stamp)
{
    Dates dates;
    auto fill = [&](const ContentsList &list, bool folderList, Columns &c) {
        const int n = list.recordCount();
        for (int r = 0; r < n; ++r)
            addRecord(c, dates, folderList, list.lineBytes(r, ContentsRecord::NameLine),
                      list.lineBytes(r, ContentsRecord::SizeLine), list.lineBytes(r, ContentsRecord::DateLine));
        foldNames(c);
        if (c.badSize < 0)
            c.badSize = n;
    };
    auto o = std::make_unique<Owned>();
    fill(folders, true, o->folders);
    fill(files, false, o->files);
    o->dates = std::move(dates);
    return own(std::move(o), stamp);
}

std::shared_ptr<const DiscNames> DiscNames::scan(const QByteArray &folderList, const QByteArray &fileList,
                                                 const Stamp &stamp)
{
    return Scan().finish(folderList, fileList, stamp);
}

DiscNames::~DiscNames()
{
    if (m_mapping)
        ::munmap(m_mapping, size_t(m_size));
}

bool DiscNames::attach(const uchar *data, qint64 size)
{
    if (size < qint64(sizeof(Header)))
        return false;
    Header h;
    std::memcpy(&h, data, sizeof h);
    Layout l;
    if (std::memcmp(h.magic, Magic, sizeof Magic) != 0 || h.version != Version || !layoutOf(h, l) || l.total != size)
        return false;
    auto at = [data](qint64 off) { return data + off; };
    auto section = [&](Section &s, qint32 count, qint32 bad, qint64 sizes, qint64 asideAt, qint64 aside,
                       qint32 asideCount, qint64 starts, qint64 dates, bool wide, qint64 names, qint64 namesLength) {
        s.count = count;
        s.badSize = std::clamp(bad, 0, count);
        s.sizes = {reinterpret_cast<const quint32 *>(at(sizes)), reinterpret_cast<const qint32 *>(at(asideAt)),
                   reinterpret_cast<const qint64 *>(at(aside)), asideCount};
        s.nameStart = reinterpret_cast<const quint32 *>(at(starts));
        s.dateIds = {at(dates), wide};
        s.names = reinterpret_cast<const char *>(at(names));
        s.namesLength = namesLength;
    };
    section(m_folders, h.folderCount, h.folderBadSize, l.folderSizes, l.folderAsideAt, l.folderAside, h.folderAside,
            l.folderStarts, l.folderDates, h.wideDates & 1, l.folderNames, h.folderNamesLength);
    section(m_files, h.fileCount, h.fileBadSize, l.fileSizes, l.fileAsideAt, l.fileAside, h.fileAside, l.fileStarts,
            l.fileDates, h.wideDates & 2, l.fileNames, h.fileNamesLength);
    m_dateCount = static_cast<int>(h.dateCount);
    m_dateStart = reinterpret_cast<const quint32 *>(at(l.dateStarts));
    m_dates = reinterpret_cast<const char *>(at(l.dates));
    m_datesLength = h.datesLength;
    m_stamp = {h.stampSize, h.stampModified, h.stampInode};
    m_data = data;
    m_size = size;
    // The name offsets must close on their blocks: a file cut short or written over fails here.
    return m_folders.nameStart[m_folders.count] == quint64(m_folders.namesLength) &&
           m_files.nameStart[m_files.count] == quint64(m_files.namesLength) &&
           m_dateStart[m_dateCount] == quint64(m_datesLength);
}

QByteArrayView DiscNames::date(quint32 id) const
{
    if (id >= quint32(m_dateCount))
        return {};
    const quint32 a = m_dateStart[id], b = m_dateStart[id + 1];
    if (a > b || b > m_datesLength)
        return {};
    return QByteArrayView(m_dates + a, b - a);
}

std::shared_ptr<const DiscNames> DiscNames::map(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    void *data = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        data = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (data == MAP_FAILED)
        return nullptr;
    std::shared_ptr<DiscNames> d(new DiscNames);
    d->m_mapping = data;
    d->m_size = st.st_size;
    if (!d->attach(static_cast<const uchar *>(data), st.st_size))
        return nullptr;
    return d;
}

QString DiscNames::badSizeMessage(const QString &title)
{
    return QStringLiteral("The disc \"%1\" was read only up to a size that is no number in its contents.").arg(title);
}

// "SERIAL.names" + ".PID-ADDRESS" + PartialEnd: the process, so that what a killed one left is known.
bool DiscNames::isLeftOver(const QString &fileName)
{
    if (!fileName.endsWith(PartialEnd))
        return false;
    const qsizetype dot = fileName.lastIndexOf(u'.', -PartialEnd.size() - 1);
    const qsizetype dash = fileName.indexOf(u'-', dot + 1);
    bool ok = false;
    const qint64 pid = dot < 0 || dash < 0 ? 0 : fileName.sliced(dot + 1, dash - dot - 1).toLongLong(&ok);
    return ok && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

bool DiscNames::save(const QString &path) const
{
    // A cache file needs no durability, only never to be seen half written: a name of this
    // process's own, then one rename. A torn file would fail the checks of map() anyway.
    const QString partial =
        path + QStringLiteral(".%1-%2").arg(QCoreApplication::applicationPid()).arg(quintptr(this), 0, 16) + PartialEnd;
    QFile f(partial);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    bool written = true;
    if (m_data) {
        written = f.write(reinterpret_cast<const char *>(m_data), m_size) == m_size;
    } else {
        // The columns in the file's order, zeros up to each one's place.
        const Owned &o = *m_owned;
        Layout l;
        layoutOf(o.header, l);
        static const char zeros[8] = {};
        auto put = [&](qint64 at, const void *bytes, qint64 n) {
            const qint64 gap = at - f.pos();
            if (written && gap > 0)
                written = gap <= qint64(sizeof zeros) && f.write(zeros, gap) == gap;
            if (written && n > 0)
                written = f.write(static_cast<const char *>(bytes), n) == n;
        };
        put(0, &o.header, sizeof o.header);
        put(l.folderSizes, o.folders.sizes.data(), qint64(o.folders.sizes.size() * 4));
        put(l.fileSizes, o.files.sizes.data(), qint64(o.files.sizes.size() * 4));
        put(l.folderAsideAt, o.folders.asideAt.data(), qint64(o.folders.asideAt.size() * 4));
        put(l.folderAside, o.folders.aside.data(), qint64(o.folders.aside.size() * 8));
        put(l.fileAsideAt, o.files.asideAt.data(), qint64(o.files.asideAt.size() * 4));
        put(l.fileAside, o.files.aside.data(), qint64(o.files.aside.size() * 8));
        put(l.folderStarts, o.folders.starts.data(), qint64(o.folders.starts.size() * 4));
        put(l.fileStarts, o.files.starts.data(), qint64(o.files.starts.size() * 4));
        put(l.folderDates, o.folders.dateIds(), o.folders.dateBytes());
        put(l.fileDates, o.files.dateIds(), o.files.dateBytes());
        put(l.dateStarts, o.dates.starts.data(), qint64(o.dates.starts.size() * 4));
        put(l.folderNames, o.folders.names.constData(), o.folders.names.size());
        put(l.fileNames, o.files.names.constData(), o.files.names.size());
        put(l.dates, o.dates.text.constData(), o.dates.text.size());
        put(l.total, nullptr, 0);
    }
    f.close();
    if (!written || f.error() != QFileDevice::NoError) {
        QFile::remove(partial);
        return false;
    }
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(partial);
        return false;
    }
    return true;
}
