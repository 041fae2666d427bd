// Packs and unpacks the two lists of a generated disc of one million files, and does the
// same work with the standard tools in the same run: "gcab -c -z" for packing and
// "cabextract" for unpacking. Prints each time and the ratio ours / tool.
//
//   bench_cabinet [files]     (default 1000000)

#include "cabinet/TSTCabReader.h"
#include "store/ContentsFile.h"

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
// the extra lines the scanner writes for music and pictures.
void generateLists(int files, QByteArray &folderList, QByteArray &fileList)
{
    folderList.reserve(qsizetype(files) * 2);
    fileList.reserve(qsizetype(files) * 90);
    const int perFolder = 50;
    const int folders = (files + perFolder - 1) / perFolder;
    int made = 0;
    for (int f = 0; f < folders; ++f) {
        const QByteArray folder = "\\ARCHIVE" + QByteArray::number(f / 400) + "\\SET" + QByteArray::number(f / 20) +
                                  "\\ALBUM " + QByteArray::number(f) + "\\";
        for (int i = 0; i < perFolder && made < files; ++i, ++made) {
            const bool music = i % 3 == 0;
            fileList += (music ? "Track " : "Photo_") + QByteArray::number(i) + (music ? ".mp3" : ".jpg") + "\r\n";
            fileList += folder + "\r\n";
            fileList += QByteArray::number(1000 + (made * 7919LL) % 9000000) + "\r\n";
            fileList += "0" + QByteArray::number(1 + made % 9) + ".0" + QByteArray::number(1 + made % 9) + ".2004 1" +
                        QByteArray::number(made % 10) + ":2" + QByteArray::number(made % 10) + ":00\r\n";
            if (music)
                fileList += "Artist: Band " + QByteArray::number(f % 97) +
                            "\r\nDuration: 00:03:" + QByteArray::number(10 + i % 50) + "\r\nBit rate: CBR 192kbps\r\n";
            else
                fileList += "Width: 1600\r\nHeight:1200\r\n";
            fileList += "-\r\n";
        }
        folderList += "ALBUM " + QByteArray::number(f) + "\\\r\n\\ARCHIVE" + QByteArray::number(f / 400) + "\\SET" +
                      QByteArray::number(f / 20) + "\\\r\n123456789\r\n01.01.2004 12:00:00\r\n-\r\n";
    }
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
    writeFile(db + serial + QStringLiteral(".dir"), folderList);
    writeFile(db + serial + QStringLiteral(".file"), fileList);
    writeFile(tools + serial + QStringLiteral(".dir"), folderList);
    writeFile(tools + serial + QStringLiteral(".file"), fileList);
    const double packOurs = timed([&] { ContentsFile::pack(db, serial); });
    const double packGcab =
        runTool(QStringLiteral("gcab"),
                {QStringLiteral("-c"), QStringLiteral("-z"), QStringLiteral("-n"), QStringLiteral("tool.cab"),
                 serial + QStringLiteral(".dir"), serial + QStringLiteral(".file")},
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
