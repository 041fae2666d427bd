#include "CabTestUtil.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/TCD.h"
#include "store/TreeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace CabTestUtil;

// The group tree file as a catalogue loads and saves it: the upgrade, the load's checks on
// disk, and the queries on the tree.
class TestGroupTree : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString db() const { return m_dir.path() + QLatin1String("/DB/"); }

    void writeTree(const QByteArray &bytes) { writeFile(db() + QLatin1String("groups.tree"), bytes); }
    QByteArray readTree() { return readFile(db() + QLatin1String("groups.tree")); }
    void touchDat(const QString &serial) { writeFile(ContentsFile::contentsFileName(db(), serial), QByteArray()); }
    static TCD sample()
    {
        TCD cd;
        cd.Title = QStringLiteral("Concert 1998");
        cd.VolumeLabel = QStringLiteral("CONC98");
        cd.Serial = QStringLiteral("1A2B3C4D");
        cd.FileSystem = QStringLiteral("CDFS");
        cd.Size = 734003200;
        cd.Description = QStringLiteral("Live recording");
        cd.Genre = QStringLiteral("Rock");
        cd.Number = 3;
        cd.Date = QStringLiteral("05.12.2026 13:48:39");
        return cd;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }
    void cleanup()
    {
        QDir(db()).removeRecursively();
        QFile::remove(m_dir.path() + QLatin1String("/victim.dat"));
        TextCodec::setBeforeCommitHook(nullptr);
    }

    // Saved and loaded whole; a save that fails (a full disk) leaves the older file and no
    // temporary one beside it.
    void savesAndLoadsOutline()
    {
        touchDat(QStringLiteral("1A2B3C4D"));
        GroupTree tree;
        TreeNode *root = tree.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        tree.addDisc(tree.addChild(root, QStringLiteral("Music"), KindGroup), sample());
        SaveTree(tree, db());
        const QByteArray saved("My Collection\r\n\tMusic\r\n\t\tConcert 1998|CONC98|1A2B3C4D|CDFS|734003200|"
                               "Live recording|Rock|3|05.12.2026 13:48:39|\r\n");
        QCOMPARE(readTree(), saved);
        GroupTree loaded;
        LoadTree(loaded, db(), [](const QString &m) { QFAIL(qPrintable(m)); });
        QCOMPARE(*loaded.root()->child(0)->child(0)->cd(), sample());

        TextCodec::setBeforeCommitHook([](const QString &) { throw QuilloryError(QStringLiteral("disk full")); });
        tree.addChild(root, QStringLiteral("New"), KindGroup);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, SaveTree(tree, db()));
        QCOMPARE(readTree(), saved);
        QCOMPARE(QDir(db()).entryList(QDir::Files), (QStringList{"1A2B3C4D.dat", "groups.tree"}));
    }

    // The older format is upgraded in the file once, with a word to the user. A file that does
    // not load is never written, by the upgrade or by a later save; nor is one read without
    // the right to write.
    void onlyALoadedTreeIsUpgraded_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<bool>("mayWrite");
        const QByteArray old("My Collection\r\n\tOld|L|00000001|FAT|1|desc|g|1|01.02.2003 04:05:06\r\n");
        QTest::newRow("older format") << old + "\tNew|L|00000002|FAT|2|desc|g|2|01.02.2004 04:05:06|Bob\r\n"
                                      << true << true;
        QTest::newRow("read only") << old << true << false;
        QTest::newRow("too deep") << old + "\t\t\tDeep\r\n" << false << true;
        QTest::newRow("bad number") << old + "\tBad|L|00000002|FAT|x|d|g|1|01.02.2003 04:05:06\r\n" << false << true;
        QTest::newRow("garbage") << QByteArray("\x01\xff|\x02|||||||garbage\r\n\t\t\t\t\t\x03\r\n") << false << true;
    }
    void onlyALoadedTreeIsUpgraded()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, loads);
        QFETCH(bool, mayWrite);
        touchDat(QStringLiteral("00000001"));
        touchDat(QStringLiteral("00000002"));
        writeTree(file);
        QStringList told;
        Catalogue cat(m_dir.path());
        const auto load = [&] {
            cat.load([&](const QString &m) { told << m; }, mayWrite ? TreeWrite::Allowed : TreeWrite::Never);
        };
        if (!loads) {
            QVERIFY_THROWS_EXCEPTION(QuilloryError, load());
            cat.save();
        } else {
            load();
            QCOMPARE(FindCD(cat.tree().root(), QStringLiteral("00000001"))->cd()->Date,
                     QStringLiteral("01.02.2003 04:05:06"));
        }
        if (!loads || !mayWrite) {
            QCOMPARE(readTree(), file);
            QVERIFY(told.isEmpty());
            return;
        }
        QCOMPARE(told, (QStringList{"Your database appears to be in older format. It will be updated automatically.",
                                    "Update completed!"}));
        // The whole file is upgraded: the current line gains a separator in its BorrowedTo too.
        QCOMPARE(readTree(), QByteArray("My Collection\r\n\tOld|L|00000001|FAT|1|desc|g|1|01.02.2003 04:05:06|\r\n"
                                        "\tNew|L|00000002|FAT|2|desc|g|2|01.02.2004 04:05:06|Bob|\r\n"));
        QCOMPARE(QDir(db()).entryList(QDir::Files), (QStringList{"00000001.dat", "00000002.dat", "groups.tree"}));
        told.clear();
        load();
        QVERIFY(told.isEmpty());
    }

    // Each refused with its reason, the tree in memory kept. The limits lie far beyond any
    // catalogue, and are met before the load costs much more than the file's size.
    void badFilesFailAndKeepTheTree_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: a sparse file just past the size limit
        QTest::addColumn<QString>("message"); // empty: the file loads
        QTest::newRow("too large") << QByteArray() << QStringLiteral("is larger than 256 MB");
        QByteArray many("Root\n");
        for (int i = 0; i < TreeLimits::MaxNodes; ++i)
            many += "\tG\n";
        QTest::newRow("too many nodes") << many << QStringLiteral("more than 1000000 entries");
        QTest::newRow("level") << QByteArray("Root\r\n\tA\r\n\t\t\tDeep\r\n")
                               << QStringLiteral("Invalid level (3) for item \"Deep\"");
        // Taken for the root, it would put every disc added later under it.
        QTest::newRow("first line indented")
            << QByteArray("\tRoot\r\n\tA\r\n") << QStringLiteral("Invalid level (1) for item \"Root\"");
        // Every line's length is checked before any line is read.
        QTest::newRow("line too long after a bad one")
            << QByteArray("Root\r\n\tA\r\n\t\tDisc|L|00000001|FAT|12x|||1|d|\r\n\t") + QByteArray((1 << 20) + 1, 'x')
            << QStringLiteral("line 4: a line longer than 1 MB");
        QTest::newRow("number") << QByteArray("Root\r\n\tA\r\n\t\tDisc|L|00000001|FAT|12x|||1|d|\r\n")
                                << QStringLiteral("\"groups.tree\", line 3: '12x'");
        QTest::newRow("number, line not ASCII")
            << QByteArray("Root\r\n\tA\r\n\t\tD\xC3\xA4sc|L|1|UDF|1|d|g\r\n") << QStringLiteral("line 3: ''");
        QTest::newRow("level of a disc line") << QByteArray("Root\r\n\t\t\tDeep|L|1|UDF|1|d|g|1|x|\r\n")
                                              << QStringLiteral("Invalid level (3) for item \"Deep|L|1|UDF|1|d|g|1|x|\"");
        QByteArray deep("Root\r\n"), sane("Root\r\n");
        for (int i = 1; i <= 5000; ++i)
            deep += QByteArray(i, '\t') + "G\r\n";
        for (int i = 1; i <= 300; ++i)
            sane += QByteArray(i, '\t') + "G\r\n";
        sane += "\tTop\r\n";
        QTest::newRow("absurd depth") << deep << QStringLiteral("deeper than");
        QTest::newRow("deep but sane") << sane << QString();
    }
    void badFilesFailAndKeepTheTree()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        GroupTree t;
        t.addChild(nullptr, QStringLiteral("Keep"), KindRoot);
        writeTree(file);
        if (file.isNull())
            QVERIFY(QFile::resize(db() + QLatin1String("groups.tree"), TreeLimits::MaxFileBytes + 1)); // sparse
        try {
            LoadTree(t, db(), nullptr);
            QVERIFY(message.isEmpty());
            QCOMPARE(TreeToLines(t).size(), 302);
            return;
        } catch (const QuilloryError &e) {
            QVERIFY2(!message.isEmpty() && e.message().contains(message), qPrintable(e.message()));
        }
        QCOMPARE(t.root()->text(), QStringLiteral("Keep"));
    }

    void discsWithoutAUsableContentsFileAreDropped()
    {
        // "Gone" has no contents file and goes silently. The others name existing files, but
        // none is a disc's contents file in DB: they go, and the user is told which.
        touchDat(QStringLiteral("00000001"));
        writeFile(m_dir.path() + QLatin1String("/victim.dat"), "keep");
        writeFile(db() + QLatin1String("a/b.dat"), "keep");
        writeFile(db() + QLatin1String("...dat"), "keep");
        writeTree("Root\r\n\tVictim|L|../victim|FAT|1|||1|d|\r\n\tNested|L|a/b|FAT|1|||1|d|\r\n"
                  "\tDots|L|..|FAT|1|||1|d|\r\n\tGone|L|00000009|FAT|1|||1|d|\r\n\tGood|L|00000001|FAT|1|||1|d|\r\n");
        QStringList told;
        Catalogue cat(m_dir.path());
        cat.load([&](const QString &m) { told << m; });
        QCOMPARE(TreeToLines(cat.tree()), (QStringList{"Root", "\tGood|L|00000001|FAT|1|||1|d|"}));
        const QStringList unusable{
            ContentsFile::unusableDiscMessage(QStringLiteral("Victim"), QStringLiteral("../victim")),
            ContentsFile::unusableDiscMessage(QStringLiteral("Nested"), QStringLiteral("a/b")),
            ContentsFile::unusableDiscMessage(QStringLiteral("Dots"), QStringLiteral(".."))};
        QCOMPARE(told, QStringList{unusable.join(u'\n')});
        QCOMPARE(readFile(m_dir.path() + QLatin1String("/victim.dat")), QByteArray("keep"));
    }

    void queries()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        TreeNode *music = t.addChild(root, QStringLiteral("Music"), KindGroup);
        TreeNode *sub = t.addChild(music, QStringLiteral("Sub"), KindGroup);
        TreeNode *present = t.addDisc(music, sample());
        TCD lent = sample();
        lent.Title = QStringLiteral("Lent");
        lent.Serial = QStringLiteral("00000009");
        t.addDisc(sub, lent);
        TreeNode *umlaut = t.addChild(root, QStringLiteral("Ärger"), KindGroup);

        QCOMPARE(FindGroup(root, QStringLiteral("MUSIC")), music);
        QCOMPARE(FindGroup(root, QStringLiteral("concert 1998")), present); // disc titles are taken too
        QCOMPARE(FindGroup(root, QStringLiteral("Ärger")), umlaut);
        QCOMPARE(FindGroup(root, QStringLiteral("äRGER")), nullptr); // only a-z fold
        QCOMPARE(FindCD(root, QStringLiteral("00000009"))->text(), QStringLiteral("Lent"));
        QCOMPARE(FindCD(root, QStringLiteral("1a2b3c4d")), nullptr); // serials are exact
        const GroupTotals all = DoGroup(root);
        QCOMPARE(QList<qint64>({all.size, all.discs, all.groups, DoGroup(music).groups}),
                 QList<qint64>({2 * 734003200LL, 2, 3, 1}));
    }

    void movesKeepRowsConsistent()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("Root"), KindRoot);
        TreeNode *a = t.addChild(root, QStringLiteral("A"), KindGroup);
        TreeNode *b = t.addChild(a, QStringLiteral("B"), KindGroup);
        QVERIFY(!t.moveNode(a, b)); // not into its own subtree
        QVERIFY(t.moveNode(b, root));
        TreeNode *c = t.addChild(root, QStringLiteral("0 first"), KindGroup, {}, 0);
        QVERIFY(t.moveNode(c, root, -1));
        QVERIFY(t.moveNode(a, b));
        t.sort();
        QCOMPARE(root->child(0), c);
        t.removeNode(c);
        bool ok = true;
        t.forEachPreOrder([&ok](TreeNode *n) {
            for (int i = 0; i < n->childCount(); ++i)
                ok = ok && n->child(i)->row() == i && n->child(i)->parent() == n;
        });
        QVERIFY(ok);
        QCOMPARE(TreeToLines(t), (QStringList{"Root", "\tB", "\t\tA"}));
    }
};

QTEST_GUILESS_MAIN(TestGroupTree)
#include "tst_grouptree.moc"
