// Packs and unpacks the two lists of a generated disc of one million files, and does the
// same work with the standard tools in the same run: "gcab -c -z" for packing and
// "cabextract" for unpacking. Prints each time and the ratio ours / tool.
//
//   bench_cabinet [files]     (default 1000000)

#include "BenchData.h"
#include "cabinet/TSTCabReader.h"
#include "store/ContentsFile.h"
#include "store/ContentsListWriter.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace
{

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

double runTool(const QString &program, const QStringList &args, const QString &workDir)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return t.nsecsElapsed() / 1e6;
}

template <typename F> double timed(F f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 1000000;
    QTemporaryDir tmp;
    const QString db = tmp.path() + QStringLiteral("/DB/");
    const QString tools = tmp.path() + QStringLiteral("/tools/");
    QDir().mkpath(db);
    QDir().mkpath(tools);
    const QString serial = QStringLiteral("1A2B3C4D");

    QByteArray folderList, fileList;
    BenchData::discLists(files, folderList, fileList);
    std::printf("disc: %d files, file list %.1f MB, folder list %.1f MB\n", files, fileList.size() / 1e6,
                folderList.size() / 1e6);

    // Packing: the lists as files on disk, into one MSZIP cabinet.
    writeFile(ContentsFile::folderListName(db, serial), folderList);
    writeFile(ContentsFile::fileListName(db, serial), fileList);
    const QString toolDir = ContentsFile::folderListName(tools, serial);
    const QString toolFile = ContentsFile::fileListName(tools, serial);
    writeFile(toolDir, folderList);
    writeFile(toolFile, fileList);
    const double packOurs = timed([&] { ContentsFile::pack(db, serial); });
    const double packGcab =
        runTool(QStringLiteral("gcab"),
                {QStringLiteral("-c"), QStringLiteral("-z"), QStringLiteral("-n"), QStringLiteral("tool.cab"),
                 QFileInfo(toolDir).fileName(), QFileInfo(toolFile).fileName()},
                tools);
    const double packBytes = timed([&] { ContentsFile::packBytes(db, serial, folderList, fileList); });
    const QString ours = ContentsFile::contentsFileName(db, serial);
    std::printf("cabinet: ours %.1f MB, gcab %.1f MB\n", QFileInfo(ours).size() / 1e6,
                QFileInfo(tools + QStringLiteral("tool.cab")).size() / 1e6);

    // Unpacking the same cabinet: into memory (what readers use), and cabextract.
    ContentsFile::Lists lists;
    const double readMemory = timed([&] { lists = ContentsFile::read(db, serial); });
    if (lists.fileList != fileList || lists.folderList != folderList)
        qFatal("lists did not come back intact");
    const double extractTool =
        runTool(QStringLiteral("cabextract"),
                {QStringLiteral("-q"), QStringLiteral("-d"), tools + QStringLiteral("x"), ours}, tools);
    const double parse = timed([&] {
        const ContentsList l = ContentsList::fromBytes(lists.fileList);
        if (l.recordCount() != files)
            qFatal("parsed %d records", l.recordCount());
    });

    std::printf("%-36s %10s %10s %8s\n", "operation", "ours ms", "tool ms", "ratio");
    std::printf("%-36s %10.1f %10.1f %8.2f\n", "pack lists from DB (gcab -c -z)", packOurs, packGcab,
                packOurs / packGcab);
    std::printf("%-36s %10.1f %10.1f %8.2f\n", "pack lists from memory (gcab -c -z)", packBytes, packGcab,
                packBytes / packGcab);
    std::printf("%-36s %10.1f %10.1f %8.2f\n", "unpack into memory (cabextract)", readMemory, extractTool,
                readMemory / extractTool);
    std::printf("%-36s %10.1f\n", "parse file list (for reference)", parse);
    return 0;
}
