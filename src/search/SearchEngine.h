#pragma once

#include "DiscNames.h"
#include "SearchTests.h"

#include "store/ContentsFile.h"
#include "store/TCD.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class NameIndex;
class SearchHits;
class TreeNode;

// One search of the catalogue, run on the caller's thread: a disc (FindOnCD), a group with
// every disc below it (Find), in tree order, each disc's folders and then its files in list
// order. Hits go to hits() with their counts. The engine does not yield per record: it calls
// the progress callback after every ProgressMs of work (the window runs its events there and
// may call stop()), which keeps Stop and the live count prompt at a bounded cost.
//
// Each disc is decided from its DiscNames, taken from the name index when it still matches
// the contents file and made from the unpacked lists (then saved) otherwise; the records of
// the hits are read from the lists. Without an index every disc is unpacked.
class SearchEngine
{
public:
    static constexpr int ProgressMs = 20;

    SearchEngine(const QString &dbFolder, const SearchCriteria &criteria, NameIndex *index = nullptr);
    ~SearchEngine();

    void setProgress(std::function<void()> progress) { m_progress = std::move(progress); }
    // Before each disc (the window shows its title).
    void setDiscStarted(std::function<void(const TCD &)> started) { m_discStarted = std::move(started); }

    // A disc node: that disc; any other: Find. Throws QuilloryError for an invalid mask.
    void search(const TreeNode *node);
    void Find(const TreeNode *group);
    void FindOnCD(const TCD &cd);

    // StopSearch: the search ends at its next record.
    void stop() { m_stop = true; }
    bool isStopped() const { return m_stop; }
    // The list stopped at the criteria's limit: more may have matched.
    bool limitReached() const { return m_limitReached; }

    int foundDirs() const { return m_dirs; }
    int foundFiles() const { return m_files; }
    qint64 foundSize() const { return m_size; }
    std::shared_ptr<SearchHits> hits() const { return m_hits; }
    // One line for each disc that could not be searched (contents file missing or damaged).
    QStringList problems() const { return m_problems; }
    // Discs whose index turned out not to describe their lists (searched again from the lists).
    int staleDiscs() const { return m_stale; }

private:
    struct Disc;
    class Stale;
    void walk(Disc &d);
    void walkSection(Disc &d, bool folders, int cut);
    // nameMatched: the name is known to pass MatchName (a plain substring found in the block).
    void test(Disc &d, bool folders, int record, bool nameMatched);
    void addHit(Disc &d, bool folders, int record);
    void tick();
    void collect(const TreeNode *group);
    void run();
    void searchDisc(const TCD &cd);

    QString m_db;
    SearchTests m_tests;
    // Discs a date that does not read cut short for a date search, told once at the end.
    int m_dateCuts = 0;
    QString m_firstDateCut;
    NameIndex *m_index;
    std::shared_ptr<SearchHits> m_hits;
    std::function<void()> m_progress;
    std::function<void(const TCD &)> m_discStarted;
    QElapsedTimer m_clock;
    unsigned m_ticks = 0;
    bool m_stop = false;
    bool m_limitReached = false;
    int m_dirs = 0;
    int m_files = 0;
    qint64 m_size = 0;
    QStringList m_problems;
    // The scope's discs in search order.
    std::vector<TCD> m_order;
    int m_stale = 0;
};
