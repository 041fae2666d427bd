// Searches a generated catalogue of many discs (BenchData's) for a name that only two carry.
//   bench_search [DISCS [FILES_PER_DISC]]
// Defaults: 1000 discs of 10000 files (ten million files), made once under /tmp/quillory-bench
// and kept for the next run; quillory-cli of the same build. Prints, each the best of several
// runs:
//   - decompressing every contents file alone (the baseline),
//   - a cold search (every disc unpacked, no name index), as a ratio to the baseline, and the
//     same while the name index is made,
//   - a warm search in the same engine (the window's second search),
//   - a warm search by a fresh quillory-cli process, whole (start, tree, search, output).

#include "BenchData.h"
#include "listing/SearchHits.h"
#include "search/NameIndex.h"
#include "search/SearchEngine.h"
#include "store/ContentsFile.h"
#include "store/GroupTree.h"
#include "store/TreeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace
{

double ms(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int discs = argc > 1 ? std::max(2, atoi(argv[1])) : 1000;
    const int files = argc > 2 ? std::max(100, atoi(argv[2])) : 10000;
    const QString data = BenchData::catalogue(u"search-%1x%2"_s.arg(discs).arg(files), discs, files, discs);
    const QString cli = BenchData::cli();
    const QString db = DataPaths::dbFolder(data);
    const QString cache = data + u"cache/"_s;
    const int runs = 5;
    // Folders are named "ALBUM n", n running from a disc's number up by one a folder: the
    // second highest n names one folder on each of the last two discs.
    const int highest = discs - 1 + (files + 49) / 50 - 1;

    GroupTree tree;
    LoadTree(
        tree, db, [](const QString &) {}, TreeWrite::Never);
    qint64 packed = 0;
    for (int d = 0; d < discs; ++d)
        packed += QFileInfo(ContentsFile::contentsFileName(db, BenchData::serialOf(d))).size();
    std::printf("catalogue: %d discs, %lld files, contents files %.1f MB\n", discs, qint64(discs) * files,
                packed / 1e6);

    SearchCriteria c;
    c.mask = u"album %1"_s.arg(highest - 1);
    auto once = [&](NameIndex *index, int *found) {
        QElapsedTimer t;
        t.start();
        SearchEngine engine(db, c, index);
        engine.search(tree.root());
        if (found)
            *found = engine.hits()->count();
        return ms(t);
    };

    // The baseline and the cold search take turns, so a busy moment of the machine falls on both.
    double decompress = 1e300, parse = 1e300, cold = 1e300, written = 0;
    qint64 unpacked = 0;
    int found = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        unpacked = 0;
        for (int d = 0; d < discs; ++d) {
            const ContentsFile::Lists l = ContentsFile::read(db, BenchData::serialOf(d));
            unpacked += l.fileList.size() + l.folderList.size();
        }
        decompress = std::min(decompress, ms(t));
        t.start();
        for (int d = 0; d < discs; ++d)
            ContentsFile::load(db, BenchData::serialOf(d));
        parse = std::min(parse, ms(t));
        QDir(cache).removeRecursively();
        NameIndex index(db, NameIndex::DefaultMaxBytes, cache);
        const double search = once(&index, &found);
        if (search < cold) {
            cold = search;
            t.start();
            index.flush();
            written = ms(t);
        } else {
            index.flush();
        }
    }
    std::printf("decompress every contents file alone: %.0f ms (%.1f MB of lists)\n", decompress, unpacked / 1e6);
    std::printf("unpack and parse every disc (ContentsFile::load), for comparison: %.0f ms = %.2f x decompress\n",
                parse, parse / decompress);
    std::printf("cold search, nothing cached (unpack, make the name index, search): %.0f ms = %.2f x "
                "decompress (%d found)\n",
                cold, cold / decompress, found);
    std::printf("  its index files written behind it, done %.0f ms after it ended (%.1f MB)\n", written, [&] {
        qint64 total = 0;
        QDirIterator it(cache, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            total += it.nextFileInfo().size();
        return total / 1e6;
    }());
    // What the index costs to make, apart from the unpacking it follows.
    double scanning = 0;
    for (int d = 0; d < discs; ++d) {
        const ContentsFile::Lists l = ContentsFile::read(db, BenchData::serialOf(d));
        QElapsedTimer t;
        t.start();
        DiscNames::scan(l.folderList, l.fileList, {});
        scanning += ms(t);
    }
    std::printf("  of which making the names from the unpacked lists, alone (once): %.0f ms = %.2f x decompress\n",
                scanning, scanning / decompress);
    const double plain = once(nullptr, nullptr);
    std::printf("plain walk over the parsed lists, the tests' reference (once): %.0f ms\n", plain);

    NameIndex index(db, NameIndex::DefaultMaxBytes, cache);
    once(&index, nullptr);
    double warm = 1e300;
    for (int r = 0; r < runs * 3; ++r)
        warm = std::min(warm, once(&index, &found));
    std::printf("warm search, same engine: %.1f ms (%d found)\n", warm, found);

    {
        double fresh = 1e300;
        QByteArray out, err;
        for (int r = 0; r < runs * 3; ++r) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"XDG_CACHE_HOME"_s, data + u"xdg-cache"_s);
            p.setProcessEnvironment(env);
            QElapsedTimer t;
            t.start();
            p.start(cli, {u"--data"_s, data, u"search"_s, c.mask});
            p.waitForFinished(-1);
            const double elapsed = ms(t);
            if (r > 0) // the first run makes the program's own index
                fresh = std::min(fresh, elapsed);
            out = p.readAllStandardOutput();
            err = p.readAllStandardError();
        }
        QElapsedTimer t;
        double start = 1e300;
        for (int r = 0; r < runs * 3; ++r) {
            QProcess p;
            t.start();
            p.start(cli, {u"--data"_s, data, u"tree"_s});
            p.waitForFinished(-1);
            start = std::min(start, ms(t));
        }
        std::printf("warm search, fresh quillory-cli process: %.1f ms (of which start and tree: %.1f ms); %s", fresh,
                    start, err.constData());
        std::fputs(out.constData(), stdout);
    }
    return 0;
}
