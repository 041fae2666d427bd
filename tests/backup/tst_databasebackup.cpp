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
#include "store/TreeFile.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <sys/stat.h>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

class TestDatabaseBackup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<Catalogue> m_cat;

    static TCD disc(const QString &title, const QString &serial, const QString &borrowedTo = QString())
    {
        return {.Title = title, .VolumeLabel = title.toUpper(), .Serial = serial, .FileSystem = u"CDFS"_s,
                .Size = 1000, .BorrowedTo = borrowedTo};
    }

    // A catalogue on disk with two groups and three discs (one lent), each with contents.
    static void makeCatalogue(Catalogue &cat)
    {
        cat.lock();
        cat.load({});
        GroupTree &t = cat.tree();
        TreeNode *music = t.addChild(t.root(), u"Music"_s, KindGroup);
        TreeNode *photos = t.addChild(t.root(), u"Photos"_s, KindGroup);
        t.addDisc(music, disc(u"Rock"_s, u"AAAA0001"_s));
        t.addDisc(photos, disc(u"Summer"_s, u"BBBB0002"_s, u"Ann"_s));
        t.addDisc(music, disc(u"Jazz"_s, u"CCCC0003"_s));
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

    // What a hostile header may claim: the first member's size (no checksum covers the file table).
    static QByteArray claimingFirstMemberSize(QByteArray bytes, quint32 size)
    {
        const quint32 filesAt = qFromLittleEndian<quint32>(bytes.constData() + 16);
        qToLittleEndian<quint32>(size, bytes.data() + filesAt);
        return bytes;
    }
    static void claimFirstMemberSize(const QString &path, quint32 size)
    {
        writeFile(path, claimingFirstMemberSize(readFile(path), size));
    }

    // A real contents file of a disc (AAAA0001 unless named) holding these lists, as the catalogue packs it.
    static QByteArray contentsOf(const QByteArray &folderList, const QByteArray &fileList,
                                 const QString &serial = u"AAAA0001"_s)
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + u'/';
        ContentsFile::packBytes(folder, serial, folderList, fileList, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 6)));
        return readFile(ContentsFile::contentsFileName(folder, serial));
    }

    static QByteArray treeOf(const QStringList &lines) { return TextCodec::joinLines(lines); }

    // The export of makeCatalogue's catalogue: the discs in tree order (the lent one too), the tree.
    static inline const QStringList Archived{u"CCCC0003.dat"_s, u"AAAA0001.dat"_s, u"BBBB0002.dat"_s, u"groups.tree"_s};

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_cat = std::make_unique<Catalogue>(m_tmp->filePath(u"data"_s));
        makeCatalogue(*m_cat);
    }

    // Nothing but the catalogue reaches an archive: no loose lists, no stray contents, no user files.
    void exportHoldsTheCatalogueOnly()
    {
        Catalogue &cat = *m_cat;
        for (const char *stray : {"AAAA0001.dir", "AAAA0001.file", "AAAA0001.dat.bak", "FFFF0006.dat", "x.tree"})
            writeFile(cat.dbFolder() + QLatin1String(stray), "stray");
        // A change still only in memory reaches the archive: the tree is saved first.
        cat.tree().addChild(cat.tree().root(), u"Unsaved group"_s, KindGroup);
        const QDateTime old(QDate(2020, 5, 6), QTime(7, 8, 10));
        const QString dat = ContentsFile::contentsFileName(cat.dbFolder(), u"CCCC0003"_s);
        writeFile(dat, readFile(dat), old);
        const QString archive = m_tmp->filePath(u"out.cab"_s);
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
        QCOMPARE(cabextractNames(archive), Archived);
        QVERIFY(readFile(cat.treeFile()).contains("Unsaved group"));

        QCOMPARE(TSTCabReader().List(archive).front().Modified, old);
    }

    // A disc whose contents file the import would refuse is left out and named, so that the
    // archive restores everything else.
    void exportLeavesOutWhatImportRefuses()
    {
        Catalogue &cat = *m_cat;
        writeFile(ContentsFile::contentsFileName(cat.dbFolder(), u"CCCC0003"_s), "junk");
        ContentsFile::packBytes(cat.dbFolder(), u"AAAA0001"_s, "..\\\n\\\n0\nd\n-\n", "");
        const QString archive = m_tmp->filePath(u"out.cab"_s);
        QStringList told;
        DatabaseBackup::exportDatabase(cat, archive, {}, [&](const QString &m) { told.append(m); });
        QCOMPARE(cabextractNames(archive), (QStringList{u"BBBB0002.dat"_s, u"groups.tree"_s}));
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(u"\"Jazz\" (CCCC0003), whose contents file cannot be read"_s), qPrintable(told[0]));
        QVERIFY2(told[0].contains(u"\"Rock\" (AAAA0001), whose list names \"\\..\""_s), qPrintable(told[0]));

        Catalogue restored(m_tmp->filePath(u"restored"_s));
        restored.lock();
        // Restored into an empty catalogue, the discs left out are named, not dropped in silence.
        const QString told2 = DatabaseBackup::importDatabase(archive, restored.dbFolder());
        QVERIFY2(told2.startsWith(u"The archive was imported, but its group tree names discs"_s) &&
                     told2.contains(u"\nJazz (CCCC0003)"_s) && told2.contains(u"\nRock (AAAA0001)"_s),
                 qPrintable(told2));
        restored.load({});
        QVERIFY(FindCD(restored.tree().root(), u"BBBB0002"_s));
        QVERIFY(!FindCD(restored.tree().root(), u"CCCC0003"_s));
    }

    // Serials naming paths: the export names them and archives nothing of theirs.
    void unusableSerialsReachNothingOutsideDb()
    {
        Catalogue &cat = *m_cat;
        writeFile(cat.dataFolder() + u"victim.dat"_s, "victim");
        writeFile(cat.dbFolder() + u"a/b.dat"_s, "nested");
        for (const QString &s : {u"../victim"_s, u"a/b"_s})
            cat.tree().addDisc(cat.tree().root(), disc(u"Bad "_s + s, s));
        // All but DB's own files (the export saves the tree): what the serials name.
        const auto outside = [&cat] {
            auto m = snapshot(cat.dataFolder());
            m.removeIf([](const auto &it) { return it.key().startsWith(u"DB/"_s) && !it.key().startsWith(u"DB/a"_s); });
            return m;
        };
        const auto outsideBefore = outside();
        QStringList told;
        const QString archive = m_tmp->filePath(u"out.cab"_s);
        DatabaseBackup::exportDatabase(cat, archive, {}, [&](const QString &m) { told << m; });
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().contains(u"\"Bad ../victim\""_s), qPrintable(told.first()));
        QCOMPARE(cabextractNames(archive), Archived);
        QCOMPARE(outside(), outsideBefore);
    }

    // Not a cabinet, a name leaving DB, a tree that does not load, members too large, no tree, a disc of the tree
    // that does not read or whose list names what no medium holds, a serial twice: refused before anything in DB
    // changes.
    void refusedImportsChangeNothing_data()
    {
        QTest::addColumn<QString>("archive"); // a fixture, or empty: made of the tree and two contents files
        QTest::addColumn<QByteArray>("tree");
        QTest::addColumn<quint32>("claimedSize");
        QTest::addColumn<QByteArray>("contents"); // of AAAA0001 in the archive, when not junk
        QTest::addColumn<QString>("message");
        const QString disc = u"\t\tNew|L|AAAA0001|CDFS|1|||1|d|"_s;
        const QByteArray tree = treeOf({"Root", "\tA", disc});
        const QByteArray sub = "sub\\\n\\\n0\n2024-01-02 03:04\n-\n";
        const QByteArray good = contentsOf(sub, "a.txt\n\\sub\\\n1\n2024-01-02 03:04\n-\n");
        const QString unread = u"holds disc \"New\" (AAAA0001) whose contents file cannot be read"_s;
        QTest::newRow("not a cabinet")
            << u"src/alpha.txt"_s << QByteArray() << 0u << QByteArray()
            << u"cannot be read: Cabinet file does not have the correct format [0x0002]. Nothing was imported."_s;
        QTest::newRow("safe then unsafe name")
            << u"mixed-member.cab"_s << QByteArray() << 0u << QByteArray() << u"..\\evil.txt"_s;
        QTest::newRow("bad level") << QString() << treeOf({"Root", "\tA", "\t\t\tDeep", disc}) << 0u << QByteArray()
                                   << u"Invalid level (3) for item \"Deep\""_s;
        QTest::newRow("tree too large") << QString() << treeOf({"Root"}) << quint32(300u << 20) << QByteArray()
                                        << u"more than the 256 MB"_s;
        QTest::newRow("contents file too large") << QString() << QByteArray() << quint32(3000u << 20) << QByteArray()
                                                 << u"more than the %1 MB"_s.arg(ContentsFile::MaxListBytes >> 20);
        QTest::newRow("no group tree") << QString() << QByteArray() << 0u << QByteArray()
                                       << u"is not a backup of a catalogue: it holds no group tree"_s;
        QTest::newRow("junk contents file") << QString() << tree << 0u << QByteArray() << unread;
        QTest::newRow("truncated contents file") << QString() << tree << 0u << good.chopped(6) << unread;
        QTest::newRow("list beyond its limit")
            << QString() << tree << 0u << claimingFirstMemberSize(good, quint32(600u << 20))
            << ContentsList::tooLargeMessage(600 << 20);
        QTest::newRow("\"..\" as a name")
            << QString() << tree << 0u << contentsOf(sub + "..\\\n\\sub\\\n0\nd\n-\n", "")
            << u"(AAAA0001) whose list names \"\\sub\\..\"; a scan never writes such a name. Nothing was imported."_s;
        QTest::newRow("\".\" in a folder") << QString() << tree << 0u << contentsOf(sub, "b\n\\sub\\.\\\n1\nd\n-\n")
                                           << u"list names \"\\sub\\.\\b\""_s;
        QTest::newRow("a serial twice") << QString() << treeOf({"Root", "\tA", disc, "\tOld|L|AAAA0001|CDFS|1|||2|d|"})
                                        << 0u << good
                                        << u"names the disc serial AAAA0001 twice, for \"New\" and for \"Old\""_s;
    }
    void refusedImportsChangeNothing()
    {
        QFETCH(QString, archive);
        QFETCH(QByteArray, tree);
        QFETCH(quint32, claimedSize);
        QFETCH(QByteArray, contents);
        QFETCH(QString, message);
        Catalogue &cat = *m_cat;
        const auto before = snapshot(cat.dbFolder());
        if (archive.isEmpty()) {
            // One contents file replaces the user's, one is new to DB (written straight into it).
            Members members{{u"AAAA0001.dat"_s, contents.isEmpty() ? QByteArray("new contents") : contents},
                            {u"DDDD0004.dat"_s, QByteArray("a new disc")}};
            if (!tree.isEmpty())
                members.prepend({u"groups.tree"_s, tree});
            archive = archiveOf(m_tmp->filePath(u"in/hostile.cab"_s), members);
            if (claimedSize)
                claimFirstMemberSize(archive, claimedSize);
        } else {
            archive = fixture(archive);
        }
        const QString why = refusal([&] { DatabaseBackup::importDatabase(archive, cat.dbFolder()); });
        QVERIFY2(why.contains(message), qPrintable(why));
        QCOMPARE(snapshot(cat.dbFolder()), before);
        QVERIFY(!QFileInfo::exists(CatalogueSwitch::stagingFolderOf(cat.dbFolder())));
        QCOMPARE(QDir(m_tmp->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        cat.load({});
        QVERIFY(FindCD(cat.tree().root(), u"AAAA0001"_s));
    }

    // Only the tree and the contents files it names come in, under the names a load looks for.
    void importTakesOnlyTheCatalogue()
    {
        Catalogue &cat = *m_cat;
        const QString db = cat.dbFolder();
        const QByteArray kept = readFile(ContentsFile::contentsFileName(db, u"BBBB0002"_s));
        const QByteArray newA = contentsOf("d new A", "f new A");
        const QString archive =
            archiveOf(m_tmp->filePath(u"mixed.cab"_s),
                      {{u"AAAA0001.DAT"_s, newA},
                       {u"EEEE0005.dat"_s, QByteArray("not in the tree")},
                       {u"dddd0004.DAT"_s, contentsOf("d D", "f D", u"DDDD0004"_s)}, // from a system blind to case
                       {u"junk.txt"_s, QByteArray("junk")},
                       {u"AAAA0001.dir"_s, QByteArray("a loose list")},
                       {Catalogue::lockName(), QByteArray("1\nother\nhost\n")},
                       {u"GROUPS.TREE"_s,
                        treeOf({"Imported", "\tNew A|L|AAAA0001|CDFS|1|||1|d|", "\tOld B|L|BBBB0002|CDFS|1|||2|d|",
                                "\tNowhere|L|CCCC0009|CDFS|1|||3|d|", "\tCase D|L|DDDD0004|CDFS|1|||4|d|"})}});
        const QStringList filesBefore = QDir(db).entryList(QDir::Files);
        DatabaseBackup::importDatabase(archive, db);
        QStringList filesAfter = QStringList(filesBefore) << u"dddd0004.dat"_s,
                    filesNow = QDir(db).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        filesAfter.sort();
        filesNow.sort();
        QCOMPARE(filesNow, filesAfter);
        QCOMPARE(readFile(ContentsFile::contentsFileName(db, u"AAAA0001"_s)), newA);
        QCOMPARE(readFile(ContentsFile::contentsFileName(db, u"BBBB0002"_s)), kept);
        QVERIFY(cat.isLocked());
        cat.load({});
        QCOMPARE(TreeToLines(cat.tree()),
                 (QStringList{"Imported", "\tCase D|L|DDDD0004|CDFS|1|||4|d|", "\tNew A|L|AAAA0001|CDFS|1|||1|d|",
                              "\tOld B|L|BBBB0002|CDFS|1|||2|d|"}));
        QVERIFY(ContentsFile::exists(db, u"DDDD0004"_s));
    }

    // A move that fails after the deciding step does not undo the import: it is said, the
    // catalogue reads as imported, and a save carries the rest through rather than writing the
    // old tree over the new one.
    void anImportPastItsDecidingStepStands()
    {
        Catalogue &cat = *m_cat;
        const QString db = cat.dbFolder(), dat = ContentsFile::contentsFileName(db, u"AAAA0001"_s);
        const QByteArray newA = contentsOf("d new A", "f new A");
        const QString archive = archiveOf(
            m_tmp->filePath(u"a.cab"_s),
            {{u"AAAA0001.dat"_s, newA}, {u"groups.tree"_s, treeOf({"Imported", "\tNew A|L|AAAA0001|CDFS|1|||1|d|"})}});
        // Every move fails once the journal is written, now and when tried again.
        bool decided = false;
        CatalogueSwitch::setStepHook([&](const char *what) {
            if (QByteArrayView(what) == "write journal")
                decided = true;
            else if (decided && QByteArrayView(what) == "rename")
                throw QuilloryError(u"disk gone"_s);
        });
        const auto noHook = qScopeGuard([] { CatalogueSwitch::setStepHook({}); });
        const QString unfinished = DatabaseBackup::importDatabase(archive, db);
        QVERIFY2(unfinished.startsWith(u"The archive was imported, but not every file"_s) &&
                     unfinished.endsWith(u"disk gone"_s),
                 qPrintable(unfinished));
        cat.load({});
        QCOMPARE(TreeToLines(cat.tree()), (QStringList{u"Imported"_s, u"\tNew A|L|AAAA0001|CDFS|1|||1|d|"_s}));
        QCOMPARE(ContentsFile::read(db, u"AAAA0001"_s).fileList, QByteArray("f new A"));
        CatalogueSwitch::setStepHook({});
        cat.save();
        QCOMPARE(readFile(dat), newA);
        QVERIFY(readFile(cat.treeFile()).startsWith("Imported"));
    }

    // Archives inside DB are refused both ways, through a link too; a tree that did not load is
    // not exported (saving it first would put an empty one over "groups.tree").
    void refusedExportsWriteNothing()
    {
        const QString db = m_cat->dbFolder(), outside = m_tmp->filePath(u"outside.cab"_s);
        DatabaseBackup::exportDatabase(*m_cat, outside);
        QVERIFY(QFile::copy(outside, db + u"copy.cab"_s));
        QVERIFY(QFile::link(db + u"groups.tree"_s, m_tmp->filePath(u"link.cab"_s)));
        const auto before = snapshot(db);
        for (const QString &target : {db + u"groups.tree"_s, m_tmp->filePath(u"link.cab"_s)}) {
            const QString why = refusal([&] { DatabaseBackup::exportDatabase(*m_cat, target); });
            QVERIFY2(why.contains(u"inside the database folder"_s), qPrintable(target + u": "_s + why));
        }
        const QString why = refusal([&] { DatabaseBackup::importDatabase(db + u"copy.cab"_s, db); });
        QVERIFY2(why.contains(u"inside the database folder"_s), qPrintable(why));
        QCOMPARE(snapshot(db), before);
        // A mistyped folder is not made; a pipe is not replaced.
        const QString pipe = m_tmp->filePath(u"pipe.cab"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QString &target : {m_tmp->filePath(u"no such folder/x.cab"_s), pipe}) {
            const QString refused = refusal([&] { DatabaseBackup::exportDatabase(*m_cat, target); });
            QVERIFY2(refused.endsWith(u"Nothing was exported."_s), qPrintable(refused));
        }
        QVERIFY(!QFileInfo::exists(m_tmp->filePath(u"no such folder"_s)) && !QFileInfo(pipe).isFile());

        const QByteArray bad = "Root\r\n\tDisc|L|00000001|FAT|not a number|||1|d|\r\n";
        const QByteArray exported = readFile(outside);
        writeFile(m_cat->treeFile(), bad);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, m_cat->load({}));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, DatabaseBackup::exportDatabase(*m_cat, outside));
        QCOMPARE(readFile(m_cat->treeFile()) + readFile(outside), bad + exported);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseBackup)
#include "tst_databasebackup.moc"
