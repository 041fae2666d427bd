// Scans a generated tree of many files with every reader filter off and compares the time
// with `find ROOT -printf '%s %T@ %p\n'` over the same tree, both writing to files and both
// with the tree in the page cache. Then adds the tree as a disc with quillory-cli add-disc,
// end to end (scan, pack, tree), against the same find.
//
// With "checksums": add-disc --checksums of a 2 GB tree of mixed file sizes, warm against
// xxhsum -H2 over the same files, and cold (the page cache dropped before each run, where the
// machine lets it be) against cat of them to /dev/null.
//
//   bench_scan [FILES]   (default 200000; the tree is kept under /tmp/quillory-bench)
//   bench_scan FOLDER    measures an existing tree instead
//   bench_scan checksums

#include "BenchData.h"
#include "acquire/Scanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
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

// About 2 GB: a few large files, more middling ones, many small ones, each its own bytes.
static bool makeMixedTree(const QString &root)
{
    struct Kind {
        int count;
        qint64 bytes;
    };
    const Kind kinds[] = {{4, qint64(256) << 20}, {48, qint64(16) << 20}, {200, qint64(1) << 20}, {2000, 24 << 10},
                          {2000, 1 << 10}};
    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator random(28);
    random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    quint64 serial = 0;
    for (const Kind &k : kinds) {
        for (int i = 0; i < k.count; ++i) {
            const QString dir = QStringLiteral("%1/size %2/%3/").arg(root).arg(k.bytes).arg(i % 20);
            if (!QDir().mkpath(dir))
                return false;
            QFile f(dir + QStringLiteral("file %1.bin").arg(i));
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return false;
            for (qint64 left = k.bytes; left > 0; left -= block.size()) {
                std::memcpy(block.data(), &++serial, sizeof serial);
                if (f.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
                    return false;
            }
        }
    }
    return true;
}

static bool dropCaches()
{
    ::sync();
    QFile f(QStringLiteral("/proc/sys/vm/drop_caches"));
    return f.open(QIODevice::WriteOnly) && f.write("3\n") == 2;
}

static int checksumRows()
{
    const QString root = BenchData::dataRoot() + QStringLiteral("mixed-2GB");
    if (!QFileInfo::exists(root + QLatin1String("/complete"))) {
        std::printf("generating a 2 GB tree of mixed file sizes...\n");
        std::fflush(stdout);
        QDir(root).removeRecursively();
        if (!makeMixedTree(root) || !QFile(root + QLatin1String("/complete")).open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot generate the tree\n");
            return 1;
        }
    }
    QTemporaryDir dir(QStringLiteral("/tmp/quillory-bench-sums-XXXXXX"));
    const QString data = dir.path() + QLatin1String("/catalogue");
    const QString cli = BenchData::cli();
    const auto addDisc = [&] {
        BenchData::run(cli, {QStringLiteral("--data"), data, QStringLiteral("add-disc"), root, QStringLiteral("--title"),
                             QStringLiteral("Bench"), QStringLiteral("--serial"), QStringLiteral("1234ABCD"),
                             QStringLiteral("--checksums")});
    };
    const auto overFiles = [&](const QString &command) {
        return [&root, command] {
            BenchData::run(QStringLiteral("sh"),
                           {QStringLiteral("-c"), QStringLiteral("find \"$1\" -type f -name '*.bin' -print0 | xargs -0 ") +
                                                      command + QStringLiteral(" >/dev/null"),
                            QStringLiteral("sh"), root});
        };
    };
    const auto fresh = [&] { QDir(data).removeRecursively(); };
    overFiles(QStringLiteral("cat"))(); // warm
    const double warmOurs = BenchData::bestOf(3, addDisc, fresh);
    const double warmXxhsum = BenchData::bestOf(3, overFiles(QStringLiteral("xxhsum -H2")));
    BenchData::row("add-disc --checksums, 2 GB warm", warmOurs, "xxhsum -H2", warmXxhsum, 1.15);
    if (!dropCaches()) {
        std::printf("cold cache not available\n");
        return 0;
    }
    const double coldOurs = BenchData::bestOf(2, addDisc, [&] {
        fresh();
        dropCaches();
    });
    const double coldCat = BenchData::bestOf(2, overFiles(QStringLiteral("cat")), dropCaches);
    BenchData::row("add-disc --checksums, 2 GB cold", coldOurs, "cat > /dev/null", coldCat, 1.1);
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString arg = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (arg == QLatin1String("checksums"))
        return checksumRows();
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
