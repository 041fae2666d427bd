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

    const QString serial = QStringLiteral("1A2B3C4D");
    const QByteArray folderList = "MUSIC\\\r\n\\\r\n5\r\n01.02.2003 04:05:06\r\n-\r\n";
    const QByteArray fileList = "SONG.MP3\r\n\\MUSIC\\\r\n5\r\n01.02.2003 04:05:06\r\nTitle: A\r\n-\r\n"
                                "R\xC3\xA9sum\xC3\xA9.txt\r\n\\\r\n0\r\n01.02.2003\r\n-\r\n";

    QString db(const QTemporaryDir &tmp) { return tmp.path() + QStringLiteral("/DB/"); }

    // What a reader may find in DB besides the contents files: nothing of this disc's lists.
    void noLooseLists(const QString &dbFolder)
    {
        QVERIFY(!QFileInfo::exists(ContentsFile::folderListName(dbFolder, serial)));
        QVERIFY(!QFileInfo::exists(ContentsFile::fileListName(dbFolder, serial)));
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void packTheScannersListsAndReadThemBack()
    {
        QTemporaryDir tmp;
        const QString d = db(tmp);
        writeFile(ContentsFile::folderListName(d, serial), folderList);
        writeFile(ContentsFile::fileListName(d, serial), fileList);
        ContentsFile::pack(d, serial);
        noLooseLists(d);
        // The documented names: the serial with ".dat", members with ".dir" and ".file".
        const QString dat = d + serial + QStringLiteral(".dat");
        QVERIFY(cabextractAccepts(dat));
        QCOMPARE(cabextractNames(dat),
                 (QStringList{serial + QStringLiteral(".dir"), serial + QStringLiteral(".file")}));

        const ContentsFile::Lists lists = ContentsFile::read(d, serial);
        QCOMPARE(lists.folderList, folderList);
        QCOMPARE(lists.fileList, fileList);
        const ContentsFile::Parsed parsed = ContentsFile::load(d, serial);
        QCOMPARE(parsed.files.recordCount(), 2);
        QCOMPARE(parsed.files.line(1, 0), QStringLiteral("Résumé.txt"));
        QCOMPARE(parsed.folders.recordCount(), 1);

        const ContentsFile::Lists through = ContentsFile::unpackThroughFolder(d, serial);
        QCOMPARE(through.fileList, fileList);
        QCOMPARE(through.folderList, folderList);
        noLooseLists(d);
        QCOMPARE(QDir(d).entryList(QDir::Files), QStringList{serial + QStringLiteral(".dat")});
    }

    void rescanReplacesAndAFailedPackKeepsTheOldFile()
    {
        QTemporaryDir tmp;
        const QString d = db(tmp);
        QDir().mkpath(d);
        // A disc with nothing on it: two empty members.
        ContentsFile::packBytes(d, serial, QByteArray(), QByteArray());
        const QString dat = ContentsFile::contentsFileName(d, serial);
        QVERIFY(cabextractAccepts(dat));
        QCOMPARE(cabextractNames(dat).size(), 2);
        QVERIFY(ContentsFile::read(d, serial).fileList.isEmpty());
        ContentsFile::packBytes(d, serial, folderList, fileList);
        QCOMPARE(ContentsFile::read(d, serial).fileList, fileList);

        // The scan left only one list: packing fails, the previous contents stay readable,
        // and no loose list is left behind.
        writeFile(ContentsFile::folderListName(d, serial), "new\r\n-\r\n");
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::pack(d, serial));
        noLooseLists(d);
        QCOMPARE(ContentsFile::read(d, serial).fileList, fileList);
        QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden), QStringList{serial + QStringLiteral(".dat")});
    }

    void readersLeaveNothingBehindOnErrors()
    {
        QTemporaryDir tmp;
        const QString d = db(tmp);
        QDir().mkpath(d);
        try {
            ContentsFile::read(d, serial);
            QFAIL("read a missing contents file");
        } catch (const ESTCabinet &e) {
            QVERIFY(e.message().startsWith(QStringLiteral("Cabinet not found [0x0001]")));
        }
        QVERIFY(!ContentsFile::exists(d, serial));

        // A contents file cut short: the first list comes out, the second fails.
        QByteArray big;
        for (int i = 0; i < 30000; ++i)
            big += "F" + QByteArray::number(i * 7919 % 100003) + "\r\n\\\r\n1\r\n01.02.2003\r\n-\r\n";
        ContentsFile::packBytes(d, serial, folderList, big);
        const QString dat = ContentsFile::contentsFileName(d, serial);
        const QByteArray whole = readFile(dat);
        writeFile(dat, whole.left(whole.size() - 2000));
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::unpackThroughFolder(d, serial));
        noLooseLists(d);
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::read(d, serial));
    }

    void unusableSerialsNameNothingOutsideDb()
    {
        QTemporaryDir tmp;
        const QString d = db(tmp);
        writeFile(tmp.filePath(QStringLiteral("victim.dat")), "victim");
        writeFile(d + QStringLiteral("a/b.dat"), "nested");
        writeFile(d + QStringLiteral("...dat"), "dots");
        ContentsFile::packBytes(d, serial, folderList, fileList);
        // Bare names back to serials: an archive's members and DB's leftovers are told apart by them.
        QCOMPARE(ContentsFile::serialOfContentsFile(serial + ".DAT"), serial);
        QVERIFY(ContentsFile::isUnpackedList(serial + ".dir") && ContentsFile::isUnpackedList(serial + ".file"));
        for (const char *other : {"groups.tree", ".dat", "../x.dat", "a/b.dat", "1A2B3C4D.dat.old"})
            QVERIFY(ContentsFile::serialOfContentsFile(QLatin1String(other)).isEmpty());
        QVERIFY(!ContentsFile::isUnpackedList(serial + ".dat") &&
                !ContentsFile::isUnpackedList(QStringLiteral(".dir")));
        for (const QString &bad : {QStringLiteral("../victim"), QStringLiteral("a/b"), QStringLiteral(".."),
                                   QStringLiteral("a\\b"), QString()}) {
            QVERIFY(!ContentsFile::isUsableSerial(bad));
            QVERIFY(!ContentsFile::exists(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::remove(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::read(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::packBytes(d, bad, folderList, fileList));
        }
        QCOMPARE(readFile(tmp.filePath(QStringLiteral("victim.dat"))), QByteArray("victim"));
        QCOMPARE(readFile(d + QStringLiteral("a/b.dat")), QByteArray("nested"));
        QCOMPARE(readFile(d + QStringLiteral("...dat")), QByteArray("dots"));
        ContentsFile::remove(d, serial);
        QVERIFY(!ContentsFile::exists(d, serial));
    }

    void unpackingExtractsOnlyTheDiscsOwnLists()
    {
        QTemporaryDir tmp;
        const QString d = db(tmp);
        writeFile(d + QStringLiteral("groups.tree"), "the user's tree\r\n");
        // A contents file that also carries a "groups.tree" must not replace the catalogue's.
        QTemporaryDir src;
        writeFile(src.filePath(serial + QStringLiteral(".dir")), folderList);
        writeFile(src.filePath(serial + QStringLiteral(".file")), fileList);
        writeFile(src.filePath(QStringLiteral("groups.tree")), "planted\r\n");
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(ContentsFile::contentsFileName(d, serial));
        cab.AddFiles(src.filePath(QStringLiteral("*")));
        cab.Close(true);

        QCOMPARE(ContentsFile::unpackThroughFolder(d, serial).fileList, fileList);
        QCOMPARE(readFile(d + QStringLiteral("groups.tree")), QByteArray("the user's tree\r\n"));
        noLooseLists(d);
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
