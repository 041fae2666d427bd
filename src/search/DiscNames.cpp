#include "DiscNames.h"

#include "SearchTests.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace
{

constexpr char Magic[8] = {'Q', 'L', 'Y', 'N', 'A', 'M', 'E', 'S'};
constexpr quint32 Version = 1;

// The header, then the arrays in this order, each starting on an 8-byte boundary: folder
// sizes, file sizes, folder name starts, file name starts, folder date ids, file date ids,
// date starts, folder names, file names, dates.
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
    qint64 folderNamesLength;
    qint64 fileNamesLength;
    qint64 datesLength;
};

qint64 align8(qint64 n)
{
    return (n + 7) & ~qint64(7);
}

struct Layout {
    qint64 folderSizes, fileSizes, folderStarts, fileStarts, folderDates, fileDates, dateStarts, folderNames, fileNames,
        dates, total;
};

bool layoutOf(const Header &h, Layout &l)
{
    if (h.folderCount < 0 || h.fileCount < 0 || h.folderNamesLength < 0 || h.fileNamesLength < 0 || h.datesLength < 0 ||
        h.dateCount > quint32(INT_MAX))
        return false;
    const qint64 fc = h.folderCount, nc = h.fileCount, dc = h.dateCount;
    qint64 p = align8(sizeof(Header));
    auto take = [&p](qint64 bytes) {
        const qint64 at = p;
        p = align8(p + bytes);
        return at;
    };
    l.folderSizes = take(fc * 8);
    l.fileSizes = take(nc * 8);
    l.folderStarts = take((fc + 1) * 4);
    l.fileStarts = take((nc + 1) * 4);
    l.folderDates = take(fc * 4);
    l.fileDates = take(nc * 4);
    l.dateStarts = take((dc + 1) * 4);
    l.folderNames = take(h.folderNamesLength);
    l.fileNames = take(h.fileNamesLength);
    l.dates = take(h.datesLength);
    l.total = p;
    return true;
}

// One list's columns while they are made.
struct Columns {
    std::vector<qint64> sizes;
    std::vector<quint32> starts{0};
    std::vector<quint32> dates;
    QByteArray names;
    int badSize = -1;
};

template <typename T> void putArray(QByteArray &out, qint64 at, const std::vector<T> &v)
{
    if (!v.empty())
        std::memcpy(out.data() + at, v.data(), v.size() * sizeof(T));
}

} // namespace

DiscNames::Stamp DiscNames::Stamp::of(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {static_cast<qint64>(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<qint64>(st.st_ino)};
}

bool DiscNames::parseSize(QByteArrayView text, qint64 &size)
{
    // Plain digits are nearly every size there is; anything else goes the long way.
    if (!text.isEmpty() && text.size() <= 18) {
        qint64 n = 0;
        bool digits = true;
        for (char c : text) {
            if (c < '0' || c > '9') {
                digits = false;
                break;
            }
            n = n * 10 + (c - '0');
        }
        if (digits) {
            size = n;
            return true;
        }
    }
    bool ok = false;
    size = text.toLongLong(&ok, 10);
    return ok;
}

QByteArrayView DiscNames::Section::name(int i) const
{
    const quint32 a = nameStart[i], b = nameStart[i + 1];
    if (a >= b || b > namesLength)
        return {};
    return QByteArrayView(names + a, b - a - 1);
}

int DiscNames::Section::recordAt(qint64 pos) const
{
    const quint32 *end = nameStart + count + 1;
    const quint32 *it = std::upper_bound(nameStart, end, static_cast<quint32>(pos));
    return static_cast<int>(it - nameStart) - 1;
}

std::shared_ptr<const DiscNames> DiscNames::build(const ContentsList &folders, const ContentsList &files,
                                                  const Stamp &stamp)
{
    QHash<QByteArrayView, quint32> dateIds;
    std::vector<quint32> dateStarts{0};
    QByteArray dates;
    auto fill = [&](const ContentsList &list, bool folderList, Columns &c) {
        const int n = list.recordCount();
        c.sizes.reserve(static_cast<size_t>(n));
        c.starts.reserve(static_cast<size_t>(n) + 1);
        c.dates.reserve(static_cast<size_t>(n));
        c.names.reserve(list.data().size() / 4);
        for (int r = 0; r < n; ++r) {
            const QByteArrayView name = folderList ? list.folderName(r) : list.lineBytes(r, ContentsRecord::NameLine);
            const qsizetype at = c.names.size();
            c.names.append(name);
            SearchTests::foldInPlace(c.names.data() + at, name.size());
            c.names.append('\n');
            c.starts.push_back(static_cast<quint32>(c.names.size()));
            qint64 size = 0;
            if (!parseSize(list.lineBytes(r, ContentsRecord::SizeLine), size) && c.badSize < 0)
                c.badSize = r;
            c.sizes.push_back(size);
            const QByteArrayView date = list.lineBytes(r, ContentsRecord::DateLine);
            auto it = dateIds.constFind(date);
            if (it == dateIds.constEnd()) {
                it = dateIds.insert(date, static_cast<quint32>(dateStarts.size() - 1));
                dates.append(date);
                dateStarts.push_back(static_cast<quint32>(dates.size()));
            }
            c.dates.push_back(it.value());
        }
        if (c.badSize < 0)
            c.badSize = n;
    };
    Columns fc, nc;
    fill(folders, true, fc);
    fill(files, false, nc);

    Header h{};
    std::memcpy(h.magic, Magic, sizeof Magic);
    h.version = Version;
    h.dateCount = static_cast<quint32>(dateStarts.size() - 1);
    h.stampSize = stamp.size;
    h.stampModified = stamp.modifiedNs;
    h.stampInode = stamp.inode;
    h.folderCount = folders.recordCount();
    h.fileCount = files.recordCount();
    h.folderBadSize = fc.badSize;
    h.fileBadSize = nc.badSize;
    h.folderNamesLength = fc.names.size();
    h.fileNamesLength = nc.names.size();
    h.datesLength = dates.size();
    Layout l;
    layoutOf(h, l);

    std::shared_ptr<DiscNames> d(new DiscNames);
    QByteArray &out = d->m_bytes;
    out = QByteArray(l.total, '\0');
    std::memcpy(out.data(), &h, sizeof h);
    putArray(out, l.folderSizes, fc.sizes);
    putArray(out, l.fileSizes, nc.sizes);
    putArray(out, l.folderStarts, fc.starts);
    putArray(out, l.fileStarts, nc.starts);
    putArray(out, l.folderDates, fc.dates);
    putArray(out, l.fileDates, nc.dates);
    putArray(out, l.dateStarts, dateStarts);
    std::memcpy(out.data() + l.folderNames, fc.names.constData(), fc.names.size());
    std::memcpy(out.data() + l.fileNames, nc.names.constData(), nc.names.size());
    std::memcpy(out.data() + l.dates, dates.constData(), dates.size());
    d->attach(reinterpret_cast<const uchar *>(out.constData()), out.size());
    return d;
}

DiscNames::~DiscNames() = default;

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
    auto section = [&](Section &s, qint32 count, qint32 bad, qint64 sizes, qint64 starts, qint64 dates, qint64 names,
                       qint64 namesLength) {
        s.count = count;
        s.badSize = std::clamp(bad, 0, count);
        s.sizes = reinterpret_cast<const qint64 *>(at(sizes));
        s.nameStart = reinterpret_cast<const quint32 *>(at(starts));
        s.dateIds = reinterpret_cast<const quint32 *>(at(dates));
        s.names = reinterpret_cast<const char *>(at(names));
        s.namesLength = namesLength;
    };
    section(m_folders, h.folderCount, h.folderBadSize, l.folderSizes, l.folderStarts, l.folderDates, l.folderNames,
            h.folderNamesLength);
    section(m_files, h.fileCount, h.fileBadSize, l.fileSizes, l.fileStarts, l.fileDates, l.fileNames,
            h.fileNamesLength);
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
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return nullptr;
    const qint64 size = file->size();
    const uchar *data = size > 0 ? file->map(0, size) : nullptr;
    if (!data)
        return nullptr;
    std::shared_ptr<DiscNames> d(new DiscNames);
    d->m_file = std::move(file);
    if (!d->attach(data, size))
        return nullptr;
    return d;
}

bool DiscNames::save(const QString &path) const
{
    // A cache file needs no durability, only never to be seen half written: a name of this
    // process's own, then one rename. A torn file would fail the checks of map() anyway.
    const QString partial = path + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
    QFile f(partial);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = f.write(reinterpret_cast<const char *>(m_data), m_size) == m_size;
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
