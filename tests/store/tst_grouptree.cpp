#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/TCD.h"
#include "store/TreeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The group tree file: records, the outline, the upgrade, the load's checks on disk, and the
// queries on the tree.
class TestGroupTree : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString db() const { return m_dir.path() + QLatin1String("/DB/"); }

    void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void writeTree(const QByteArray &bytes) { writeFile(db() + QLatin1String("groups.tree"), bytes); }
    QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray readTree() { return readFile(db() + QLatin1String("groups.tree")); }
    void touchDat(const QString &serial) { writeFile(ContentsFile::contentsFileName(db(), serial), QByteArray()); }
    static QStringList children(const TreeNode *n)
    {
        QStringList out;
        for (int i = 0; i < n->childCount(); ++i)
            out << n->child(i)->text() + u'/' + QString::number(n->child(i)->kind());
        return out;
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
        QFile::remove(m_dir.path() + QLatin1String("/victim.dat"));
        TextCodec::setBeforeCommitHook(nullptr);
    }

    void savesAndLoadsOutline()
    {
        touchDat(QStringLiteral("1A2B3C4D"));
        GroupTree tree;
        TreeNode *root = tree.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        tree.addDisc(tree.addChild(root, QStringLiteral("Music"), KindGroup), sample());
        SaveTree(tree, db());
        QCOMPARE(readTree(), QByteArray("My Collection\r\n\tMusic\r\n\t\tConcert 1998|CONC98|1A2B3C4D|CDFS|734003200|"
                                        "Live recording|Rock|3|05.12.2026 13:48:39|\r\n"));
        GroupTree loaded;
        QStringList told;
        LoadTree(loaded, db(), [&](const QString &m) { told << m; });
        QVERIFY(told.isEmpty());
        QCOMPARE(loaded.root()->kind(), int(KindRoot));
        const TreeNode *disc = loaded.root()->child(0)->child(0);
        QCOMPARE(disc->text(), QStringLiteral("Concert 1998"));
        QCOMPARE(*disc->cd(), sample());
    }

    void upgradesOldFormatOnce()
    {
        writeTree("My Collection\r\n\tA\r\n");
        QStringList told;
        GroupTree t;
        LoadTree(t, db(), [&](const QString &m) { told << m; });
        QVERIFY(told.isEmpty()); // no disc lines, nothing to upgrade

        touchDat(QStringLiteral("00000001"));
        touchDat(QStringLiteral("00000002"));
        // A mixed file: one old disc line (8 separators) and one current one.
        writeTree("My Collection\r\n\tOld|L|00000001|FAT|1|desc|g|1|01.02.2003 04:05:06\r\n"
                  "\tNew|L|00000002|FAT|2|desc|g|2|01.02.2004 04:05:06|Bob\r\n");
        LoadTree(t, db(), [&](const QString &m) { told << m; });
        QCOMPARE(told, (QStringList{"Your database appears to be in older format. It will be updated automatically.",
                                    "Update completed!"}));
        QVERIFY(!QFile::exists(db() + QLatin1String("groups.new")));
        // The whole file is upgraded: the current line gains a separator in its BorrowedTo too.
        QVERIFY(readTree().contains("Old|L|00000001|FAT|1|desc|g|1|01.02.2003 04:05:06|\r\n"));
        QVERIFY(readTree().contains("New|L|00000002|FAT|2|desc|g|2|01.02.2004 04:05:06|Bob|\r\n"));
        const TreeNode *old = FindCD(t.root(), QStringLiteral("00000001"));
        QCOMPARE(old->cd()->Date, QStringLiteral("01.02.2003 04:05:06"));
        QCOMPARE(old->kind(), int(KindDisc));
        told.clear();
        LoadTree(t, db(), [&](const QString &m) { told << m; });
        QVERIFY(told.isEmpty());
    }

    // A file that does not load is never rewritten: not by the upgrade of the older format,
    // and by no load that may not write.
    void onlyALoadedTreeIsUpgraded()
    {
        touchDat(QStringLiteral("00000001"));
        const QByteArray old("My Collection\r\n\tOld|L|00000001|FAT|1|desc|g|1|01.02.2003 04:05:06\r\n");
        for (const QByteArray &broken :
             {old + "\t\t\tDeep\r\n", old + "\tBad|L|00000002|FAT|x|d|g|1|01.02.2003 04:05:06\r\n",
              QByteArray("\x01\xff|\x02|||||||garbage\r\n\t\t\t\t\t\x03\r\n")}) {
            writeTree(broken);
            QStringList told;
            GroupTree t;
            QVERIFY_THROWS_EXCEPTION(QuilloryError, LoadTree(t, db(), [&](const QString &m) { told << m; }));
            QCOMPARE(readTree(), broken);
            QVERIFY(told.isEmpty());
        }
        // Read without the right to write: upgraded in memory, the file and the user left alone.
        writeTree(old);
        QStringList told;
        GroupTree t;
        LoadTree(
            t, db(), [&](const QString &m) { told << m; }, TreeWrite::Never);
        QCOMPARE(FindCD(t.root(), QStringLiteral("00000001"))->cd()->Date, QStringLiteral("01.02.2003 04:05:06"));
        QCOMPARE(readTree(), old);
        QVERIFY(told.isEmpty());
    }

    // Far beyond any catalogue, and refused before costing much more than the file's size.
    void limits()
    {
        {
            QFile f(db() + QLatin1String("groups.tree"));
            QDir().mkpath(db());
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(TreeLimits::MaxFileBytes + 1)); // sparse: nothing is really written
        }
        GroupTree t;
        t.addChild(nullptr, QStringLiteral("Keep"), KindRoot);
        try {
            LoadTree(t, db(), nullptr);
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("is larger than 256 MB")), qPrintable(e.message()));
        }
        QByteArray many("Root\n");
        many.reserve(3 * TreeLimits::MaxNodes + 16);
        for (int i = 0; i < TreeLimits::MaxNodes; ++i)
            many += "\tG\n";
        writeTree(many);
        try {
            LoadTree(t, db(), nullptr);
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("more than 1000000 entries")), qPrintable(e.message()));
        }
        QCOMPARE(t.root()->text(), QStringLiteral("Keep"));
    }

    void badFilesFailAndKeepTheTree_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("level") << QByteArray("Root\r\n\tA\r\n\t\t\tDeep\r\n")
                               << QStringLiteral("Invalid level (3) for item \"Deep\"");
        // Taken for the root, it would put every disc added later under it.
        QTest::newRow("first line indented")
            << QByteArray("\tRoot\r\n\tA\r\n") << QStringLiteral("Invalid level (1) for item \"Root\"");
        QTest::newRow("line too long") << QByteArray("Root\r\n\t") + QByteArray((1 << 20) + 1, 'x') + "\r\n"
                                       << QStringLiteral("line 2: a line longer than 1 MB");
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
        QByteArray deep("Root\r\n");
        for (int i = 1; i <= 5000; ++i)
            deep += QByteArray(i, '\t') + "G\r\n";
        QTest::newRow("absurd depth") << deep << QStringLiteral("deeper than");
    }
    void badFilesFailAndKeepTheTree()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        GroupTree t;
        t.addChild(nullptr, QStringLiteral("Keep"), KindRoot);
        writeTree(file);
        try {
            LoadTree(t, db(), nullptr);
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
        QCOMPARE(t.root()->text(), QStringLiteral("Keep"));
    }

    void deepButSaneOutlineLoads()
    {
        QByteArray ok("Root\r\n");
        for (int i = 1; i <= 300; ++i)
            ok += QByteArray(i, '\t') + "G" + QByteArray::number(i) + "\r\n";
        ok += "\tTop\r\n";
        writeTree(ok);
        GroupTree t;
        LoadTree(t, db(), nullptr);
        QCOMPARE(t.root()->childCount(), 2);
        QCOMPARE(TreeToLines(t).size(), 302);
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
        QCOMPARE(children(cat.tree().root()), QStringList{"Good/0"});
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first().split(u'\n'),
                 (QStringList{ContentsFile::unusableDiscMessage(QStringLiteral("Victim"), QStringLiteral("../victim")),
                              ContentsFile::unusableDiscMessage(QStringLiteral("Nested"), QStringLiteral("a/b")),
                              ContentsFile::unusableDiscMessage(QStringLiteral("Dots"), QStringLiteral(".."))}));
        QCOMPARE(readFile(m_dir.path() + QLatin1String("/victim.dat")), QByteArray("keep"));
        cat.save();
        QVERIFY(!readTree().contains("Gone") && !readTree().contains("victim"));
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
        lent.BorrowedTo = QStringLiteral("Eve");
        t.addDisc(sub, lent);
        TreeNode *umlaut = t.addChild(root, QStringLiteral("Ärger"), KindGroup);

        QCOMPARE(FindGroup(root, QStringLiteral("my collection")), root);
        QCOMPARE(FindGroup(root, QStringLiteral("MUSIC")), music);
        QCOMPARE(FindGroup(root, QStringLiteral("concert 1998")), present); // disc titles are taken too
        QCOMPARE(FindGroup(root, QStringLiteral("Ärger")), umlaut);
        QCOMPARE(FindGroup(root, QStringLiteral("äRGER")), nullptr); // only a-z fold
        QCOMPARE(FindCD(root, QStringLiteral("00000009"))->text(), QStringLiteral("Lent"));
        QCOMPARE(FindCD(root, QStringLiteral("1a2b3c4d")), nullptr); // serials are exact

        const GroupTotals all = DoGroup(root);
        QCOMPARE(all.size, 2 * 734003200LL);
        QCOMPARE(all.discs, 2);
        QCOMPARE(all.groups, 3);
        QCOMPARE(DoGroup(music).groups, 1);
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
        QCOMPARE(children(root), QStringList{"B/1"});
    }
};

QTEST_GUILESS_MAIN(TestGroupTree)
#include "tst_grouptree.moc"
