// Duplicates and single copies over the search's catalogue (BenchData's, ten million files),
// against its cold search in the same run.
//   bench_duplicates [DISCS [FILES_PER_DISC [RUNS]]]
// The discs of that catalogue share their sizes: each size is held by up to a thousand files on
// as many discs, every file is a candidate and nearly every one has a copy, so the whole answer
// is read back as well. Prints, each the best of RUNS (default 3), the runs taking turns:
//   - the cold search (nothing cached: unpack, make the name index, search),
//   - duplicates with nothing cached, and with the name index made, as ratios to it,
//   - the bytes the comparison held for each file, and the largest resident size of the process,
//   - single copies of one disc against the whole catalogue: every file compared, as for the
//     duplicates, but only 450 read back, so the comparison's own cost against the cold search,
//   - what this machine takes to write 1 GB of memory the process has not used before: the
//     answer of this catalogue is about that large, and its read-back pays this on top of the
//     copying.

#include "BenchData.h"
#include "listing/SearchHits.h"
#include "search/DuplicateFinder.h"
#include "search/NameIndex.h"
#include "search/SearchEngine.h"
#include "store/GroupTree.h"
#include "store/TreeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace
{
double peakResidentMB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

double firstWriteOfOneGB()
{
    const size_t bytes = size_t(1) << 30;
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::unique_ptr<char[]> memory;
    // Each round gets memory of its own, the last round's freed first.
    return BenchData::bestOf(
        3,
        [&] {
            volatile char *const p = memory.get(); // so that writes never read are still made
            for (size_t i = 0; i < bytes; i += page)
                p[i] = 1;
        },
        [&] {
            memory.reset();
            memory = std::make_unique_for_overwrite<char[]>(bytes);
        });
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int discs = argc > 1 ? std::max(2, atoi(argv[1])) : 1000;
    const int files = argc > 2 ? std::max(100, atoi(argv[2])) : 10000;
    const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    const QString data = BenchData::catalogue(u"search-%1x%2"_s.arg(discs).arg(files), discs, files, discs);
    const QString db = DataPaths::dbFolder(data);
    const QString cache = data + u"dup-cache/"_s;
    const qint64 total = qint64(discs) * files;

    GroupTree tree;
    LoadTree(
        tree, db, [](const QString &) {}, TreeWrite::Never);
    std::printf("catalogue: %d discs, %lld files\n", discs, total);

    SearchCriteria c;
    c.mask = u"album %1"_s.arg(discs - 1 + (files + 49) / 50 - 2);
    double search = 1e300, cold = 1e300, warm = 1e300;
    qint64 held = 0;
    size_t groups = 0;
    int copies = 0;
    for (int r = 0; r < runs; ++r) {
        QDir(cache).removeRecursively();
        {
            NameIndex index(db, NameIndex::DefaultMaxBytes, cache);
            search = std::min(search, BenchData::bestOf(1, [&] { SearchEngine(db, c, &index).search(tree.root()); }));
        }
        QDir(cache).removeRecursively();
        NameIndex index(db, NameIndex::DefaultMaxBytes, cache);
        cold = std::min(cold, BenchData::bestOf(1, [&] {
                            DuplicateFinder finder(db, 1, &index);
                            const DuplicateFinder::Duplicates d = finder.duplicates(tree.root());
                            held = finder.heldBytes();
                            groups = d.groups.size();
                            copies = d.hits->count();
                        }));
        index.flush();
        warm = std::min(warm, BenchData::bestOf(1, [&] {
                            DuplicateFinder finder(db, 1, &index);
                            finder.duplicates(tree.root());
                        }));
    }
    std::printf("%zu groups, %d copies\n", groups, copies);
    BenchData::row("duplicates, nothing cached", cold, "cold search", search, 2.0);
    BenchData::row("duplicates, name index made", warm, "cold search", search, 2.0);
    std::printf("comparison held %.1f bytes a file (goal <= 40); largest resident size of this process %.0f MB "
                "(%.1f bytes a file, the answer's %d copies included)\n",
                static_cast<double>(held) / static_cast<double>(total), peakResidentMB(),
                peakResidentMB() * 1048576.0 / static_cast<double>(total), copies);

    NameIndex index(db, NameIndex::DefaultMaxBytes, cache);
    const TreeNode *disc = tree.root()->child(0)->child(3);
    int single = 0;
    const double one = BenchData::bestOf(runs, [&] {
        DuplicateFinder finder(db, 1, &index);
        single = finder.singleCopies(disc, tree.root()).hits->count();
    });
    // The whole catalogue compared, a small answer read back: the comparison's own cost.
    BenchData::row("single copies of one disc, name index made", one, "cold search", search, 2.0);
    std::printf("  (%d files only on \"%s\")\n", single, qPrintable(disc->text()));
    std::printf("new memory: 1 GB first written in %.0f ms\n", firstWriteOfOneGB());
    QDir(cache).removeRecursively();
    return 0;
}
