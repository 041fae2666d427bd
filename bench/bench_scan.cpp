// Scans a generated tree of many files with every reader filter off and compares the time
// with `find ROOT -printf '%s %T@ %p\n'` over the same tree, both writing to files and both
// with the tree in the page cache. Then adds the tree as a disc with quillory-cli add-disc,
// end to end (scan, pack, tree), against the same find.
//
//   bench_scan [FILES]   (default 200000; the tree is kept under /tmp/quillory-bench)
//   bench_scan FOLDER    measures an existing tree instead

#include "BenchData.h"
#include "acquire/Scanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

static bool makeTree(const QString &root, int files)
{
    // 20 top folders of 10 folders each; the files spread evenly, names of varied length.
    const int leaves = 200;
    const int perLeaf = (files + leaves - 1) / leaves;
    int made = 0;
    for (int t = 0; t < 20 && made < files; ++t) {
        for (int s = 0; s < 10 && made < files; ++s) {
            const QString dir = QStringLiteral("%1/top%2/sub folder %3/").arg(root).arg(t).arg(s);
            if (!QDir().mkpath(dir))
                return false;
            const QByteArray base = QFile::encodeName(dir);
            for (int f = 0; f < perLeaf && made < files; ++f, ++made) {
                const QByteArray name = base + "file_" + QByteArray::number(made) + QByteArray(made % 17, 'x') + ".dat";
                const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0)
                    return false;
                const QByteArray body(made % 64, 'b');
                if (::write(fd, body.constData(), static_cast<size_t>(body.size())) != body.size()) {
                    ::close(fd);
                    return false;
                }
                ::close(fd);
            }
        }
    }
    return true;
}

static qint64 timeFind(const QString &root, const QString &out)
{
    QElapsedTimer t;
    QProcess p;
    p.setStandardOutputFile(out);
    t.start();
    p.start(QStringLiteral("find"), {root, QStringLiteral("-printf"), QStringLiteral("%s %T@ %p\\n")});
    p.waitForFinished(-1);
    return t.nsecsElapsed();
}

static qint64 timeScan(const QString &root, const QString &outFolder, quint64 *total)
{
    const ScanOptions options; // no readers: the walk alone
    QElapsedTimer t;
    t.start();
    QFile files(outFolder + QLatin1String("/scan.file")), folders(outFolder + QLatin1String("/scan.dir"));
    files.open(QIODevice::WriteOnly | QIODevice::Truncate);
    folders.open(QIODevice::WriteOnly | QIODevice::Truncate);
    Scanner scanner(options, &files, &folders);
    *total = scanner.Scan(root);
    files.close();
    folders.close();
    return t.nsecsElapsed();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString arg = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const bool given = !arg.isEmpty() && QFileInfo(arg).isDir();
    const int count = given ? 0 : (arg.isEmpty() ? 200000 : arg.toInt());
    QTemporaryDir dir(QStringLiteral("/tmp/quillory-bench-scan-XXXXXX"));
    const QString root = given ? arg : BenchData::dataRoot() + QStringLiteral("tree-%1").arg(count);
    if (!given && !QFileInfo::exists(root + QLatin1String("/complete"))) {
        std::printf("generating %d files...\n", count);
        std::fflush(stdout);
        QDir(root).removeRecursively();
        if (!makeTree(root, count) || !QFile(root + QLatin1String("/complete")).open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot generate the tree\n");
            return 1;
        }
    }
    const QString out = dir.path();
    // Warm the page cache for both.
    timeFind(root, out + QLatin1String("/find.txt"));
    quint64 total = 0;
    timeScan(root, out, &total);

    qint64 bestFind = std::numeric_limits<qint64>::max(), bestScan = bestFind;
    for (int round = 0; round < 3; ++round) {
        bestFind = qMin(bestFind, timeFind(root, out + QLatin1String("/find.txt")));
        bestScan = qMin(bestScan, timeScan(root, out, &total));
    }
    if (given)
        std::printf("tree: %s, ", qPrintable(root));
    else
        std::printf("files: %d, ", count);
    std::printf("catalogued bytes: %llu\n", static_cast<unsigned long long>(total));

    // add-disc end to end, into a catalogue of its own each time.
    const QString cli = BenchData::cli();
    const QString data = out + QLatin1String("/catalogue");
    const double addDisc = BenchData::bestOf(
        5,
        [&] {
            BenchData::run(cli,
                           {QStringLiteral("--data"), data, QStringLiteral("add-disc"), root, QStringLiteral("--title"),
                            QStringLiteral("Bench"), QStringLiteral("--serial"), QStringLiteral("1234ABCD")});
        },
        [&] { QDir(data).removeRecursively(); });
    const double find = BenchData::bestOf(5, [&] {
        BenchData::run(QStringLiteral("find"), {root, QStringLiteral("-printf"), QStringLiteral("%s %T@ %p\\n")},
                       QString(), out + QLatin1String("/find.txt"));
    });
    BenchData::row("scan alone (Scanner)", bestScan / 1e6, "find -printf", bestFind / 1e6, 1.1);
    BenchData::row("add-disc (quillory-cli add-disc)", addDisc, "find -printf", find, 1.1);
    return 0;
}
