#include "CabTestUtil.h"

#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabWriter.h"
#include "core/QuilloryError.h"
#include "store/ContentsFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

class TestContentsFile : public QObject
{
    Q_OBJECT

    const QString serial = u"1A2B3C4D"_s;
    const QByteArray folderList = "MUSIC\\\r\n\\\r\n5\r\n01.02.2003 04:05:06\r\n-\r\n";
    const QByteArray fileList = "SONG.MP3\r\n\\MUSIC\\\r\n5\r\n01.02.2003 04:05:06\r\nTitle: A\r\n-\r\n"
                                "R\xC3\xA9sum\xC3\xA9.txt\r\n\\\r\n0\r\n01.02.2003\r\n-\r\n";

    // Whatever a reader or a packing did, DB holds the contents file and nothing of its lists.
    void onlyTheContentsFile(const QString &db)
    {
        QCOMPARE(QDir(db).entryList(QDir::Files | QDir::Hidden), QStringList{serial + u".dat"_s});
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The scanner's two lists packed under the documented names (the serial with ".dat",
    // members with ".dir" and ".file"), read back, parsed and unpacked. A rescan replaces
    // them; a pack that fails (the scan left one list) keeps the older file.
    void packTheScannersListsAndReadThemBack()
    {
        QTemporaryDir tmp;
        const QString d = tmp.filePath(u"DB/"_s);
        // A disc with nothing on it: two empty members.
        ContentsFile::packBytes(d, serial, QByteArray(), QByteArray());
        QVERIFY(ContentsFile::read(d, serial).fileList.isEmpty());
        writeFile(ContentsFile::folderListName(d, serial), folderList);
        writeFile(ContentsFile::fileListName(d, serial), fileList);
        ContentsFile::pack(d, serial);
        onlyTheContentsFile(d);
        const QString dat = d + serial + u".dat"_s;
        QVERIFY(cabextractAccepts(dat));
        QCOMPARE(cabextractNames(dat), (QStringList{serial + u".dir"_s, serial + u".file"_s}));

        const ContentsFile::Lists lists = ContentsFile::read(d, serial);
        QCOMPARE(lists.folderList + lists.fileList, folderList + fileList);
        const ContentsFile::Parsed parsed = ContentsFile::load(d, serial);
        QCOMPARE(parsed.files.line(1, 0), u"Résumé.txt"_s);
        QCOMPARE(parsed.files.recordCount() + parsed.folders.recordCount(), 3);

        writeFile(ContentsFile::folderListName(d, serial), "new\r\n-\r\n");
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::pack(d, serial));
        onlyTheContentsFile(d);
        QCOMPARE(ContentsFile::read(d, serial).fileList, fileList);
    }

    // Unpacked through a folder, a contents file gives the disc's two lists and nothing else
    // (not a "groups.tree" it also carries); cut short, it fails and leaves nothing behind.
    void unpackingExtractsOnlyTheDiscsOwnLists()
    {
        QTemporaryDir tmp;
        const QString d = tmp.filePath(u"DB/"_s);
        QCOMPARE(ContentsFile::exists(d, serial), false);
        const QString missing = [&] {
            try {
                ContentsFile::read(d, serial);
            } catch (const ESTCabinet &e) {
                return e.message();
            }
            return u"<read>"_s;
        }();
        QVERIFY2(missing.startsWith(u"Cabinet not found [0x0001]"_s), qPrintable(missing));

        QByteArray big; // several data blocks
        for (int i = 0; i < 30000; ++i)
            big += "F" + QByteArray::number(i * 7919 % 100003) + "\r\n\\\r\n1\r\n01.02.2003\r\n-\r\n";
        writeFile(tmp.filePath(u"src/"_s + serial + u".dir"_s), folderList);
        writeFile(tmp.filePath(u"src/"_s + serial + u".file"_s), big);
        writeFile(tmp.filePath(u"src/groups.tree"_s), "planted\r\n");
        QDir().mkpath(d);
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(ContentsFile::contentsFileName(d, serial));
        cab.AddFiles(tmp.filePath(u"src/*"_s));
        cab.Close(true);
        QCOMPARE(ContentsFile::unpackThroughFolder(d, serial).fileList, big);
        onlyTheContentsFile(d);

        const QString dat = ContentsFile::contentsFileName(d, serial);
        const QByteArray whole = readFile(dat);
        writeFile(dat, whole.left(whole.size() - 2000));
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::unpackThroughFolder(d, serial));
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::read(d, serial));
        onlyTheContentsFile(d);
    }

    void unusableSerialsNameNothingOutsideDb()
    {
        QTemporaryDir tmp;
        const QString d = tmp.filePath(u"DB/"_s);
        writeFile(tmp.filePath(u"victim.dat"_s), "victim");
        writeFile(d + u"a/b.dat"_s, "nested");
        writeFile(d + u"...dat"_s, "dots");
        const auto files = [&] { return QList{snapshot(tmp.path()), snapshot(d), snapshot(d + u"a"_s)}; };
        const auto before = files();
        ContentsFile::packBytes(d, serial, folderList, fileList);
        // Bare names back to serials: an archive's members and DB's leftovers are told apart by them.
        QCOMPARE(ContentsFile::serialOfContentsFile(serial + ".DAT"), serial);
        QVERIFY(ContentsFile::isUnpackedList(serial + ".dir") && ContentsFile::isUnpackedList(serial + ".file"));
        for (const char *other : {"groups.tree", ".dat", "../x.dat", "a/b.dat", "1A2B3C4D.dat.old"})
            QVERIFY(ContentsFile::serialOfContentsFile(QLatin1String(other)).isEmpty());
        QVERIFY(!ContentsFile::isUnpackedList(serial + ".dat") && !ContentsFile::isUnpackedList(u".dir"_s));
        for (const QString &bad : {u"../victim"_s, u"a/b"_s, u".."_s, u"a\\b"_s, QString()}) {
            QVERIFY(!ContentsFile::isUsableSerial(bad));
            QVERIFY(!ContentsFile::exists(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::remove(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::read(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::packBytes(d, bad, folderList, fileList));
        }
        ContentsFile::remove(d, serial);
        QCOMPARE(files(), before);
    }

    // One listing of DB answers as exists() does for each serial: files and links to files
    // named serial + ".dat", not folders, dangling links, other extensions or their case;
    // never a serial that could name something outside DB, even when a file's name matches it.
    void serialsPresentAgreesWithExists()
    {
        QTemporaryDir tmp;
        const QString db = tmp.filePath(u"DB/"_s);
        QDir().mkpath(db + u"FOLDER.dat"_s);
        for (const QString &name : {u"1A2B3C4D.dat"_s, u"UPPER.DAT"_s, u"list.dir"_s, u"real.bin"_s, u".dat"_s,
                                    u"..dat"_s, u"a\\b.dat"_s, u"Dïsc ünïcode.dat"_s, u"1A2B3C4.dat"_s})
            writeFile(db + name, "x");
        QVERIFY(QFile::link(db + u"real.bin"_s, db + u"LINKED.dat"_s));
        QVERIFY(QFile::link(db + u"nowhere"_s, db + u"DANGLING.dat"_s));
        const ContentsFile::Present present = ContentsFile::serialsPresent(db);
        const QStringList serials{u"1A2B3C4D"_s, u"LINKED"_s,       u"UPPER"_s,        u"FOLDER"_s,  u"DANGLING"_s,
                                  u"list"_s,     u""_s,             u"."_s,            u"a\\b"_s,    u"Dïsc ünïcode"_s,
                                  u"Disc unicode"_s, u"1A2B3C4"_s, u"1A2B3C4D0"_s, u"1a2b3c4d"_s};
        for (const QString &serial : serials)
            QVERIFY2(present.contains(serial) == ContentsFile::exists(db, serial), qPrintable(serial));
        QVERIFY(present.contains(u"1A2B3C4D"_s) && present.contains(u"Dïsc ünïcode"_s));
        QCOMPARE(ContentsFile::serialsPresent(tmp.filePath(u"missing/"_s)).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestContentsFile)
#include "tst_contentsfile.moc"
