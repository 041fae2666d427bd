#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/TCD.h"
#include "store/TreeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The group tree file: records, the outline, the upgrade, and the queries on the tree.
class TestGroupTree : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString db() const { return m_dir.path() + QLatin1String("/DB/"); }

    void writeTree(const QByteArray &bytes)
    {
        QDir().mkpath(db());
        QFile f(db() + QLatin1String("groups.tree"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray readTree()
    {
        QFile f(db() + QLatin1String("groups.tree"));
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray();
        return f.readAll();
    }
    void touchDat(const QString &serial)
    {
        QDir().mkpath(db());
        QFile f(db() + serial + QLatin1String(".dat"));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
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
        TextCodec::setBeforeCommitHook(nullptr);
    }

    void recordRoundTrips_data()
    {
        QTest::addColumn<TCD>("cd");
        QTest::addColumn<QString>("line");
        TCD a = sample();
        QTest::newRow("present")
            << a << "Concert 1998|CONC98|1A2B3C4D|CDFS|734003200|Live recording|Rock|3|05.12.2026 13:48:39|";
        TCD dvd = sample();
        dvd.Size = 8547991552LL; // above 2^31 and 2^32
        dvd.Number = -7;
        QTest::newRow("dvd, negative number")
            << dvd << "Concert 1998|CONC98|1A2B3C4D|CDFS|8547991552|Live recording|Rock|-7|05.12.2026 13:48:39|";
        TCD empty = sample();
        empty.Description.clear();
        empty.Genre.clear();
        empty.VolumeLabel.clear();
        QTest::newRow("empty fields") << empty << "Concert 1998||1A2B3C4D|CDFS|734003200|||3|05.12.2026 13:48:39|";
        TCD lent = sample();
        lent.BorrowedTo = QStringLiteral("Anna | Bob");
        QTest::newRow("lent, bar in BorrowedTo")
            << lent
            << "Concert 1998|CONC98|1A2B3C4D|CDFS|734003200|Live recording|Rock|3|05.12.2026 13:48:39|Anna | Bob";
    }
    void recordRoundTrips()
    {
        QFETCH(TCD, cd);
        QFETCH(QString, line);
        QCOMPARE(CDToStr(cd), line);
        QCOMPARE(StrToCD(line), cd);
    }

    void shortLinesShiftFields()
    {
        // Eight separators: the old date lands in BorrowedTo, Date reads empty.
        const TCD cd = StrToCD(QStringLiteral("T|L|00000001|FAT|10|d|g|1|01.01.2001 10:00:00"));
        QCOMPARE(cd.Date, QString());
        QCOMPARE(cd.BorrowedTo, QStringLiteral("01.01.2001 10:00:00"));
    }

    void badNumbersFail_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("size text") << "T|L|00000001|FAT|abc|d|g|1|x|";
        QTest::newRow("size blank") << "T|L|00000001|FAT| 10|d|g|1|x|";
        QTest::newRow("size empty") << "T|L|00000001|FAT||d|g|1|x|";
        QTest::newRow("number float") << "T|L|00000001|FAT|10|d|g|1.5|x|";
        QTest::newRow("number overflow") << "T|L|00000001|FAT|10|d|g|2147483648|x|";
        QTest::newRow("size overflow") << "T|L|00000001|FAT|9223372036854775808|d|g|1|x|";
    }
    void badNumbersFail()
    {
        QFETCH(QString, line);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, StrToCD(line));
    }

    void savesAndLoadsOutline()
    {
        touchDat(QStringLiteral("1A2B3C4D"));
        GroupTree tree;
        TreeNode *root = tree.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        TreeNode *music = tree.addChild(root, QStringLiteral("Music"), KindGroup);
        tree.addDisc(music, sample());
        SaveTree(tree, db());
        QCOMPARE(readTree(), QByteArray("My Collection\r\n\tMusic\r\n\t\tConcert 1998|CONC98|1A2B3C4D|CDFS|734003200|"
                                        "Live recording|Rock|3|05.12.2026 13:48:39|\r\n"));

        GroupTree loaded;
        QStringList messages;
        LoadTree(loaded, db(), [&](const QString &m) { messages << m; });
        QVERIFY(messages.isEmpty());
        QCOMPARE(loaded.root()->kind(), int(KindRoot));
        TreeNode *disc = loaded.root()->child(0)->child(0);
        QCOMPARE(disc->text(), QStringLiteral("Concert 1998"));
        QCOMPARE(disc->kind(), int(KindDisc));
        QCOMPARE(*disc->cd(), sample());
    }

    void lentDiscAndOrdering()
    {
        touchDat(QStringLiteral("00000001"));
        touchDat(QStringLiteral("00000002"));
        // LF-only line ends and a mix of kinds out of order.
        writeTree("Root\n\tzeta\n\tDisc A|L|00000001|FAT|1|||1|d|\n\tAlpha\n\tDisc B|L|00000002|FAT|2|||1|d|Eve\n"
                  "\tbeta\n");
        GroupTree t;
        LoadTree(t, db(), nullptr);
        QStringList order;
        for (int i = 0; i < t.root()->childCount(); ++i)
            order << t.root()->child(i)->text() + u'/' + QString::number(t.root()->child(i)->kind());
        // Lent first, then groups (upper case before lower case), then present discs.
        QCOMPARE(order, (QStringList{"Disc B/5", "Alpha/1", "beta/1", "zeta/1", "Disc A/0"}));
    }

    void upgradesOldFormat()
    {
        touchDat(QStringLiteral("00000001"));
        touchDat(QStringLiteral("00000002"));
        // A mixed file: one old disc line (8 separators) and one current one.
        writeTree("My Collection\r\n\tOld|L|00000001|FAT|1|desc|g|1|01.02.2003 04:05:06\r\n"
                  "\tNew|L|00000002|FAT|2|desc|g|2|01.02.2004 04:05:06|Bob\r\n");
        QStringList messages;
        GroupTree t;
        LoadTree(t, db(), [&](const QString &m) { messages << m; });
        QCOMPARE(messages,
                 (QStringList{"Your database appears to be in older format. It will be updated automatically.",
                              "Update completed!"}));
        QVERIFY(!QFile::exists(db() + QLatin1String("groups.new")));
        const QByteArray upgraded = readTree();
        QVERIFY(upgraded.contains("Old|L|00000001|FAT|1|desc|g|1|01.02.2003 04:05:06|\r\n"));
        // The whole file is upgraded: the current line gains a separator in its BorrowedTo too.
        QVERIFY(upgraded.contains("New|L|00000002|FAT|2|desc|g|2|01.02.2004 04:05:06|Bob|\r\n"));
        TreeNode *old = FindCD(t.root(), QStringLiteral("00000001"));
        QVERIFY(old);
        QCOMPARE(old->cd()->Date, QStringLiteral("01.02.2003 04:05:06"));
        QCOMPARE(old->cd()->BorrowedTo, QString());
        QCOMPARE(old->kind(), int(KindDisc));

        // Once is enough: the second load asks nothing.
        messages.clear();
        LoadTree(t, db(), [&](const QString &m) { messages << m; });
        QVERIFY(messages.isEmpty());
    }

    void noDiscLinesNoUpgrade()
    {
        writeTree("My Collection\r\n\tA\r\n\t\tB\r\n");
        QStringList messages;
        GroupTree t;
        LoadTree(t, db(), [&](const QString &m) { messages << m; });
        QVERIFY(messages.isEmpty());
        QCOMPARE(t.nodeCount(), 3);
    }

    void badLevelFailsAndKeepsTree()
    {
        GroupTree t;
        TreeNode *r = t.addChild(nullptr, QStringLiteral("Keep"), KindRoot);
        Q_UNUSED(r);
        writeTree("Root\r\n\tA\r\n\t\t\tDeep\r\n");
        try {
            LoadTree(t, db(), nullptr);
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid level (3) for item \"Deep\""));
        }
        QCOMPARE(t.root()->text(), QStringLiteral("Keep"));
    }

    void absurdDepthIsRefused()
    {
        // A file nested thousands of levels deep would otherwise exhaust the stack of every
        // recursive walk over the tree.
        QByteArray deep("Root\r\n");
        for (int i = 1; i <= 5000; ++i)
            deep += QByteArray(i, '\t') + "G\r\n";
        writeTree(deep);
        GroupTree t;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, LoadTree(t, db(), nullptr));
        // A few hundred levels still load, and the walk back up is exact.
        QByteArray ok("Root\r\n");
        for (int i = 1; i <= 300; ++i)
            ok += QByteArray(i, '\t') + "G" + QByteArray::number(i) + "\r\n";
        ok += "\tTop\r\n";
        writeTree(ok);
        LoadTree(t, db(), nullptr);
        QCOMPARE(t.root()->childCount(), 2);
        QCOMPARE(t.nodeCount(), 302);
        QCOMPARE(TreeToLines(t).size(), 302);
    }

    void badNumberNamesLine()
    {
        touchDat(QStringLiteral("00000001"));
        writeTree("Root\r\n\tA\r\n\t\tDisc|L|00000001|FAT|12x|||1|d|\r\n");
        GroupTree t;
        try {
            LoadTree(t, db(), nullptr);
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(QLatin1String("line 3")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QLatin1String("'12x'")), qPrintable(e.message()));
        }
    }

    void failedLoadIsNeverSavedOver()
    {
        const QByteArray broken("Root\r\n\tDisc|L|00000001|FAT|oops|||1|d|\r\n");
        writeTree(broken);
        Catalogue cat(m_dir.path());
        QVERIFY_THROWS_EXCEPTION(QuilloryError, cat.load(nullptr));
        QVERIFY(!cat.canSave());
        cat.save();
        QCOMPARE(readTree(), broken);
    }

    void discWithoutContentsFileIsDropped()
    {
        touchDat(QStringLiteral("00000002"));
        writeTree("Root\r\n\tGone|L|00000001|FAT|1|||1|d|\r\n\tHere|L|00000002|FAT|2|||1|d|\r\n");
        GroupTree t;
        LoadTree(t, db(), nullptr);
        QCOMPARE(t.root()->childCount(), 1);
        QCOMPARE(t.root()->child(0)->text(), QStringLiteral("Here"));
        SaveTree(t, db());
        QVERIFY(!readTree().contains("Gone"));
    }

    void unusableSerialsAreDroppedAndNamed()
    {
        // Each serial names an existing file, but not one that is a disc's contents file in DB.
        touchDat(QStringLiteral("00000001"));
        QDir().mkpath(db() + QLatin1String("a"));
        for (const QString &f :
             {db() + QLatin1String("../victim.dat"), db() + QLatin1String("a/b.dat"), db() + QLatin1String("...dat")}) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep");
        }
        writeTree("Root\r\n\tVictim|L|../victim|FAT|1|||1|d|\r\n\tNested|L|a/b|FAT|1|||1|d|\r\n"
                  "\tDots|L|..|FAT|1|||1|d|\r\n\tGood|L|00000001|FAT|1|||1|d|\r\n");
        QStringList told;
        Catalogue cat(m_dir.path());
        cat.load([&](const QString &m) { told << m; });
        QCOMPARE(cat.tree().root()->childCount(), 1);
        QCOMPARE(cat.tree().root()->child(0)->text(), QStringLiteral("Good"));
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first().split(u'\n'),
                 (QStringList{ContentsFile::unusableDiscMessage(QStringLiteral("Victim"), QStringLiteral("../victim")),
                              ContentsFile::unusableDiscMessage(QStringLiteral("Nested"), QStringLiteral("a/b")),
                              ContentsFile::unusableDiscMessage(QStringLiteral("Dots"), QStringLiteral(".."))}));
        QFile victim(m_dir.path() + QLatin1String("/victim.dat"));
        QVERIFY(victim.open(QIODevice::ReadOnly));
        QCOMPARE(victim.readAll(), QByteArray("keep"));
    }

    void interruptedSaveKeepsOldFile()
    {
        const QByteArray before("Old Root\r\n");
        writeTree(before);
        GroupTree t;
        t.addChild(nullptr, QStringLiteral("New Root"), KindRoot);
        TextCodec::setBeforeCommitHook([](const QString &) { throw QuilloryError(QStringLiteral("disk full")); });
        QVERIFY_THROWS_EXCEPTION(QuilloryError, SaveTree(t, db()));
        QCOMPARE(readTree(), before);
        // No temporary file is left beside it.
        QCOMPARE(QDir(db()).entryList(QDir::Files), QStringList{"groups.tree"});
    }

    void findGroupRules()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        TreeNode *music = t.addChild(root, QStringLiteral("Music"), KindGroup);
        TCD present = sample();
        present.Title = QStringLiteral("Present");
        TreeNode *p = t.addDisc(music, present);
        TCD lent = sample();
        lent.Title = QStringLiteral("Lent");
        lent.Serial = QStringLiteral("00000009");
        lent.BorrowedTo = QStringLiteral("Eve");
        TreeNode *l = t.addDisc(root, lent);
        TreeNode *umlaut = t.addChild(root, QStringLiteral("Ärger"), KindGroup);

        QCOMPARE(FindGroup(root, QStringLiteral("my collection")), root);
        QCOMPARE(FindGroup(root, QStringLiteral("MUSIC")), music);
        QCOMPARE(FindGroup(root, QStringLiteral("present")), p); // disc titles are taken too
        QCOMPARE(FindGroup(root, QStringLiteral("LENT")), l);
        QCOMPARE(FindGroup(root, QStringLiteral("Ärger")), umlaut);
        QCOMPARE(FindGroup(root, QStringLiteral("äRGER")), nullptr); // only a-z fold
        QCOMPARE(FindGroup(root, QStringLiteral("Nothing")), nullptr);

        QCOMPARE(FindCD(root, QStringLiteral("1A2B3C4D")), p);
        QCOMPARE(FindCD(root, QStringLiteral("1a2b3c4d")), nullptr); // serials are exact
    }

    void doGroupTotals()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("Root"), KindRoot);
        TreeNode *a = t.addChild(root, QStringLiteral("A"), KindGroup);
        TreeNode *b = t.addChild(a, QStringLiteral("B"), KindGroup);
        t.addChild(b, QStringLiteral("C"), KindGroup);
        TCD d = sample();
        d.Size = 5000000000LL;
        t.addDisc(root, d);
        t.addDisc(a, d);
        d.BorrowedTo = QStringLiteral("x");
        t.addDisc(b, d);
        const GroupTotals all = DoGroup(root);
        QCOMPARE(all.size, 15000000000LL);
        QCOMPARE(all.discs, 3);
        QCOMPARE(all.groups, 3);
        const GroupTotals inA = DoGroup(a);
        QCOMPARE(inA.size, 10000000000LL);
        QCOMPARE(inA.discs, 2);
        QCOMPARE(inA.groups, 2);
    }

    static bool rowsConsistent(const GroupTree &t)
    {
        bool ok = true;
        t.forEachPreOrder([&ok](TreeNode *n) {
            for (int i = 0; i < n->childCount(); ++i)
                ok = ok && n->child(i)->row() == i && n->child(i)->parent() == n;
        });
        return ok;
    }

    void moveRefusesOwnSubtree()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("Root"), KindRoot);
        TreeNode *a = t.addChild(root, QStringLiteral("A"), KindGroup);
        TreeNode *b = t.addChild(a, QStringLiteral("B"), KindGroup);
        QVERIFY(!t.moveNode(a, b));
        QVERIFY(t.moveNode(b, root));
        QCOMPARE(b->parent(), root);
        QCOMPARE(a->childCount(), 0);
        TreeNode *c = t.addChild(root, QStringLiteral("0 first"), KindGroup, {}, 0);
        QVERIFY(t.moveNode(c, root, -1));
        QVERIFY(t.moveNode(a, b));
        QVERIFY(rowsConsistent(t));
        t.sort();
        QCOMPARE(root->child(0), c);
        QVERIFY(rowsConsistent(t));
        t.removeNode(c);
        QVERIFY(rowsConsistent(t));
    }

    void cp1252TreeIsRead()
    {
        writeTree("M\xfcsik\r\n\t\x80uro\r\n");
        GroupTree t;
        LoadTree(t, db(), nullptr);
        QCOMPARE(t.root()->text(), QStringLiteral("Müsik"));
        QCOMPARE(t.root()->child(0)->text(), QStringLiteral("€uro"));
    }
};

QTEST_GUILESS_MAIN(TestGroupTree)
#include "tst_grouptree.moc"
