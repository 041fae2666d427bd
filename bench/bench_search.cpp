// Searches a generated catalogue of many discs for a name that only two files carry.
//   bench_search [DISCS [FILES_PER_DISC [FOLDER [CLI]]]]
// Defaults: 1000 discs of 10000 files (ten million files), under /tmp/quillory-bench-search,
// the command-line program found beside this one's folder. The catalogue is made once and
// kept for the next run. Prints, each the best of several runs:
//   - decompressing every contents file alone (the baseline),
//   - a cold search (every disc unpacked, no name index), as a ratio to the baseline, and the
//     same while the name index is made,
//   - a warm search in the same engine (the window's second search),
//   - a warm search by a fresh quillory-cli process, whole (start, tree, search, output).

#include "browser/SearchHits.h"
#include "search/NameIndex.h"
#include "search/SearchEngine.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsFile.h"
#include "store/ContentsListWriter.h"
#include "store/GroupTree.h"
#include "store/TreeFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace
{

double ms(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

QString serialOf(int disc)
{
    return u"%1"_s.arg(0x10000000 + disc, 8, 16, QChar(u'0')).toUpper();
}

// One disc: 100 folders of files with names like "track 0042 - artist 17.mp3"; the needle is
// in the middle of the catalogue's first and last disc.
void writeDisc(const QString &db, int disc, int discs, int files)
{
    static const char *const exts[] = {".mp3", ".jpg", ".txt", ".html", ".png", ".ogg", ".doc", ".zip", ".avi", ".h"};
    static const char *const words[] = {"track", "photo",  "notes",  "index", "image",
                                        "song",  "letter", "backup", "clip",  "code"};
    QByteArray fileList, folderList;
    QBuffer fb(&fileList), db2(&folderList);
    fb.open(QIODevice::WriteOnly);
    db2.open(QIODevice::WriteOnly);
    ContentsListWriter fw(&fb), dw(&db2);
    const QByteArray date =
        CatalogueLocale()
            .formatListDate(QDateTime(QDate(2020, 1 + disc % 12, 1 + disc % 28), QTime(10, disc % 60)))
            .toUtf8();
    const int folders = 100;
    const int perFolder = (files + folders - 1) / folders;
    int written = 0;
    for (int f = 0; f < folders && written < files; ++f) {
        const QByteArray folderName = "folder " + QByteArray::number(f);
        dw.writeScannedFolder(folderName, "\\", 0, date);
        const QByteArray folder = ContentsListWriter::folderLine("\\", folderName);
        for (int i = 0; i < perFolder && written < files; ++i, ++written) {
            const int k = (written * 7 + disc) % 10;
            QByteArray name = QByteArray(words[k]) + ' ' + QByteArray::number(written) + " - artist " +
                              QByteArray::number(disc % 97) + exts[k];
            if ((disc == 0 || disc == discs - 1) && written == files / 2)
                name = "Needle in the haystack.txt";
            fw.writeScannedFile(name, folder, 1000 + written, date);
        }
    }
    fw.flush();
    dw.flush();
    ContentsFile::packBytes(db, serialOf(disc), folderList, fileList);
}

void makeCatalogue(const QString &data, int discs, int files)
{
    const QString db = data + u"DB/"_s;
    QDir(data).removeRecursively();
    QDir().mkpath(db);
    GroupTree tree;
    TreeNode *root = tree.addChild(tree.top(), u"Bench"_s, KindRoot);
    TreeNode *group = nullptr;
    QElapsedTimer t;
    t.start();
    for (int d = 0; d < discs; ++d) {
        if (d % 100 == 0)
            group = tree.addChild(root, u"Shelf %1"_s.arg(d / 100), KindGroup);
        writeDisc(db, d, discs, files);
        TCD cd;
        cd.Title = u"Disc %1"_s.arg(d);
        cd.Serial = serialOf(d);
        cd.FileSystem = u"CDFS"_s;
        cd.Date = u"x"_s;
        tree.addDisc(group, cd);
        if (d % 50 == 49)
            std::fprintf(stderr, "  %d discs written (%.0f s)\n", d + 1, ms(t) / 1000);
    }
    SaveTree(tree, db);
    QFile marker(data + u"made"_s);
    marker.open(QIODevice::WriteOnly);
    marker.write(QByteArray::number(discs) + ' ' + QByteArray::number(files));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int discs = argc > 1 ? std::max(2, atoi(argv[1])) : 1000;
    const int files = argc > 2 ? std::max(100, atoi(argv[2])) : 10000;
    const QString data = (argc > 3 ? QString::fromLocal8Bit(argv[3]) : u"/tmp/quillory-bench-search"_s) + u'/';
    const QString cli =
        argc > 4 ? QString::fromLocal8Bit(argv[4]) : QCoreApplication::applicationDirPath() + u"/../quillory-cli"_s;
    const QString db = data + u"DB/"_s;
    const QString cache = data + u"cache/"_s;
    const int runs = 5;

    QFile marker(data + u"made"_s);
    const QByteArray wanted = QByteArray::number(discs) + ' ' + QByteArray::number(files);
    if (!marker.open(QIODevice::ReadOnly) || marker.readAll() != wanted) {
        std::fprintf(stderr, "making %d discs of %d files in %s\n", discs, files, qPrintable(data));
        makeCatalogue(data, discs, files);
    }
    GroupTree tree;
    LoadTree(
        tree, db, [](const QString &) {}, TreeWrite::Never);
    qint64 packed = 0;
    for (int d = 0; d < discs; ++d)
        packed += QFileInfo(ContentsFile::contentsFileName(db, serialOf(d))).size();
    std::printf("catalogue: %d discs, %lld files, contents files %.1f MB\n", discs, qint64(discs) * files,
                packed / 1e6);

    SearchCriteria c;
    c.mask = u"needle"_s;
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
            const ContentsFile::Lists l = ContentsFile::read(db, serialOf(d));
            unpacked += l.fileList.size() + l.folderList.size();
        }
        decompress = std::min(decompress, ms(t));
        t.start();
        for (int d = 0; d < discs; ++d)
            ContentsFile::load(db, serialOf(d));
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
        const ContentsFile::Lists l = ContentsFile::read(db, serialOf(d));
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

    if (QFileInfo(cli).isExecutable()) {
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
    } else {
        std::printf("no quillory-cli at %s: fresh-process time not measured\n", qPrintable(cli));
    }
    return 0;
}
