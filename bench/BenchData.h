#pragma once

// What the benchmarks share: generated discs and catalogues (under /tmp, reused between runs),
// the best of several timings, and the standard tools run in the same run as the floor.

#include "store/CatalogueLocale.h"
#include "store/ContentsFile.h"
#include "store/ContentsListWriter.h"
#include "store/DataPaths.h"
#include "store/RecordScanner.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace BenchData
{

// Where generated data is kept between runs.
inline QString dataRoot()
{
    const QString root = QStringLiteral("/tmp/quillory-bench/");
    QDir().mkpath(root);
    return root;
}

// The lists of a disc laid out like a large collection: folders of 50 files, three levels
// deep, with the extra lines the scanner writes for music and pictures, through the
// catalogue's writer. seed varies names and sizes between discs.
inline void discLists(int files, QByteArray &folderList, QByteArray &fileList, int seed = 0)
{
    folderList.clear();
    fileList.clear();
    QBuffer folderBuffer(&folderList), fileBuffer(&fileList);
    folderBuffer.open(QIODevice::WriteOnly);
    fileBuffer.open(QIODevice::WriteOnly);
    ContentsListWriter folderWriter(&folderBuffer), fileWriter(&fileBuffer);
    const int perFolder = 50;
    const int folders = (files + perFolder - 1) / perFolder;
    int made = 0;
    for (int f = 0; f < folders; ++f) {
        const QString parent = QStringLiteral("\\ARCHIVE%1\\SET%2\\").arg(f / 400).arg(f / 20);
        const QString album = QStringLiteral("ALBUM %1").arg(f + seed);
        const QString folder = parent + album + u'\\';
        for (int i = 0; i < perFolder && made < files; ++i, ++made) {
            const bool music = i % 3 == 0;
            const QString date = QStringLiteral("0%1.0%1.2004 1%2:2%2:00").arg(1 + made % 9).arg(made % 10);
            const QStringList extras = music
                                           ? QStringList{QStringLiteral("Artist: Band %1").arg((f + seed) % 97),
                                                         QStringLiteral("Duration: 00:03:%1").arg(10 + i % 50),
                                                         QStringLiteral("Bit rate: CBR 192kbps")}
                                           : QStringList{QStringLiteral("Width: 1600"), QStringLiteral("Height:1200")};
            fileWriter.writeFileRecord((music ? QStringLiteral("Track %1.mp3") : QStringLiteral("Photo_%1.jpg")).arg(i),
                                       folder, quint64(1000 + ((made + seed) * 7919LL) % 9000000), date, extras);
        }
        folderWriter.writeFolderRecord(album, parent, 123456789, QStringLiteral("01.01.2004 12:00:00"));
    }
    folderWriter.flush();
    fileWriter.flush();
}

inline QString serialOf(int disc)
{
    return QStringLiteral("%1")
        .arg(0x10000000u + static_cast<uint>(disc) * 2654435761u % 0xEFFFFFFFu, 8, 16, QLatin1Char('0'))
        .toUpper();
}

// A catalogue of `discs` discs in groups of 50, each disc with its own contents file of
// filesPerDisc files, in dataRoot()/name; made once and reused (a marker says it is complete).
// When distinct is less than discs, only that many contents files are packed and the rest
// are copies (the tree's start-up does not read them).
inline QString catalogue(const QString &name, int discs, int filesPerDisc, int distinct)
{
    const QString data = dataRoot() + name + u'/';
    const QString marker = data + QStringLiteral("complete");
    if (QFileInfo::exists(marker))
        return data;
    QDir(data).removeRecursively();
    const QString db = DataPaths::dbFolder(data);
    QDir().mkpath(db);
    std::printf("generating %d discs in %s...\n", discs, qPrintable(data));
    std::fflush(stdout);
    QStringList tree{QStringLiteral("My Collection")};
    const QString date = CatalogueLocale().formatDateTime(QDateTime(QDate(2024, 6, 1), QTime(12, 0)));
    QByteArray folderList, fileList;
    for (int d = 0; d < discs; ++d) {
        const QString serial = serialOf(d);
        if (d < distinct) {
            discLists(filesPerDisc, folderList, fileList, d);
            ContentsFile::packBytes(db, serial, folderList, fileList);
        } else if (!QFile::copy(ContentsFile::contentsFileName(db, serialOf(d % distinct)),
                                ContentsFile::contentsFileName(db, serial))) {
            qFatal("cannot copy a contents file");
        }
        if (d % 50 == 0)
            tree.append(QStringLiteral("\tGroup %1").arg(d / 50));
        tree.append(QStringLiteral("\t\tDisc %1|DISC_%1|%2|UDF|%3|A description|Music|%4|%5|")
                        .arg(d)
                        .arg(serial)
                        .arg(4700000000LL - d)
                        .arg(d + 1)
                        .arg(date));
    }
    QFile treeFile(db + QStringLiteral("groups.tree"));
    if (!treeFile.open(QIODevice::WriteOnly) || treeFile.write(tree.join(QStringLiteral("\r\n")).toUtf8() + "\r\n") < 0)
        qFatal("cannot write the tree");
    treeFile.close();
    QFile(marker).open(QIODevice::WriteOnly);
    return data;
}

// A disc shaped like a real one rather than the tidy disc above: folders up to fifteen deep,
// paths of about 100 characters (about 160 bytes of list text a file), a third of the names
// beyond ASCII, and its records either grouped by folder (as a scan writes them) or shuffled
// (an imported catalogue, a list written elsewhere). Made once in dataRoot() as a catalogue of
// that one disc, so quillory-cli can list it too.
struct DeepDisc {
    QString data; // the data folder
    QString db;   // its DB folder
    QString serial;
    QString largest; // the path of its largest folder
    int files = 0;
    qint64 textBytes = 0; // both lists
};

inline DeepDisc deepDisc(int files, bool shuffled)
{
    DeepDisc disc;
    disc.data = dataRoot() + QStringLiteral("deep-%1-%2/").arg(files).arg(shuffled ? "shuffled" : "sorted");
    disc.db = DataPaths::dbFolder(disc.data);
    disc.serial = QStringLiteral("DEE9D15C");
    disc.files = files;
    QFile marker(disc.data + QStringLiteral("complete"));
    if (marker.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = marker.readAll().split('\n');
        if (lines.size() >= 2) {
            disc.largest = QString::fromUtf8(lines[0]);
            disc.textBytes = lines[1].toLongLong();
            return disc;
        }
    }
    QDir(disc.data).removeRecursively();
    QDir().mkpath(disc.db);
    std::printf("generating a %d-file disc, %s, in %s...\n", files, shuffled ? "shuffled" : "sorted by folder",
                qPrintable(disc.data));
    std::fflush(stdout);

    std::mt19937 rng(26);
    const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    static const char16_t *const ascii[] = {u"Music",     u"Photos", u"Holiday", u"Archive", u"Projects",
                                            u"Documents", u"Backup", u"Season",  u"Concert", u"Scans"};
    static const char16_t *const wider[] = {u"Müsik",    u"Фотографии", u"Été",  u"Ångström", u"日本の写真",
                                            u"Ελληνικά", u"Größe",      u"Café", u"Łódź",     u"Ñandú"};
    // A third of the names beyond ASCII.
    const auto word = [&](int i) { return QString::fromUtf16(i % 3 == 0 ? wider[pick(10)] : ascii[pick(10)]); };

    // Folders at every depth from 1 to 15 alike, each under a folder one level up.
    const int folderCount = std::max(2, files / 50);
    std::vector<QString> paths{QStringLiteral("\\")};
    std::vector<QString> names{QString()};
    std::vector<int> parents{-1};
    std::vector<std::vector<int>> atDepth(16);
    atDepth[0].push_back(0);
    for (int i = 1; i < folderCount; ++i) {
        int depth = 1 + pick(15);
        while (atDepth[depth - 1].empty())
            --depth;
        const int parent = atDepth[depth - 1][pick(int(atDepth[depth - 1].size()))];
        names.push_back(QStringLiteral("%1 %2").arg(word(i)).arg(i));
        paths.push_back(paths[parent] + names.back() + u'\\');
        parents.push_back(parent);
        atDepth[depth].push_back(i);
    }
    // The largest folder: a fiftieth of the files, deep down.
    const int largest = atDepth[12].empty() ? folderCount - 1 : atDepth[12].front();
    disc.largest = paths[largest];
    std::vector<int> count(paths.size(), 0);
    count[largest] = files / 50;
    for (int made = count[largest]; made < files; ++made)
        ++count[1 + pick(folderCount - 1)];

    // Folders in order of their paths, each one's files together.
    std::vector<int> order(paths.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return paths[a] < paths[b]; });
    static const char *const exts[] = {".mp3", ".jpg", ".txt", ".html", ".png", ".ogg", ".doc", ".flac", ".c", ".pdf"};
    QByteArray folderList, fileList;
    {
        QBuffer folderBuffer(&folderList), fileBuffer(&fileList);
        folderBuffer.open(QIODevice::WriteOnly);
        fileBuffer.open(QIODevice::WriteOnly);
        ContentsListWriter folderWriter(&folderBuffer), fileWriter(&fileBuffer);
        const QString date = QStringLiteral("14/06/2025 10:30:00");
        int n = 0;
        for (const int f : order) {
            if (f != 0)
                folderWriter.writeFolderRecord(names[f], paths[parents[f]], quint64(4096) * count[f], date);
            for (int i = 0; i < count[f]; ++i, ++n)
                fileWriter.writeFileRecord(
                    QStringLiteral("%1 %2%3").arg(word(n)).arg(n).arg(QLatin1String(exts[n % 10])), paths[f],
                    quint64(1000 + pick(9000000)), date);
        }
        folderWriter.flush();
        fileWriter.flush();
    }
    if (shuffled) {
        // The same records in another order, cut where the catalogue's reader cuts them.
        for (QByteArray *list : {&folderList, &fileList}) {
            std::vector<qsizetype> starts;
            RecordScanner scanner(list->constData());
            scanner.finish(list->size(), [&](const RecordScanner::Record &r) { starts.push_back(r.start); });
            starts.push_back(list->size());
            std::vector<int> perm(starts.size() - 1);
            for (size_t i = 0; i < perm.size(); ++i)
                perm[i] = int(i);
            std::shuffle(perm.begin(), perm.end(), rng);
            QByteArray mixed;
            mixed.reserve(list->size());
            for (const int r : perm)
                mixed.append(list->constData() + starts[size_t(r)], starts[size_t(r) + 1] - starts[size_t(r)]);
            *list = std::move(mixed);
        }
    }
    disc.textBytes = folderList.size() + fileList.size();
    ContentsFile::packBytes(disc.db, disc.serial, folderList, fileList);
    const QString date = CatalogueLocale().formatDateTime(QDateTime(QDate(2024, 6, 1), QTime(12, 0)));
    QFile treeFile(disc.db + QStringLiteral("groups.tree"));
    if (!treeFile.open(QIODevice::WriteOnly) ||
        treeFile.write(
            QStringLiteral("My Collection\r\n\tDeep Disc|DEEP|%1|UDF|4700000000|A description|Music|1|%2|\r\n")
                .arg(disc.serial, date)
                .toUtf8()) < 0)
        qFatal("cannot write the tree");
    treeFile.close();
    if (!marker.open(QIODevice::WriteOnly) ||
        marker.write(disc.largest.toUtf8() + '\n' + QByteArray::number(disc.textBytes) + '\n') < 0)
        qFatal("cannot write the marker");
    return disc;
}

inline double elapsedMs(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// The best of `rounds` timings of f, in milliseconds; prepare runs untimed before each.
inline double bestOf(int rounds, const std::function<void()> &f, const std::function<void()> &prepare = {})
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < rounds; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, elapsedMs(t));
    }
    return best;
}

// Runs a program to its end; a failure ends the benchmark.
inline void run(const QString &program, const QStringList &args, const QString &workDir = QString(),
                const QString &outputFile = QString())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.setStandardOutputFile(outputFile.isEmpty() ? QProcess::nullDevice() : outputFile);
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("%s %s failed: %s", qPrintable(program), qPrintable(args.join(u' ')),
               p.readAllStandardError().constData());
}

// quillory-cli of the same build: beside the benchmarks' folder. It runs with the first run's
// preferences, from a folder of this process's own: the user's (checksums on, a reader filter
// off) would have it do other work than the row names.
inline QString cli()
{
    static QTemporaryDir config(QDir::tempPath() + QStringLiteral("/quillory-bench-config-XXXXXX"));
    static const bool ownConfig = qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    Q_UNUSED(ownConfig);
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/../quillory-cli");
    if (!QFileInfo(path).isExecutable())
        qFatal("quillory-cli is not built beside %s", qPrintable(QCoreApplication::applicationDirPath()));
    return QFileInfo(path).canonicalFilePath();
}

// One row of the table: what is measured, ours, the floor, the ratio and its goal.
inline void row(const char *work, double ours, const char *floorName, double floor, double goal)
{
    std::printf("%-44s %9.1f ms  %-22s %9.1f ms  %6.2fx  (goal <= %.2fx)\n", work, ours, floorName, floor, ours / floor,
                goal);
    std::fflush(stdout);
}

} // namespace BenchData
