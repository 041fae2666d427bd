#include "DuplicateFinder.h"

#include "NameIndex.h"
#include "SearchEngine.h"
#include "core/FormatSize.h"
#include "core/QuilloryError.h"
#include "core/SizeSum.h"
#include "core/SortOnTwoCores.h"
#include "listing/SearchHits.h"
#include "store/ContentsChecksums.h"
#include "store/ContentsFile.h"
#include "store/RecordScanner.h"
#include "store/TreeNode.h"

#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <future>
#include <new>
#include <numeric>
#include <type_traits>
#include <xxhash.h>

using namespace Qt::Literals::StringLiterals;

namespace
{
constexpr quint32 ChecksumIdentity = 0x80000000u;
constexpr quint32 RecordBits = 0x7FFFFFFFu;

using Entry = DuplicateFinder::Entry;
static_assert(sizeof(Entry) == 32, "the first pass holds 32 bytes a file");
static_assert(std::is_trivially_copyable_v<Entry>, "entries are moved by realloc");

quint32 recordOf(const Entry &e)
{
    return e.record & RecordBits;
}

bool byChecksum(const Entry &e)
{
    return e.record & ChecksumIdentity;
}

// Within one size: the entries of one identity together, then by disc and record.
bool identityOrder(const Entry &a, const Entry &b)
{
    if (byChecksum(a) != byChecksum(b))
        return byChecksum(a);
    if (a.name != b.name)
        return a.name < b.name;
    if (a.disc != b.disc)
        return a.disc < b.disc;
    return recordOf(a) < recordOf(b);
}

bool sameCopy(const Entry &a, const Entry &b)
{
    return a.size == b.size && byChecksum(a) == byChecksum(b) && a.name == b.name;
}

// A table of a permutation, its entries given in any order: table[place] = value. Millions of
// stores straight into a table this large would each wait on memory, so they are gathered by
// the region of the table they fall in, and stored region by region (duplicates over ten
// million files, name index made: 6.4 s, against 9.0 s storing straight into the table).
class Permutation
{
public:
    explicit Permutation(size_t size) : m_pairs(size), m_next((size >> RegionBits) + 1)
    {
        for (size_t r = 0; r < m_next.size(); ++r)
            m_next[r] = r << RegionBits;
    }
    // Each place once.
    void put(quint32 place, quint32 value)
    {
        m_pairs[m_next[place >> RegionBits]++] = {place, value};
    }
    std::vector<quint32> take()
    {
        std::vector<quint32> table(m_pairs.size());
        for (const auto &[place, value] : m_pairs)
            table[place] = value;
        std::vector<std::pair<quint32, quint32>>().swap(m_pairs); // "= {}" would keep the memory
        return table;
    }

private:
    static constexpr int RegionBits = 16; // 256 KB of the table a region
    std::vector<std::pair<quint32, quint32>> m_pairs; // region after region
    std::vector<size_t> m_next;
};

// Gives each entry of one size its identity (see the class).
void identify(Entry *begin, Entry *end)
{
    bool anySum = false, anyPlain = false;
    for (Entry *e = begin; e != end; ++e)
        (e->sum ? anySum : anyPlain) = true;
    std::vector<std::pair<quint64, quint64>> named; // (name, checksum) of the files with one
    if (anySum && anyPlain) {
        for (Entry *e = begin; e != end; ++e)
            if (e->sum)
                named.emplace_back(e->name, e->sum);
        std::sort(named.begin(), named.end());
    }
    for (Entry *e = begin; e != end; ++e) {
        if (e->sum) {
            e->name = e->sum;
            e->record |= ChecksumIdentity;
            continue;
        }
        const auto first = std::lower_bound(named.begin(), named.end(), std::make_pair(e->name, quint64(0)));
        auto last = first;
        while (last != named.end() && last->first == e->name)
            ++last;
        if (first != last && first->second == std::prev(last)->second) {
            e->name = first->second;
            e->record |= ChecksumIdentity;
        }
    }
    std::sort(begin, end, identityOrder);
}
} // namespace

DuplicateFinder::Entries::~Entries()
{
    std::free(m_data);
}

void DuplicateFinder::Entries::clear()
{
    std::free(m_data);
    m_data = nullptr;
    m_size = m_capacity = 0;
}

void DuplicateFinder::Entries::grow()
{
    // An eighth more each time: few enough moves, and little held beyond what is used.
    const size_t capacity = std::max<size_t>(8192, m_capacity + m_capacity / 8);
    void *p = std::realloc(static_cast<void *>(m_data), capacity * sizeof(Entry));
    if (!p)
        throw std::bad_alloc();
    m_data = static_cast<Entry *>(p);
    m_capacity = capacity;
}

class DuplicateFinder::ListsAhead
{
public:
    // What a disc's reading gives: its lists, or with names wanted its names and checksums alone.
    struct Read {
        ContentsFile::Lists lists;
        std::shared_ptr<const DiscNames> names;
    };
    // With names wanted, a disc whose names the index holds fresh is read for its checksums
    // alone, and the names of any other are made while it unpacks, as the search makes them.
    ListsAhead(const QString &db, std::vector<QString> serials, bool namesWanted = false, NameIndex *index = nullptr)
        : m_db(db), m_serials(std::move(serials)), m_namesWanted(namesWanted), m_index(index)
    {
    }
    // The stamp of the contents file of serial at, taken before it was read.
    DiscNames::Stamp stamp(size_t at) { return pending(at).stamp; }
    // The names of serial at from the index; null when they were made from its lists.
    std::shared_ptr<const DiscNames> indexed(size_t at) { return pending(at).indexed; }
    // The reading of serial at, at and after any earlier one; throws as ContentsFile::read does.
    Read take(size_t at)
    {
        std::future<Read> read = std::move(pending(at).read);
        m_pending.pop_front();
        if (at + 1 < m_serials.size())
            pending(at + 1);
        return read.get();
    }

private:
    // Discs unpacked ahead of the one worked on: a few MB, and a disc that unpacks slowly
    // does not leave the worker waiting when the next ones are quick.
    static constexpr size_t Depth = 2;
    struct Pending {
        size_t at;
        DiscNames::Stamp stamp;
        std::shared_ptr<const DiscNames> indexed;
        std::future<Read> read;
    };

    Pending &pending(size_t at)
    {
        while (!m_pending.empty() && m_pending.front().at < at)
            m_pending.pop_front();
        for (size_t next = m_pending.empty() ? at : m_pending.back().at + 1;
             next < m_serials.size() && next < at + Depth; ++next)
            m_pending.push_back(started(next));
        return m_pending.front();
    }

    Pending started(size_t at)
    {
        Pending p{at, {}, nullptr, {}};
        const QString &serial = m_serials[at];
        // An unusable serial names no file: the read throws, as it would here.
        const bool usable = ContentsFile::isUsableSerial(serial);
        p.stamp = usable ? DiscNames::Stamp::of(ContentsFile::contentsFileName(m_db, serial)) : DiscNames::Stamp{};
        p.indexed = usable && m_index && p.stamp.size >= 0 ? m_index->find(serial, p.stamp) : nullptr;
        p.read = std::async(std::launch::async, [db = m_db, serial, namesWanted = m_namesWanted,
                                                 indexed = p.indexed != nullptr, stamp = p.stamp] {
            Read r;
            if (!namesWanted) {
                r.lists = ContentsFile::read(db, serial);
            } else if (indexed) {
                r.lists.checksumList = ContentsFile::readChecksumList(db, serial);
            } else {
                DiscNames::Scan scan;
                r.lists = ContentsFile::read(db, serial, [&scan](int list, const char *data, qsizetype available,
                                                                 qsizetype size) { scan.feed(list, data, available, size); });
                r.names = scan.finish(r.lists.folderList, r.lists.fileList, stamp);
                r.lists.folderList = {};
                r.lists.fileList = {};
            }
            return r;
        });
        return p;
    }

    QString m_db;
    std::vector<QString> m_serials;
    bool m_namesWanted;
    NameIndex *m_index;
    std::deque<Pending> m_pending; // in order of at
};

QString DuplicateFinder::ruleText(Rule rule)
{
    switch (rule) {
    case Rule::Checksum:
        return u"same checksum"_s;
    case Rule::NameSizeDate:
        return u"same name, size and date"_s;
    case Rule::Mixed:
        break;
    }
    return u"same checksum, or name, size and date"_s;
}

QString DuplicateFinder::Duplicates::summary() const
{
    const size_t n = groups.size();
    return u"%1 %2 of duplicates, %3 files, %4 in copies beyond the first"_s.arg(n)
        .arg(n == 1 ? u"group"_s : u"groups"_s)
        .arg(hits ? hits->count() : 0)
        .arg(FormatSize(wasted));
}

QString DuplicateFinder::SingleCopies::summary() const
{
    const int n = hits ? hits->count() : 0;
    return u"%1 %2 on no other disc, total size %3"_s.arg(n).arg(n == 1 ? u"file"_s : u"files"_s).arg(FormatSize(bytes));
}

DuplicateFinder::DuplicateFinder(const QString &dbFolder, qint64 minSize, NameIndex *index)
    : m_db(dbFolder), m_minSize(std::max<qint64>(minSize, 0)), m_index(index)
{
    m_clock.start();
}

DuplicateFinder::~DuplicateFinder() = default;

void DuplicateFinder::tick()
{
    if (m_progress && m_clock.elapsed() >= SearchEngine::ProgressMs) {
        m_progress();
        m_clock.restart();
    }
}

void DuplicateFinder::clear()
{
    m_discs.clear();
    m_stamps.clear();
    m_fileCounts.clear();
    m_entries.clear();
    m_problems.clear();
    m_missedDiscs = false;
    m_held = 0;
}

void DuplicateFinder::collect(const TreeNode *node, std::vector<TCD> &discs) const
{
    if (!node)
        return;
    if (node->isDisc()) {
        if (node->cd())
            discs.push_back(*node->cd());
        return;
    }
    for (int i = 0; i < node->childCount(); ++i)
        collect(node->child(i), discs);
}

void DuplicateFinder::read(const std::vector<TCD> &discs, const std::vector<qint64> *onlySizes)
{
    QSet<QString> seen;
    for (const TCD &cd : discs)
        seen.insert(cd.Serial);
    for (const TCD &cd : m_discs)
        seen.remove(cd.Serial);
    const size_t first = m_discs.size();
    std::vector<QString> serials;
    for (const TCD &cd : discs) {
        // A disc filed twice is one medium, read once.
        if (!seen.remove(cd.Serial))
            continue;
        m_discs.push_back(cd);
        m_stamps.push_back({});
        m_fileCounts.push_back(0);
        serials.push_back(cd.Serial);
    }
    ListsAhead lists(m_db, std::move(serials), true, m_index);
    for (size_t i = first; i < m_discs.size() && !m_stop; ++i)
        readDisc(static_cast<quint32>(i), lists, i - first, onlySizes);
    // The names made here join the index: it is kept under its size, as after a search.
    if (m_index)
        m_index->trim();
}

void DuplicateFinder::readDisc(quint32 disc, ListsAhead &ahead, size_t at, const std::vector<qint64> *onlySizes)
{
    const TCD &cd = m_discs[disc];
    if (m_discStarted)
        m_discStarted(cd);
    tick();
    if (m_stop)
        return;
    if (!ContentsFile::isUsableSerial(cd.Serial)) {
        m_problems.append(ContentsFile::unusableDiscMessage(cd.Title, cd.Serial));
        m_missedDiscs = true;
        return;
    }
    const DiscNames::Stamp stamp = ahead.stamp(at);
    if (stamp.size < 0) {
        m_problems.append(ContentsFile::missingDiscMessage(cd.Title));
        m_missedDiscs = true;
        return;
    }
    m_stamps[disc] = stamp;
    ContentsFile::Lists lists;
    std::shared_ptr<const DiscNames> names = ahead.indexed(at);
    try {
        ListsAhead::Read read = ahead.take(at);
        lists = std::move(read.lists);
        if (!names) {
            names = std::move(read.names);
            if (m_index)
                m_index->store(cd.Serial, names);
        }
    } catch (const QuilloryError &e) {
        m_problems.append(ContentsFile::unreadableDiscMessage(cd.Title, e.message()));
        m_missedDiscs = true;
        return;
    }
    const DiscNames::Section &files = names->files();
    m_fileCounts[disc] = files.count;
    QString problem;
    const ContentsChecksums sums = ContentsChecksums::parse(lists.checksumList, files.count, &problem);
    if (!problem.isEmpty())
        m_problems.append(u"The disc \"%1\": %2"_s.arg(cd.Title, problem));
    if (files.badSize < files.count) {
        m_problems.append(DiscNames::badSizeMessage(cd.Title));
        m_missedDiscs = true;
    }
    lists = {};
    // Each distinct date of the disc hashed once, as the seed of its names' hashes.
    std::vector<quint64> dates(static_cast<size_t>(names->dateCount()));
    for (int i = 0; i < names->dateCount(); ++i) {
        const QByteArrayView date = names->date(static_cast<quint32>(i));
        dates[static_cast<size_t>(i)] = XXH3_64bits(date.data(), static_cast<size_t>(date.size()));
    }
    for (int r = 0; r < files.badSize; ++r) {
        const qint64 size = files.sizes[r];
        if (size < m_minSize)
            continue;
        if (onlySizes && !std::binary_search(onlySizes->begin(), onlySizes->end(), size))
            continue;
        Entry e{size, 0, 0, disc, static_cast<quint32>(r)};
        if (sums.has(r)) {
            const XXH128_hash_t v = sums.value(r);
            e.sum = v.high64 ? v.high64 : 1;
        }
        const QByteArrayView name = files.name(r);
        const quint32 date = files.dateIds[r];
        e.name = XXH3_64bits_withSeed(name.data(), static_cast<size_t>(name.size()),
                                      date < dates.size() ? dates[date] : 0);
        m_entries.push_back(e);
        if ((r & 4095) == 4095) {
            tick();
            if (m_stop)
                return;
        }
    }
    m_held = std::max<qint64>(m_held, qint64(m_entries.capacity() * sizeof(Entry)));
}

void DuplicateFinder::group()
{
    // One sort leaves every size whose files all have checksums, or all have none, in the
    // order of their identities; only a size that mixes them is sorted again.
    const auto order = [](const Entry &a, const Entry &b) {
        if (a.size != b.size)
            return a.size < b.size;
        if (a.sum != b.sum)
            return a.sum < b.sum;
        if (a.sum == 0 && a.name != b.name)
            return a.name < b.name;
        if (a.disc != b.disc)
            return a.disc < b.disc;
        return a.record < b.record;
    };
    sortOnTwoCores(m_entries.begin(), m_entries.end(), order);
    Entry *p = m_entries.begin(), *end = m_entries.end();
    while (p != end) {
        Entry *q = p + 1;
        while (q != end && q->size == p->size)
            ++q;
        // Sorted by checksum, the files without one (0) come first.
        if (q - p > 1 && p->sum == 0 && (q - 1)->sum != 0)
            identify(p, q);
        else if (p->sum != 0)
            for (Entry *e = p; e != q; ++e) {
                e->name = e->sum;
                e->record |= ChecksumIdentity;
            }
        p = q;
    }
}

std::shared_ptr<SearchHits> DuplicateFinder::hitsOf(std::vector<quint32> place, bool inReadOrder)
{
    // Each disc's file list is read once, its records in turn, and the hits are then put in the
    // order asked. The entries are gone through in their own order and sorted by disc by
    // counting, then found by record through a table of the disc's records: a jump through the
    // entries for every copy would wait on memory at every step.
    struct Wanted {
        quint32 record;
        quint32 at; // in the answer
        qint64 size;
    };
    std::vector<size_t> start(m_discs.size() + 1, 0);
    for (size_t k = 0; k < m_entries.size(); ++k)
        if (place[k] != NotWanted)
            ++start[m_entries[k].disc + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<Wanted> wanted(start.back());
    {
        std::vector<size_t> next(start.begin(), start.end() - 1);
        for (size_t k = 0; k < m_entries.size(); ++k)
            if (place[k] != NotWanted)
                wanted[next[m_entries[k].disc]++] = {recordOf(m_entries[k]), place[k], m_entries[k].size};
    }
    // The answer is the largest memory of the comparison: the entries' and the places' is
    // given back before it is made, and the answer may have it.
    m_entries.clear();
    std::vector<quint32>().swap(place);
    auto hits = std::make_shared<SearchHits>();
    hits->reserve(static_cast<int>(wanted.size()));
    Permutation places(inReadOrder ? 0 : wanted.size());
    std::vector<quint32> discs;
    std::vector<QString> serials;
    for (quint32 disc = 0; disc < m_discs.size(); ++disc) {
        if (start[disc] != start[disc + 1]) {
            discs.push_back(disc);
            serials.push_back(m_discs[disc].Serial);
        }
    }
    if (m_readingBack)
        m_readingBack(static_cast<int>(discs.size()));
    ListsAhead ahead(m_db, std::move(serials));
    std::vector<const Wanted *> byRecord; // of the disc being read
    for (size_t d = 0; d < discs.size(); ++d) {
        const quint32 disc = discs[d];
        if (m_discStarted)
            m_discStarted(m_discs[disc]);
        if (m_stop)
            return std::make_shared<SearchHits>();
        byRecord.clear();
        for (size_t k = start[disc]; k < start[disc + 1]; ++k) {
            if (wanted[k].record >= byRecord.size())
                byRecord.resize(wanted[k].record + 1, nullptr);
            byRecord[wanted[k].record] = &wanted[k];
        }
        const TCD &cd = m_discs[disc];
        ContentsFile::Lists lists;
        try {
            if (ahead.stamp(d) != m_stamps[disc])
                throw QuilloryError(u"it changed while it was compared"_s);
            lists = ahead.take(d).lists;
        } catch (const QuilloryError &e) {
            throw QuilloryError(u"The disc \"%1\" could not be read again: %2. Try again."_s.arg(cd.Title, e.message()));
        }
        const QByteArray &list = lists.fileList;
        // Checksums that do not line up were reported by the first pass.
        const ContentsChecksums sums = ContentsChecksums::parse(lists.checksumList, m_fileCounts[disc]);
        const int hitsDisc = hits->addDisc(cd.Title, cd.Serial);
        size_t record = 0, found = 0;
        RecordScanner scanner(list.constData());
        const auto visit = [&](const RecordScanner::Record &r) {
            if (record < byRecord.size() && byRecord[record]) {
                const qsizetype end = std::min(scanner.recordStart(), list.size());
                const qsizetype extra = r.lines > ContentsRecord::FixedLines ? r.extra : end;
                if (!inReadOrder)
                    places.put(byRecord[record]->at, static_cast<quint32>(hits->count()));
                const XXH128_hash_t sum = sums.value(static_cast<int>(record));
                hits->addFile(hitsDisc, r.name, r.folder, r.date,
                              QByteArrayView(list.constData() + extra, end - extra), byRecord[record]->size,
                              sums.has(static_cast<int>(record)) ? &sum : nullptr);
                ++found;
            }
            ++record;
        };
        scanner.advance(list.size(), visit);
        scanner.finish(list.size(), visit);
        if (found != start[disc + 1] - start[disc])
            throw QuilloryError(u"The disc \"%1\" changed while it was compared. Try again."_s.arg(cd.Title));
        tick();
        if (m_stop)
            return std::make_shared<SearchHits>();
    }
    std::vector<const Wanted *>().swap(byRecord);
    std::vector<Wanted>().swap(wanted);
    if (!inReadOrder)
        hits->reorder(places.take());
    return hits;
}

DuplicateFinder::Duplicates DuplicateFinder::duplicates(const TreeNode *scope)
{
    clear();
    std::vector<TCD> discs;
    collect(scope, discs);
    read(discs, nullptr);
    Duplicates out;
    out.hits = std::make_shared<SearchHits>();
    if (m_stop)
        return out;
    group();
    // A group holds two copies at least. Room for the most there can be is only address space
    // until it is used, and the groups never move while they are gathered.
    out.groups.reserve(m_entries.size() / 2);
    for (size_t i = 0; i < m_entries.size();) {
        size_t j = i + 1;
        while (j < m_entries.size() && sameCopy(m_entries[i], m_entries[j]))
            ++j;
        if (j - i > 1) {
            Group g;
            g.size = m_entries[i].size;
            g.first = static_cast<int>(i);
            g.count = static_cast<int>(j - i);
            // The rule that matched: a file without a checksum joins the others by its name, size and
            // date, and so do all of them when only one has a checksum.
            const auto sums =
                std::count_if(m_entries.begin() + i, m_entries.begin() + j, [](const Entry &e) { return e.sum != 0; });
            g.rule = sums == g.count ? Rule::Checksum : sums >= 2 ? Rule::Mixed : Rule::NameSizeDate;
            out.groups.push_back(g);
        }
        i = j;
    }
    sortOnTwoCores(out.groups.begin(), out.groups.end(), [](const Group &a, const Group &b) {
        if (a.wasted() != b.wasted())
            return a.wasted() > b.wasted();
        if (a.size != b.size)
            return a.size > b.size;
        return a.first < b.first;
    });
    std::vector<quint32> place(m_entries.size(), NotWanted);
    std::vector<bool> odd;
    quint32 placed = 0;
    bool oddGroup = false;
    for (Group &g : out.groups) {
        for (int k = 0; k < g.count; ++k)
            place[static_cast<size_t>(g.first + k)] = placed + static_cast<quint32>(k);
        odd.insert(odd.end(), static_cast<size_t>(g.count), oddGroup);
        oddGroup = !oddGroup;
        g.first = static_cast<int>(placed);
        placed += static_cast<quint32>(g.count);
        addCapped(out.wasted, g.wasted());
    }
    out.hits = hitsOf(std::move(place), false);
    // Stopped while the records were read again: no groups without their copies.
    if (m_stop)
        return {std::make_shared<SearchHits>(), {}, 0};
    out.hits->setOddGroups(std::move(odd));
    return out;
}

DuplicateFinder::SingleCopies DuplicateFinder::singleCopies(const TreeNode *scope, const TreeNode *root)
{
    clear();
    std::vector<TCD> inScope, all;
    collect(scope, inScope);
    collect(root, all);
    // The discs in scope first; of the others only files of a size found there can be copies.
    read(inScope, nullptr);
    const quint32 scopeDiscs = static_cast<quint32>(m_discs.size());
    std::vector<qint64> sizes;
    sizes.reserve(m_entries.size());
    for (const Entry *e = m_entries.begin(); e != m_entries.end(); ++e)
        sizes.push_back(e->size);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    read(all, &sizes);
    std::vector<qint64>().swap(sizes);
    SingleCopies out;
    out.hits = std::make_shared<SearchHits>();
    if (m_stop)
        return out;
    // Whether a file is lost with its disc is asked of the rule itself, file against file, not
    // of the identities the duplicates are grouped by: those choose one side where the rule,
    // not transitive, holds both ways. Among the files of one size, a file with a checksum has a
    // copy in a file of another disc with the same checksum, or without one and of the same name
    // and date; a file without a checksum in any file of another disc of its name and date.
    sortOnTwoCores(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) { return a.size < b.size; });
    using Keyed = std::vector<std::pair<quint64, quint32>>; // (checksum or name, disc), sorted
    const auto elsewhere = [](const Keyed &keyed, quint64 key, quint32 disc) {
        const auto [first, last] = std::equal_range(keyed.begin(), keyed.end(), std::make_pair(key, quint32(0)),
                                                    [](const auto &a, const auto &b) { return a.first < b.first; });
        return first != last && (first->second != disc || std::prev(last)->second != disc);
    };
    Keyed sums, plainNames, names;
    std::vector<quint32> place(m_entries.size(), NotWanted);
    for (size_t i = 0; i < m_entries.size();) {
        size_t j = i + 1;
        while (j < m_entries.size() && m_entries[j].size == m_entries[i].size)
            ++j;
        sums.clear();
        plainNames.clear();
        names.clear();
        for (size_t k = i; k < j && j - i > 1; ++k) {
            const Entry &e = m_entries[k];
            (e.sum ? sums : plainNames).emplace_back(e.sum ? e.sum : e.name, e.disc);
            names.emplace_back(e.name, e.disc);
        }
        for (Keyed *keyed : {&sums, &plainNames, &names})
            std::sort(keyed->begin(), keyed->end());
        for (size_t k = i; k < j; ++k) {
            const Entry &e = m_entries[k];
            if (e.disc >= scopeDiscs)
                continue;
            const bool copied = e.sum ? elsewhere(sums, e.sum, e.disc) || elsewhere(plainNames, e.name, e.disc)
                                      : elsewhere(names, e.name, e.disc);
            if (!copied) {
                place[k] = 0;
                addCapped(out.bytes, e.size);
            }
        }
        i = j;
        tick();
        if (m_stop) {
            out.bytes = 0;
            return out;
        }
    }
    // Listed by disc in tree order, then in list order: the order the discs are read in.
    out.hits = hitsOf(std::move(place), true);
    if (m_stop)
        out.bytes = 0;
    return out;
}
