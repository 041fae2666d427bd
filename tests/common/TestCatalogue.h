#pragma once

// Builds small real catalogues for the window and listing tests: disc lists written by the
// catalogue's own list writer, packed into real cabinets, and a "groups.tree" in the
// catalogue's format.

#include "core/TextCodec.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsFile.h"
#include "store/ContentsListWriter.h"
#include "store/ContentsRecord.h"
#include "store/DataPaths.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <functional>

namespace TestCatalogue
{

inline QString date(int y, int m, int d, int h = 12, int min = 0)
{
    return CatalogueLocale().formatListDate(QDateTime(QDate(y, m, d), QTime(h, min)));
}

// Writes a disc's folder list and file list through two writers and packs them into its
// contents file in dbFolder; checksums, when given, is its ".sum" member as write leaves it.
inline void packDisc(const QString &dbFolder, const QString &serial,
                     const std::function<void(ContentsListWriter &folders, ContentsListWriter &files)> &write,
                     const QByteArray *checksums = nullptr)
{
    QByteArray folderList, fileList;
    QBuffer folderBuffer(&folderList), fileBuffer(&fileList);
    folderBuffer.open(QIODevice::WriteOnly);
    fileBuffer.open(QIODevice::WriteOnly);
    {
        ContentsListWriter folders(&folderBuffer), files(&fileBuffer);
        write(folders, files);
        folders.flush();
        files.flush();
    }
    QDir().mkpath(dbFolder);
    ContentsFile::packBytes(dbFolder, serial, {folderList, fileList, checksums ? *checksums : QByteArray()});
}

// "Rock Disc" (1A2B3C4D): two folders and three files in its root, a subfolder with a
// subfolder, and a ZIP archive with two entries.
inline void rockDisc(const QString &db)
{
    packDisc(db, QStringLiteral("1A2B3C4D"), [](ContentsListWriter &folders, ContentsListWriter &files) {
        folders.writeFolderRecord(QStringLiteral("LIVE"), QStringLiteral("\\ROCK\\"), 1000, date(2024, 3, 1));
        folders.writeFolderRecord(QStringLiteral("ROCK"), QStringLiteral("\\"), 3000, date(2024, 3, 2));
        folders.writeFolderRecord(QStringLiteral("Docs"), QStringLiteral("\\"), 0, date(2024, 1, 5));
        files.writeFileRecord(QStringLiteral("b.txt"), QStringLiteral("\\"), 100, date(2024, 2, 1, 9));
        files.writeFileRecord(QStringLiteral("A.mp3"), QStringLiteral("\\"), 2048, date(2024, 2, 1, 18),
                              {QStringLiteral("Title: Song"), QStringLiteral("Duration: 00:03:25"),
                               QStringLiteral("Bit rate: CBR 128kbps")});
        files.writeFileRecord(QStringLiteral("pack.zip"), QStringLiteral("\\"), 500, date(2023, 12, 24),
                              {QString::fromLatin1(ContentsRecord::CompressedFolder)});
        files.writeArchiveEntry(QStringLiteral("inner.txt"), QStringLiteral("\\pack.zip\\"), 50, date(2023, 12, 20),
                                QString());
        files.writeArchiveEntry(QStringLiteral("deep.png"), QStringLiteral("\\pack.zip\\"), 60, date(2023, 12, 21),
                                QStringLiteral("img\\"));
        files.writeFileRecord(QStringLiteral("song.mp3"), QStringLiteral("\\ROCK\\"), 2000, date(2024, 3, 2));
        files.writeFileRecord(QStringLiteral("live.mp3"), QStringLiteral("\\ROCK\\LIVE\\"), 1000, date(2024, 3, 1));
    });
}

// My Collection / Music / Rock Disc, My Collection / Empty Group, My Collection / Photos Disc.
inline void prepared(const QString &dataFolder)
{
    const QString db = DataPaths::dbFolder(dataFolder);
    rockDisc(db);
    packDisc(db, QStringLiteral("5E6F7081"), [](ContentsListWriter &, ContentsListWriter &files) {
        files.writeFileRecord(QStringLiteral("pic.jpg"), QStringLiteral("\\"), 4096, date(2024, 5, 5));
    });
    const QString d = date(2024, 6, 1);
    TextCodec::writeLines(
        db + QStringLiteral("groups.tree"),
        {QStringLiteral("My Collection"), QStringLiteral("\tMusic"),
         QStringLiteral("\t\tRock Disc|ROCK|1A2B3C4D|CDFS|5648|Loud~!music|Rock|1|") + d + QStringLiteral("|"),
         QStringLiteral("\tEmpty Group"),
         QStringLiteral("\tPhotos Disc|PHOTOS|5E6F7081|UDF|4096|||2|") + d + QStringLiteral("|")});
}

// The bytes of every file under folder: what a cache folder holds.
inline qint64 bytesUnder(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += it.nextFileInfo().size();
    return total;
}

} // namespace TestCatalogue
