#pragma once

// Builds small real catalogues for the window and listing tests: disc lists written with
// ContentsListWriter, packed into real cabinets, and a "groups.tree" in the catalogue's format.

#include "store/CatalogueLocale.h"
#include "store/ContentsFile.h"
#include "store/ContentsList.h"
#include "store/DataPaths.h"
#include "core/TextCodec.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QStringList>

namespace TestCatalogue
{

inline QByteArray records(const QList<QStringList> &recs)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    ContentsListWriter w(&buf);
    for (const QStringList &r : recs)
        w.writeRecord(r);
    return bytes;
}

inline QString date(int y, int m, int d, int h = 12, int min = 0)
{
    return CatalogueLocale().formatListDate(QDateTime(QDate(y, m, d), QTime(h, min)));
}

inline void packDisc(const QString &dbFolder, const QString &serial, const QList<QStringList> &folders,
                     const QList<QStringList> &files)
{
    QDir().mkpath(dbFolder);
    ContentsFile::packBytes(dbFolder, serial, records(folders), records(files));
}

// "Rock Disc" (1A2B3C4D): two folders and three files in its root, a subfolder with a
// subfolder, and a ZIP archive with two entries.
inline void rockDisc(const QString &db)
{
    packDisc(
        db, QStringLiteral("1A2B3C4D"),
        {{QStringLiteral("LIVE\\"), QStringLiteral("\\ROCK\\"), QStringLiteral("1000"), date(2024, 3, 1)},
         {QStringLiteral("ROCK\\"), QStringLiteral("\\"), QStringLiteral("3000"), date(2024, 3, 2)},
         {QStringLiteral("Docs\\"), QStringLiteral("\\"), QStringLiteral("0"), date(2024, 1, 5)}},
        {{QStringLiteral("b.txt"), QStringLiteral("\\"), QStringLiteral("100"), date(2024, 2, 1, 9)},
         {QStringLiteral("A.mp3"), QStringLiteral("\\"), QStringLiteral("2048"), date(2024, 2, 1, 18),
          QStringLiteral("Title: Song"), QStringLiteral("Duration: 00:03:25"), QStringLiteral("Bit rate: CBR 128kbps")},
         {QStringLiteral("pack.zip"), QStringLiteral("\\"), QStringLiteral("500"), date(2023, 12, 24),
          QStringLiteral("Compressed Folder")},
         {QStringLiteral("inner.txt"), QStringLiteral("\\pack.zip\\"), QStringLiteral("50"), date(2023, 12, 20),
          QStringLiteral("Archive path: \\")},
         {QStringLiteral("deep.png"), QStringLiteral("\\pack.zip\\"), QStringLiteral("60"), date(2023, 12, 21),
          QStringLiteral("Archive path: \\img\\")},
         {QStringLiteral("song.mp3"), QStringLiteral("\\ROCK\\"), QStringLiteral("2000"), date(2024, 3, 2)},
         {QStringLiteral("live.mp3"), QStringLiteral("\\ROCK\\LIVE\\"), QStringLiteral("1000"), date(2024, 3, 1)}});
}

// My Collection / Music / Rock Disc, My Collection / Empty Group, My Collection / Photos Disc.
inline void prepared(const QString &dataFolder)
{
    const QString db = DataPaths::dbFolder(dataFolder);
    rockDisc(db);
    packDisc(db, QStringLiteral("5E6F7081"), {},
             {{QStringLiteral("pic.jpg"), QStringLiteral("\\"), QStringLiteral("4096"), date(2024, 5, 5)}});
    const QString d = date(2024, 6, 1);
    TextCodec::writeLines(
        db + QStringLiteral("groups.tree"),
        {QStringLiteral("My Collection"), QStringLiteral("\tMusic"),
         QStringLiteral("\t\tRock Disc|ROCK|1A2B3C4D|CDFS|5648|Loud~!music|Rock|1|") + d + QStringLiteral("|"),
         QStringLiteral("\tEmpty Group"),
         QStringLiteral("\tPhotos Disc|PHOTOS|5E6F7081|UDF|4096|||2|") + d + QStringLiteral("|")});
}

} // namespace TestCatalogue
