#include "CabTestUtil.h"

#include "backup/DatabaseBackup.h"
#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabReader.h"
#include "cabinet/TSTCabWriter.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/CatalogueSwitch.h"
#include "store/ContentsFile.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

class TestDatabaseBackup : public QObject
{
    Q_OBJECT

    static TCD disc(const QString &title, const QString &serial, const QString &borrowedTo = QString())
    {
        TCD cd;
        cd.Title = title;
        cd.Serial = serial;
        cd.VolumeLabel = title.toUpper();
        cd.FileSystem = QStringLiteral("CDFS");
        cd.Size = 1000;
        cd.BorrowedTo = borrowedTo;
        return cd;
    }

    // A catalogue on disk with two groups and three discs (one lent), each with contents.
    static void makeCatalogue(Catalogue &cat)
    {
        cat.lock();
        cat.load({});
        GroupTree &t = cat.tree();
        TreeNode *music = t.addChild(t.root(), QStringLiteral("Music"), KindGroup);
        TreeNode *photos = t.addChild(t.root(), QStringLiteral("Photos"), KindGroup);
        t.addDisc(music, disc(QStringLiteral("Rock"), QStringLiteral("AAAA0001")));
        t.addDisc(photos, disc(QStringLiteral("Summer"), QStringLiteral("BBBB0002"), QStringLiteral("Ann")));
        t.addDisc(music, disc(QStringLiteral("Jazz"), QStringLiteral("CCCC0003")));
        for (const char *s : {"AAAA0001", "BBBB0002", "CCCC0003"})
            ContentsFile::packBytes(cat.dbFolder(), QLatin1String(s), QByteArray("d ") + s, QByteArray("f ") + s);
        cat.save();
        cat.load({});
    }

    using Members = QList<QPair<QString, QByteArray>>;

    // An archive made of the given members, written into dir.
    static QString archiveOf(const QString &path, const Members &members)
    {
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(path);
        for (const auto &m : members)
            cab.AddBytes(m.second, m.first, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 6)));
        cab.Close(true);
        return path;
    }

    // What a damaged or hostile header may claim: the first member's size, as the cabinet's
    // file table gives it (the table is not covered by any checksum).
    static void claimFirstMemberSize(const QString &path, quint32 size)
    {
        QByteArray bytes = readFile(path);
        const quint32 filesAt = qFromLittleEndian<quint32>(bytes.constData() + 16);
        qToLittleEndian<quint32>(size, bytes.data() + filesAt);
        writeFile(path, bytes);
    }

    static QByteArray treeOf(const QStringList &lines) { return TextCodec::joinLines(lines); }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void emptyCatalogueExportsOnlyTheTree()
    {
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        cat.lock();
        cat.load({});
        QList<QPair<int, int>> steps;
        const QString archive = tmp.filePath(QStringLiteral("backup.cab"));
        DatabaseBackup::exportDatabase(cat, archive, [&](int pos, int max) { steps.append({pos, max}); });
        QVERIFY(cabextractAccepts(archive));
        QCOMPARE(cabextractNames(archive), QStringList{QStringLiteral("groups.tree")});
        // Root only: gauge maximum is one node + 1, and it ends full.
        QCOMPARE(steps.first(), qMakePair(0, 2));
        QCOMPARE(steps.last(), qMakePair(2, 2));
    }

    void exportOrderDatesAndReplacement()
    {
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        makeCatalogue(cat);
        // A change still only in memory reaches the archive: the tree is saved first.
        cat.tree().addChild(cat.tree().root(), QStringLiteral("Unsaved group"), KindGroup);
        const QDateTime old(QDate(2020, 5, 6), QTime(7, 8, 10));
        QFile dat(ContentsFile::contentsFileName(cat.dbFolder(), QStringLiteral("CCCC0003")));
        QVERIFY(dat.open(QIODevice::ReadWrite) && dat.setFileTime(old, QFileDevice::FileModificationTime));
        dat.close();
        const QString archive = tmp.filePath(QStringLiteral("out.cab"));
        writeFile(archive, "an older backup");

        int last = -1, maximum = -1;
        DatabaseBackup::exportDatabase(cat, archive, [&](int pos, int max) {
            QVERIFY(pos >= last);
            last = pos;
            maximum = max;
        });
        QCOMPARE(maximum, cat.tree().nodeCount() + 1);
        QCOMPARE(last, maximum);
        QVERIFY(cabextractAccepts(archive));
        // Tree order (groups sorted, discs by title), the lent disc included, then the tree.
        QCOMPARE(cabextractNames(archive),
                 (QStringList{QStringLiteral("CCCC0003.dat"), QStringLiteral("AAAA0001.dat"),
                              QStringLiteral("BBBB0002.dat"), QStringLiteral("groups.tree")}));
        QVERIFY(readFile(cat.treeFile()).contains("Unsaved group"));

        TSTCabReader reader;
        const auto members = reader.List(archive);
        QCOMPARE(members.front().Modified, old);
    }

    void importReplacesTheTreeAndKeepsOtherDiscsContents()
    {
        QTemporaryDir tmp;
        const QString archive = tmp.filePath(QStringLiteral("a.cab"));
        {
            Catalogue source(tmp.filePath(QStringLiteral("source")));
            makeCatalogue(source);
            DatabaseBackup::exportDatabase(source, archive);
        }
        Catalogue target(tmp.filePath(QStringLiteral("target")));
        target.lock();
        target.load({});
        target.tree().addDisc(target.tree().root(), disc(QStringLiteral("Mine"), QStringLiteral("DDDD0004")));
        ContentsFile::packBytes(target.dbFolder(), QStringLiteral("DDDD0004"), "mine d", "mine f");
        // An older copy of an archived disc is replaced.
        ContentsFile::packBytes(target.dbFolder(), QStringLiteral("AAAA0001"), "stale", "stale");
        target.save();

        DatabaseBackup::importDatabase(archive, target.dbFolder());
        target.load({});
        QVERIFY(FindCD(target.tree().root(), QStringLiteral("AAAA0001")));
        QVERIFY(FindCD(target.tree().root(), QStringLiteral("BBBB0002")));
        QVERIFY(!FindCD(target.tree().root(), QStringLiteral("DDDD0004")));
        QCOMPARE(ContentsFile::read(target.dbFolder(), QStringLiteral("DDDD0004")).fileList, QByteArray("mine f"));
        QCOMPARE(ContentsFile::read(target.dbFolder(), QStringLiteral("AAAA0001")).fileList, QByteArray("f AAAA0001"));
        QVERIFY(target.isLocked());
    }

    void unusableSerialsReachNothingOutsideDb()
    {
        // Serials that would name files beside DB or in a folder of it, from a damaged tree.
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        makeCatalogue(cat);
        const QString db = cat.dbFolder();
        writeFile(cat.dataFolder() + QStringLiteral("victim.dat"), "victim");
        writeFile(db + QStringLiteral("a/b.dat"), "nested");
        writeFile(db + QStringLiteral("...dat"), "dots");
        const QStringList serials{QStringLiteral("../victim"), QStringLiteral("a/b"), QStringLiteral("..")};
        for (const QString &s : serials)
            cat.tree().addDisc(cat.tree().root(), disc(QStringLiteral("Bad ") + s, s));
        const auto outsideBefore = snapshot(cat.dataFolder());

        auto namesAll = [&](const QStringList &told) {
            QCOMPARE(told.size(), 1);
            for (const QString &s : serials)
                QVERIFY2(told.first().contains(QStringLiteral("\"Bad %1\"").arg(s)) &&
                             told.first().contains(QStringLiteral("\"%1\"").arg(s)),
                         qPrintable(told.first()));
        };
        QStringList told;
        const QString archive = tmp.filePath(QStringLiteral("out.cab"));
        DatabaseBackup::exportDatabase(cat, archive, {}, [&](const QString &m) { told << m; });
        namesAll(told);
        QCOMPARE(cabextractNames(archive),
                 (QStringList{QStringLiteral("CCCC0003.dat"), QStringLiteral("AAAA0001.dat"),
                              QStringLiteral("BBBB0002.dat"), QStringLiteral("groups.tree")}));
        // The tree was saved before the reload dropped them: the archive's tree still holds them.
        QVERIFY(readFile(db + QStringLiteral("groups.tree")).contains("|../victim|"));

        Catalogue target(tmp.filePath(QStringLiteral("target")));
        target.lock();
        DatabaseBackup::importDatabase(archive, target.dbFolder());
        told.clear();
        target.load([&](const QString &m) { told << m; });
        namesAll(told);
        QCOMPARE(target.tree().nodeCount(), 6);
        QCOMPARE(QDir(target.dataFolder()).entryList(QDir::Files), QStringList());
        QCOMPARE(snapshot(cat.dataFolder()), outsideBefore);
        QCOMPARE(readFile(db + QStringLiteral("a/b.dat")), QByteArray("nested"));
    }

    void badArchivesChangeNothing_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a cabinet") << QStringLiteral("src/alpha.txt")
                                       << QStringLiteral("Cabinet file does not have the correct format [0x0002]");
        QTest::newRow("safe then unsafe name") << QStringLiteral("mixed-member.cab") << QStringLiteral("..\\evil.txt");
        QTest::newRow("rooted name") << QStringLiteral("rooted-member.cab") << QStringLiteral("\\root.txt");
    }

    void badArchivesChangeNothing()
    {
        QFETCH(QString, archive);
        QFETCH(QString, message);
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        makeCatalogue(cat);
        const auto before = snapshot(cat.dbFolder());
        try {
            DatabaseBackup::importDatabase(fixture(archive), cat.dbFolder());
            QFAIL("imported a bad archive");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
        QCOMPARE(snapshot(cat.dbFolder()), before);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList());
    }

    // An archive whose tree does not load, or whose members are larger than any catalogue's,
    // is refused before anything in DB changes: the user's tree still loads afterwards.
    void refusedImportsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("tree");
        QTest::addColumn<quint32>("claimedSize");
        QTest::addColumn<QString>("message");
        const QString disc = u"\t\tNew|L|AAAA0001|CDFS|1|||1|d|"_s;
        QTest::newRow("bad level") << treeOf({"Root", "\tA", "\t\t\tDeep", disc}) << 0u
                                   << u"Invalid level (3) for item \"Deep\""_s;
        QTest::newRow("bad number") << treeOf({"Root", "\tA", "\t\tDisc|L|AAAA0001|CDFS|12x|||1|d|"}) << 0u
                                    << u"\"groups.tree\", line 3"_s;
        QTest::newRow("garbage") << QByteArray("\x01\xfe|\x02||||||\xff\r\n\t\t\t\x04\r\n") << 0u << u"Invalid level"_s;
        QByteArray deep = "Root\r\n";
        for (int i = 1; i <= 10000; ++i)
            deep += QByteArray(i, '\t') + "G\r\n";
        QTest::newRow("ten thousand levels") << deep << 0u << u"nested deeper than 1000 levels"_s;
        QTest::newRow("indented root") << treeOf({"\tRoot", disc.mid(1)}) << 0u
                                       << u"Invalid level (1) for item \"Root\""_s;
        QTest::newRow("tree too large") << treeOf({"Root"}) << quint32(300u << 20) << u"more than the 256 MB"_s;
        QTest::newRow("contents file too large") << QByteArray() << quint32(3000u << 20)
                                                 << u"more than the %1 MB"_s.arg(ContentsFile::MaxListBytes >> 20);
    }
    void refusedImportsChangeNothing()
    {
        QFETCH(QByteArray, tree);
        QFETCH(quint32, claimedSize);
        QFETCH(QString, message);
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        makeCatalogue(cat);
        const auto before = snapshot(cat.dbFolder());
        // One contents file replaces the user's, one is new to DB (written straight into it).
        Members members{{QStringLiteral("AAAA0001.dat"), QByteArray("new contents")},
                        {QStringLiteral("DDDD0004.dat"), QByteArray("a new disc")}};
        if (!tree.isEmpty())
            members.prepend({QStringLiteral("groups.tree"), tree});
        const QString archive = archiveOf(tmp.filePath(QStringLiteral("hostile.cab")), members);
        if (claimedSize)
            claimFirstMemberSize(archive, claimedSize);
        try {
            DatabaseBackup::importDatabase(archive, cat.dbFolder());
            QFAIL("imported a hostile archive");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
        QCOMPARE(snapshot(cat.dbFolder()), before);
        QVERIFY(!QFileInfo::exists(CatalogueSwitch::stagingFolderOf(cat.dbFolder())));
        cat.load({});
        QVERIFY(FindCD(cat.tree().root(), QStringLiteral("AAAA0001")));
    }

    // Only the tree and the contents files it names come in; they come in under the names a
    // load looks for, and discs the tree names that have contents in DB keep them.
    void importTakesOnlyTheCatalogue()
    {
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        makeCatalogue(cat);
        const QString db = cat.dbFolder();
        const QByteArray kept = readFile(ContentsFile::contentsFileName(db, QStringLiteral("BBBB0002")));
        const QString archive =
            archiveOf(tmp.filePath(QStringLiteral("mixed.cab")),
                      {{QStringLiteral("AAAA0001.DAT"), QByteArray("new A")},
                       {QStringLiteral("EEEE0005.dat"), QByteArray("not in the tree")},
                       {QStringLiteral("junk.txt"), QByteArray("junk")},
                       {QStringLiteral("AAAA0001.dir"), QByteArray("a loose list")},
                       {Catalogue::lockName(), QByteArray("1\nother\nhost\n")},
                       {QStringLiteral("GROUPS.TREE"),
                        treeOf({"Imported", "\tNew A|L|AAAA0001|CDFS|1|||1|d|", "\tOld B|L|BBBB0002|CDFS|1|||2|d|",
                                "\tNowhere|L|CCCC0009|CDFS|1|||3|d|"})}});
        const QStringList filesBefore = QDir(db).entryList(QDir::Files);
        DatabaseBackup::importDatabase(archive, db);
        QCOMPARE(QDir(db).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), filesBefore);
        QCOMPARE(readFile(ContentsFile::contentsFileName(db, QStringLiteral("AAAA0001"))), QByteArray("new A"));
        QCOMPARE(readFile(ContentsFile::contentsFileName(db, QStringLiteral("BBBB0002"))), kept);
        QVERIFY(cat.isLocked());
        cat.load({});
        QCOMPARE(cat.tree().root()->text(), QStringLiteral("Imported"));
        QVERIFY(FindCD(cat.tree().root(), QStringLiteral("AAAA0001")));
        QVERIFY(FindCD(cat.tree().root(), QStringLiteral("BBBB0002")));
        QVERIFY(!FindCD(cat.tree().root(), QStringLiteral("CCCC0009")));
    }

    // Nothing but the catalogue reaches an archive: not the lists a killed scan left, not a
    // contents file of a disc the tree no longer has, not the user's own files.
    void exportTakesOnlyTheCatalogue()
    {
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        makeCatalogue(cat);
        const QString db = cat.dbFolder();
        for (const char *stray : {"AAAA0001.dir", "AAAA0001.file", "AAAA0001.dat.bak", "FFFF0006.dat", "x.tree"})
            writeFile(db + QLatin1String(stray), "stray");
        const QString archive = tmp.filePath(QStringLiteral("out.cab"));
        DatabaseBackup::exportDatabase(cat, archive);
        QCOMPARE(cabextractNames(archive),
                 (QStringList{QStringLiteral("CCCC0003.dat"), QStringLiteral("AAAA0001.dat"),
                              QStringLiteral("BBBB0002.dat"), QStringLiteral("groups.tree")}));
    }

    // An archive written over a catalogue file would destroy it; one read from DB would be
    // imported over the files beside it. Both are refused however the path reaches DB.
    void archivesInsideDbAreRefused()
    {
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        makeCatalogue(cat);
        const QString db = cat.dbFolder();
        const QString outside = tmp.filePath(QStringLiteral("outside.cab"));
        DatabaseBackup::exportDatabase(cat, outside);
        QVERIFY(QFile::copy(outside, db + QStringLiteral("copy.cab")));
        QVERIFY(QFile::link(db + QStringLiteral("groups.tree"), tmp.filePath(QStringLiteral("link.cab"))));
        const auto before = snapshot(db);
        for (const QString &target :
             {db + QStringLiteral("groups.tree"), ContentsFile::contentsFileName(db, QStringLiteral("AAAA0001")),
              tmp.filePath(QStringLiteral("data/DB/../DB/new.cab")), tmp.filePath(QStringLiteral("link.cab"))}) {
            try {
                DatabaseBackup::exportDatabase(cat, target);
                QFAIL(qPrintable(u"exported over "_s + target));
            } catch (const QuilloryError &e) {
                QVERIFY2(e.message().contains(QStringLiteral("inside the database folder")), qPrintable(e.message()));
            }
        }
        try {
            DatabaseBackup::importDatabase(db + QStringLiteral("copy.cab"), db);
            QFAIL("imported an archive from inside DB");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("inside the database folder")), qPrintable(e.message()));
        }
        QCOMPARE(snapshot(db), before);
        QVERIFY(!QFileInfo::exists(db + QStringLiteral("new.cab")));
    }

    void exportRefusedWhenTheTreeDidNotLoad()
    {
        QTemporaryDir tmp;
        Catalogue cat(tmp.filePath(QStringLiteral("data")));
        cat.lock();
        writeFile(cat.treeFile(), "Root\r\n\tDisc|L|00000001|FAT|not a number|||1|d|\r\n");
        QVERIFY_THROWS_EXCEPTION(QuilloryError, cat.load({}));
        const QByteArray before = readFile(cat.treeFile());
        QVERIFY_THROWS_EXCEPTION(QuilloryError,
                                 DatabaseBackup::exportDatabase(cat, tmp.filePath(QStringLiteral("x.cab"))));
        QCOMPARE(readFile(cat.treeFile()), before);
        QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("x.cab"))));
    }

    void texts()
    {
        QCOMPARE(DatabaseBackup::proposedExportName(QDate(2026, 12, 5)), QStringLiteral("Database Backup 05-12-2026"));
        QTemporaryDir tmp;
        QCOMPARE(DatabaseBackup::sampleArchive(tmp.path()), QString());
        writeFile(tmp.filePath(QStringLiteral("sample.cab")), "x");
        QCOMPARE(DatabaseBackup::sampleArchive(tmp.path()), tmp.filePath(QStringLiteral("sample.cab")));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseBackup)
#include "tst_databasebackup.moc"
