#pragma once

#include "DiscNames.h"

#include "store/TCD.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

class NameIndex;
class SearchHits;
class TreeNode;

// Files of the catalogue that are the same: of equal size and checksum where both have one,
// otherwise of equal name (as the catalogue compares names: a-z folded), size and date text.
// That relation is not transitive once discs with and without checksums mix, so every file is
// given one identity: its checksum when it has one; without one, the checksum of the files
// with checksums that match it by name, size and date, when they all agree on it; otherwise
// its name and date. Files of one size and identity are copies of each other. Single copies are
// asked of the rule itself instead, which the identities would answer wrongly both ways.
//
// Discs are read like the search reads them (DiscNames, from the name index when it is fresh);
// a disc the index holds is unpacked only when it has checksums. The first pass keeps 32 bytes for each file at or over
// the size bound, and only then are the copies grouped; the records of the answer are read
// again, from the discs that hold them, only once it is known. Within one size, names and
// dates are compared by a 64-bit hash and checksums by their upper 64 bits: two different
// files of one size taken for copies is a chance of about 1 in 2^64 for each pair of them.
//
// Folders are no copies; an entry inside a ZIP archive is one (its contents come back from the
// archive), compared by name, size and date since it has no checksum. Files past a size that
// does not parse are left out, as the search leaves them.
class DuplicateFinder
{
public:
    enum class Rule { Checksum, NameSizeDate, Mixed };
    // "same checksum", "same name, size and date", or for a group of files with and without
    // checksums "same checksum, or name, size and date".
    static QString ruleText(Rule rule);

    struct Group {
        qint64 size = 0;
        Rule rule = Rule::Checksum;
        int first = 0; // the copies are hits first .. first + count - 1
        int count = 0;
        // Capped, as sparse files of exabytes could overflow it and sort last.
        qint64 wasted() const
        {
            qint64 w = 0;
            return __builtin_mul_overflow(size, qint64(count - 1), &w) ? std::numeric_limits<qint64>::max() : w;
        }
    };
    struct Duplicates {
        std::shared_ptr<SearchHits> hits; // the copies, group after group
        std::vector<Group> groups;        // most wasted bytes first
        qint64 wasted = 0;
        // "3 groups of duplicates, 7 files, 1.2 MB in copies beyond the first"
        QString summary() const;
    };
    struct SingleCopies {
        std::shared_ptr<SearchHits> hits; // by disc in tree order, then in list order
        qint64 bytes = 0;
        // "4 files on no other disc, total size 3.5 MB"
        QString summary() const;
    };

    // Files under minSize are not compared at all.
    DuplicateFinder(const QString &dbFolder, qint64 minSize, NameIndex *index = nullptr);
    ~DuplicateFinder();

    // Called after every few milliseconds of work; stop() there ends the work with no answer.
    void setProgress(std::function<void()> progress) { m_progress = std::move(progress); }
    // Each disc as it is read, in the first pass and again as the answer's records are read back.
    void setDiscStarted(std::function<void(const TCD &)> started) { m_discStarted = std::move(started); }
    // Once the copies are known: how many discs must be read again for their records.
    void setReadingBack(std::function<void(int discs)> started) { m_readingBack = std::move(started); }
    void stop() { m_stop = true; }
    bool isStopped() const { return m_stop; }

    // The copies among the discs under scope (a disc, a group or the root).
    Duplicates duplicates(const TreeNode *scope);
    // The files of the discs under scope that have no copy on any other disc under root (a
    // copy on the same disc is no other copy), by the rule itself, file against file.
    SingleCopies singleCopies(const TreeNode *scope, const TreeNode *root);

    // One line for each disc that could not be read, or whose checksums were not used.
    QStringList problems() const { return m_problems; }
    // Whether a disc could not be read, so that the answer lacks its files. Checksums not
    // used leave the answer whole, found by name, size and date.
    bool missedDiscs() const { return m_missedDiscs; }
    // The memory the first pass held at its largest, for the benchmark.
    qint64 heldBytes() const { return m_held; }

    // A file of the first pass: 32 bytes.
    struct Entry {
        qint64 size;
        quint64 sum;  // 64 bits of the checksum; 0: none
        quint64 name; // the name and date, hashed; then the identity
        quint32 disc;
        quint32 record; // the top bit: the identity is a checksum
    };

private:
    // The first pass's files, grown in place: an array this large is moved by the system's
    // remapping of pages, not copied beside itself, so it never needs twice its memory.
    class Entries
    {
    public:
        Entries() = default;
        Entries(const Entries &) = delete;
        Entries &operator=(const Entries &) = delete;
        ~Entries();
        void push_back(const Entry &e)
        {
            if (m_size == m_capacity)
                grow();
            m_data[m_size++] = e;
        }
        void clear();
        size_t size() const { return m_size; }
        size_t capacity() const { return m_capacity; }
        Entry *begin() { return m_data; }
        Entry *end() { return m_data + m_size; }
        Entry &operator[](size_t i) { return m_data[i]; }

    private:
        void grow();
        Entry *m_data = nullptr;
        size_t m_size = 0;
        size_t m_capacity = 0;
    };

    // Unpacks discs in the order they are wanted, the next one on a thread of its own while
    // the current one is worked on (as the search reads ahead).
    class ListsAhead;

    void clear();
    void collect(const TreeNode *node, std::vector<TCD> &discs) const;
    // Adds the discs to the order (each serial once), their files to the entries; with
    // onlySizes, only files of those sizes (sorted).
    void read(const std::vector<TCD> &discs, const std::vector<qint64> *onlySizes);
    void readDisc(quint32 disc, ListsAhead &lists, size_t at, const std::vector<qint64> *onlySizes);
    // Sorts the entries into runs of copies: by size, identity, disc and record.
    void group();
    // The hits of the entries with a place: place[k] is entry k's place in the answer, or
    // NotWanted; inReadOrder puts them by disc and record instead (place then only tells which).
    // The entries are let go once it is known which records are wanted.
    static constexpr quint32 NotWanted = 0xFFFFFFFFu;
    std::shared_ptr<SearchHits> hitsOf(std::vector<quint32> place, bool inReadOrder);
    void tick();

    QString m_db;
    qint64 m_minSize;
    NameIndex *m_index;
    std::function<void()> m_progress;
    std::function<void(const TCD &)> m_discStarted;
    std::function<void(int)> m_readingBack;
    QElapsedTimer m_clock;
    bool m_stop = false;
    QStringList m_problems;
    bool m_missedDiscs = false;
    std::vector<TCD> m_discs;
    std::vector<DiscNames::Stamp> m_stamps; // each disc's contents file as the first pass read it
    std::vector<int> m_fileCounts;          // and its file list's record count, for its checksums
    Entries m_entries;
    qint64 m_held = 0;
};
