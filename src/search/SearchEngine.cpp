#include "SearchEngine.h"

#include "NameIndex.h"
#include "core/AsciiCase.h"
#include "core/QuilloryError.h"
#include "core/SizeSum.h"
#include "listing/SearchHits.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsFile.h"
#include "store/ContentsRecord.h"
#include "store/GroupTree.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <limits>
#include <optional>

namespace
{
constexpr qint64 NoDate = std::numeric_limits<qint64>::min();
}

// A disc while it is searched.
struct SearchEngine::Disc {
    const TCD *cd = nullptr;
    QString contentsFile;
    DiscNames::Stamp stamp;
    std::shared_ptr<const DiscNames> names;
    std::optional<ContentsFile::Lists> bytes;
    std::optional<ContentsFile::Parsed> lists;
    std::vector<qint64> dates; // by date id, when a date bound is on
    int hitsDisc = -1;
};

// The index did not describe the lists after all: the disc is searched again from the lists.
class SearchEngine::Stale
{
};

namespace
{
// The first place of needle in the n bytes at hay, or null. Sixteen positions at a time are
// tested for the needle's first and last byte, and only those that have both are compared in
// full: names rarely share both with the mask, so this runs near the speed of reading memory.
const char *findBytes(const char *hay, size_t n, const char *needle, size_t k)
{
    if (k == 0)
        return hay;
    if (n < k)
        return nullptr;
    if (k == 1)
        return static_cast<const char *>(std::memchr(hay, needle[0], n));
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[k - 1]);
    for (; i + k - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i + k - 1));
        unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
            if (std::memcmp(hay + at + 1, needle + 1, k - 2) == 0)
                return hay + at;
            mask &= mask - 1;
        }
    }
#endif
    return static_cast<const char *>(memmem(hay + i, n - i, needle, k));
}

// A contents file that cannot be unpacked ends that disc only; an invalid mask, which is a
// QuilloryError too, must still end the whole search.
struct Unreadable {
    QString message;
};

ContentsFile::Lists readLists(const QString &db, const QString &serial)
{
    try {
        return ContentsFile::read(db, serial);
    } catch (const QuilloryError &e) {
        throw Unreadable{e.message()};
    }
}

// The lists, with their names made as they unpack.
ContentsFile::Lists readLists(const QString &db, const QString &serial, DiscNames::Scan &scan)
{
    try {
        return ContentsFile::read(db, serial, [&scan](int list, const char *data, qsizetype available,
                                                      qsizetype size) { scan.feed(list, data, available, size); });
    } catch (const QuilloryError &e) {
        throw Unreadable{e.message()};
    }
}

// As ContentsFile::load parses what it reads. Checksums that do not line up are only not shown:
// the search has nothing to say of them.
ContentsFile::Parsed parse(const ContentsFile::Lists &lists)
{
    try {
        ContentsFile::Parsed p{
            ContentsList::fromBytes(lists.folderList), ContentsList::fromBytes(lists.fileList), {}, {}};
        p.checksums = ContentsChecksums::parse(lists.checksumList, p.files.recordCount());
        return p;
    } catch (const QuilloryError &e) {
        // A list beyond the catalogue's limits is refused once unpacked.
        throw Unreadable{e.message()};
    }
}
} // namespace

SearchEngine::SearchEngine(const QString &dbFolder, const SearchCriteria &criteria, NameIndex *index)
    : m_db(dbFolder), m_tests(criteria), m_index(index), m_hits(std::make_shared<SearchHits>())
{
    m_clock.start();
}

SearchEngine::~SearchEngine() = default;

void SearchEngine::tick()
{
    if (m_progress && m_clock.elapsed() >= ProgressMs) {
        m_progress();
        m_clock.restart();
    }
}

void SearchEngine::collect(const TreeNode *group)
{
    for (int i = 0; i < group->childCount(); ++i) {
        const TreeNode *c = group->child(i);
        if (!c->isDisc())
            collect(c);
        else if (c->cd())
            m_order.push_back(*c->cd());
    }
}

void SearchEngine::run()
{
    struct Searching {
        NameIndex *index;
        explicit Searching(NameIndex *i) : index(i)
        {
            if (index)
                index->setSearching(true);
        }
        ~Searching()
        {
            if (index) {
                index->setSearching(false);
                index->trim();
            }
        }
    } searching(m_index);
    m_dateCuts = 0;
    m_firstDateCut.clear();

    for (size_t i = 0; i < m_order.size() && !m_stop; ++i)
        searchDisc(m_order[i]);
    // One line for them all: a catalogue brought from another computer has many such discs.
    if (m_dateCuts == 1)
        m_problems.append(
            QStringLiteral("The disc %1, which is no date of this computer's date format.").arg(m_firstDateCut));
    else if (m_dateCuts > 1)
        m_problems.append(QStringLiteral("%1 discs could not be searched by date past a date that is no date of this "
                                         "computer's date format, such as the disc %2.")
                              .arg(m_dateCuts)
                              .arg(m_firstDateCut));
}

void SearchEngine::search(const TreeNode *node)
{
    if (!node)
        return;
    if (node->isDisc()) {
        if (node->cd())
            FindOnCD(*node->cd());
    } else {
        Find(node);
    }
}

void SearchEngine::Find(const TreeNode *group)
{
    // The scope's discs are copied first: whatever the window does while the search lets it
    // handle events, the search never walks a tree that changed under it.
    m_order.clear();
    collect(group);
    run();
}

void SearchEngine::FindOnCD(const TCD &cd)
{
    m_order.assign(1, cd);
    run();
}

void SearchEngine::searchDisc(const TCD &cd)
{
    if (m_discStarted)
        m_discStarted(cd);
    tick();
    if (m_stop)
        return;
    if (!ContentsFile::isUsableSerial(cd.Serial)) {
        m_problems.append(ContentsFile::unusableDiscMessage(cd.Title, cd.Serial));
        return;
    }
    Disc d;
    d.cd = &cd;
    d.contentsFile = ContentsFile::contentsFileName(m_db, cd.Serial);
    d.stamp = DiscNames::Stamp::of(d.contentsFile);
    if (d.stamp.size < 0) {
        m_problems.append(ContentsFile::missingDiscMessage(cd.Title));
        return;
    }
    try {
        if (m_index) {
            // The index's way: its names when they match the contents file, else names made
            // straight from the unpacked bytes, saved for the next search.
            d.names = m_index->find(cd.Serial, d.stamp);
            if (!d.names) {
                // The stamp was taken before the read: lists that do not match it are never indexed.
                DiscNames::Scan scan;
                d.bytes = readLists(m_db, cd.Serial, scan);
                try {
                    d.names = scan.finish(d.bytes->folderList, d.bytes->fileList, d.stamp);
                } catch (const QuilloryError &e) {
                    throw Unreadable{e.message()}; // a list beyond the limits, refused once unpacked
                }
                m_index->store(cd.Serial, d.names);
            }
        } else {
            // The plain walk: the parsed lists themselves.
            d.lists = parse(readLists(m_db, cd.Serial));
            d.names = DiscNames::build(d.lists->folders, d.lists->files, d.stamp);
        }
        const int hitsBefore = m_hits->count();
        const int dirs = m_dirs, files = m_files;
        const qint64 size = m_size;
        try {
            walk(d);
        } catch (const Stale &) {
            ++m_stale;
            m_hits->truncate(hitsBefore);
            m_dirs = dirs;
            m_files = files;
            m_size = size;
            d.names = DiscNames::build(d.lists->folders, d.lists->files, d.stamp);
            if (m_index)
                m_index->store(cd.Serial, d.names);
            d.dates.clear();
            walk(d);
        }
    } catch (const Unreadable &e) {
        m_problems.append(QStringLiteral("The disc \"%1\" could not be searched: %2").arg(cd.Title, e.message));
    }
}

void SearchEngine::walk(Disc &d)
{
    const SearchCriteria &c = m_tests.criteria();
    const DiscNames &names = *d.names;
    if (c.dateBound() && d.dates.empty() && names.dateCount() > 0) {
        // Each distinct date of the disc is read once, in the user's locale.
        const CatalogueLocale locale;
        d.dates.resize(static_cast<size_t>(names.dateCount()));
        for (int i = 0; i < names.dateCount(); ++i) {
            const QDateTime dt = locale.parseWallClock(QString::fromUtf8(names.date(static_cast<quint32>(i))));
            d.dates[static_cast<size_t>(i)] = dt.isValid() ? CatalogueLocale::wallClockMs(dt) : NoDate;
        }
    }
    // A size, or with a date bound a date, that does not parse ends the disc at that record.
    // A date is told: a disc catalogued under another date format would otherwise answer a
    // date search with nothing, as if it held nothing of those dates.
    bool toldDate = false, toldSize = false;
    auto cutOf = [&](const DiscNames::Section &s) {
        int cut = s.badSize;
        // A damaged list, or one written by hand: the answer is not whole, and says so.
        if (cut < s.count && !toldSize) {
            m_problems.append(DiscNames::badSizeMessage(d.cd->Title));
            toldSize = true;
        }
        if (c.dateBound()) {
            for (int i = 0; i < cut; ++i) {
                const quint32 id = s.dateIds[i];
                if (id >= d.dates.size() || d.dates[id] == NoDate) {
                    cut = i;
                    if (!toldDate && id < d.dates.size() && m_dateCuts++ == 0)
                        m_firstDateCut = QStringLiteral("\"%1\" could not be searched by date past \"%2\"")
                                             .arg(d.cd->Title, QString::fromUtf8(names.date(id)));
                    toldDate = true;
                    break;
                }
            }
        }
        return cut;
    };
    if (c.searchesFolders()) {
        const int cut = cutOf(names.folders());
        walkSection(d, true, cut);
        if (m_stop || cut < names.folders().count)
            return;
    }
    if (c.searchesFiles())
        walkSection(d, false, cutOf(names.files()));
}

void SearchEngine::walkSection(Disc &d, bool folders, int cut)
{
    const DiscNames::Section &s = folders ? d.names->folders() : d.names->files();
    const QByteArray &needle = m_tests.requiredBytes();
    // With the index, the names are one block: what every hit must contain is looked for in
    // all of it at once, and only the records it turns up are tested further. The plain walk
    // tests every record, the reference the index is held to.
    if (m_index && !needle.isEmpty() && !needle.contains('\n')) {
        // Offsets are read from a cache file: they may bound the walk, never lead it astray.
        const qint64 end = std::min<qint64>(s.nameStart[cut], s.namesLength);
        qint64 pos = 0;
        while (pos < end && !m_stop) {
            const char *found = findBytes(s.names + pos, static_cast<size_t>(end - pos), needle.constData(),
                                          static_cast<size_t>(needle.size()));
            if (!found)
                break;
            const int record = s.recordAt(found - s.names);
            if (record < 0 || record >= cut)
                break;
            test(d, folders, record, m_tests.substringOnly());
            pos = std::max<qint64>(found - s.names + 1, s.nameStart[record + 1]);
            if ((++m_ticks & 63) == 0)
                tick();
        }
        return;
    }
    for (int r = 0; r < cut && !m_stop; ++r) {
        test(d, folders, r, false);
        if ((++m_ticks & 1023) == 0)
            tick();
    }
}

void SearchEngine::test(Disc &d, bool folders, int record, bool nameMatched)
{
    const SearchCriteria &c = m_tests.criteria();
    const DiscNames::Section &s = folders ? d.names->folders() : d.names->files();
    const QByteArrayView name = s.name(record);
    if (!folders && !m_tests.Filter(name))
        return;
    if (!nameMatched && !m_tests.MatchName(name))
        return;
    if (c.dateBound() && !m_tests.DateFilter(d.dates[s.dateIds[record]]))
        return;
    if (!m_tests.SizeFilter(s.sizes[record]))
        return;
    addHit(d, folders, record);
}

void SearchEngine::addHit(Disc &d, bool folders, int record)
{
    if (!d.lists) {
        d.lists = parse(d.bytes ? *d.bytes : readLists(m_db, d.cd->Serial));
        if (d.lists->folders.recordCount() != d.names->folders().count ||
            d.lists->files.recordCount() != d.names->files().count)
            throw Stale();
    }
    const ContentsList &list = folders ? d.lists->folders : d.lists->files;
    const DiscNames::Section &s = folders ? d.names->folders() : d.names->files();
    const QByteArrayView name = folders ? list.folderName(record) : list.lineBytes(record, ContentsRecord::NameLine);
    if (FoldedAZ(name) != s.name(record))
        throw Stale();
    if (d.hitsDisc < 0)
        d.hitsDisc = m_hits->addDisc(d.cd->Title, d.cd->Serial);
    const qint64 size = s.sizes[record];
    const QByteArrayView date = list.lineBytes(record, ContentsRecord::DateLine);
    if (folders) {
        m_hits->add(d.hitsDisc, ContentsEntry::Folder, name, list.lineBytes(record, ContentsRecord::FolderLine), {},
                    size, date);
        ++m_dirs;
    } else {
        const XXH128_hash_t sum = d.lists->checksums.value(record);
        m_hits->addFile(d.hitsDisc, list, record, size, d.lists->checksums.has(record) ? &sum : nullptr);
        ++m_files;
    }
    addCapped(m_size, size);
    const int limit = m_tests.criteria().limit;
    if (limit > 0 && m_hits->count() == limit)
        m_stop = m_limitReached = true;
}
