// Packs and unpacks the two lists of a generated disc of one million files, and does the
// same work with the standard tools in the same run: "gcab -c -z" for packing and
// "cabextract" for unpacking. Prints each time and the ratio ours / tool.
//
//   bench_cabinet [files]     (default 1000000)

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

// A disc laid out like a large collection: folders of 50 files, three levels deep, with
// the extra lines the scanner writes for music and pictures, through the catalogue's writer.
void generateLists(int files, QByteArray &folderList, QByteArray &fileList)
{
    QBuffer folderBuffer(&folderList), fileBuffer(&fileList);
    folderBuffer.open(QIODevice::WriteOnly);
    fileBuffer.open(QIODevice::WriteOnly);
    ContentsListWriter folderWriter(&folderBuffer), fileWriter(&fileBuffer);
    const int perFolder = 50;
    const int folders = (files + perFolder - 1) / perFolder;
    int made = 0;
    for (int f = 0; f < folders; ++f) {
        const QString parent = QStringLiteral("\\ARCHIVE%1\\SET%2\\").arg(f / 400).arg(f / 20);
        const QString album = QStringLiteral("ALBUM %1").arg(f);
        const QString folder = parent + album + u'\\';
        for (int i = 0; i < perFolder && made < files; ++i, ++made) {
            const bool music = i % 3 == 0;
            const QString date = QStringLiteral("0%1.0%1.2004 1%2:2%2:00").arg(1 + made % 9).arg(made % 10);
            const QStringList extras = music
                                           ? QStringList{QStringLiteral("Artist: Band %1").arg(f % 97),
                                                         QStringLiteral("Duration: 00:03:%1").arg(10 + i % 50),
                                                         QStringLiteral("Bit rate: CBR 192kbps")}
                                           : QStringList{QStringLiteral("Width: 1600"), QStringLiteral("Height:1200")};
            fileWriter.writeFileRecord((music ? QStringLiteral("Track %1.mp3") : QStringLiteral("Photo_%1.jpg")).arg(i),
                                       folder, quint64(1000 + (made * 7919LL) % 9000000), date, extras);
        }
        folderWriter.writeFolderRecord(album, parent, 123456789, QStringLiteral("01.01.2004 12:00:00"));
    }
    folderWriter.flush();
    fileWriter.flush();
}

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
    generateLists(files, folderList, fileList);
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

    // Unpacking the same cabinet: into memory (what readers use), through DB, and cabextract.
    ContentsFile::Lists lists;
    const double readMemory = timed([&] { lists = ContentsFile::read(db, serial); });
    if (lists.fileList != fileList || lists.folderList != folderList)
        qFatal("lists did not come back intact");
    const double readFolder = timed([&] { lists = ContentsFile::unpackThroughFolder(db, serial); });
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
    std::printf("%-36s %10.1f %10.1f %8.2f\n", "unpack through DB (cabextract)", readFolder, extractTool,
                readFolder / extractTool);
    std::printf("%-36s %10.1f\n", "parse file list (for reference)", parse);
    return 0;
}
