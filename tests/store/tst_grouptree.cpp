#include "CabTestUtil.h"

#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/DataPaths.h"
#include "store/Favourites.h"
#include "store/TCD.h"
#include "store/TreeFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

// The group tree and "groups.tree" (records, outlines, the upgrade, the load's checks), and the favourites.
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
        return {u"Concert 1998"_s, u"CONC98"_s, u"1A2B3C4D"_s, u"CDFS"_s, 734003200, u"Live recording"_s, u"Rock"_s,
                3, u"05.12.2026 13:48:39"_s};
    }
    static Favourites::Location rock() { return {u"1A2B3C4D"_s, u"Concert 1998:"_s, u"\\MUSIC\\ROCK\\"_s}; }
    static Favourites::Location at(const QString &path, const QString &serial = u"1A2B3C4D"_s)
    {
        return {serial, u"Concert 1998:"_s, path};
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
    }

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
    }

    // The older format is upgraded once, with a word; a file that does not load or may not be written, never.
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

    // Refused with its reason, the tree in memory kept; the limits are met before the load costs much.
    void badFilesFailAndKeepTheTree_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: a sparse file just past the size limit
        QTest::addColumn<QString>("message"); // empty: the file loads
        QTest::newRow("too large") << QByteArray() << QStringLiteral("is larger than 256 MB");
        QTest::newRow("empty") << QByteArray("") << QStringLiteral("holds no group tree, not even the root");
        QTest::newRow("blank lines") << QByteArray("\r\n\r\n")
                                     << QStringLiteral("holds no group tree, not even the root");
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
        const QString why = refusal([&] { LoadTree(t, db(), nullptr); });
        QVERIFY2(message.isEmpty() ? why == u"<not refused>"_s : why.contains(message), qPrintable(why));
        if (message.isEmpty())
            QCOMPARE(TreeToLines(t).size(), 302);
        else
            QCOMPARE(t.root()->text(), QStringLiteral("Keep"));
    }

    void discsWithoutAUsableContentsFileAreDropped()
    {
        // "Gone" goes silently; the others name files that are no contents file in DB: the user is told.
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
        const QStringList unusable{ContentsFile::unusableDiscMessage(u"Victim"_s, u"../victim"_s),
                                   ContentsFile::unusableDiscMessage(u"Nested"_s, u"a/b"_s),
                                   ContentsFile::unusableDiscMessage(u"Dots"_s, u".."_s)};
        QCOMPARE(told, QStringList{unusable.join(u'\n')});
        QCOMPARE(readFile(m_dir.path() + QLatin1String("/victim.dat")), QByteArray("keep"));
    }

    // A contents file spelt in another case (a catalogue carried over from a system that
    // ignores case) keeps its disc when a writer loads the tree: it is given the serial's
    // spelling. A reader leaves the files alone, and the discs go as any without their file;
    // so do a disc that two such files fit and one whose file is another disc's own.
    void contentsFileInAnotherCaseKeepsItsDisc()
    {
        for (const char *name : {"1A2B3C4D.DAT", "0000abcd.dat", "0000bbbb.dat", "0000BBBB.DAT", "CCCC0001.dat"})
            writeFile(db() + QLatin1String(name), name);
        writeTree("Root\r\n\tUpper|L|1A2B3C4D|FAT|1|||1|d|\r\n\tLower|L|0000ABCD|FAT|1|||1|d|\r\n"
                  "\tTwice|L|0000BBBB|FAT|1|||1|d|\r\n\tOwner|L|CCCC0001|FAT|1|||1|d|\r\n"
                  "\tDup|L|cccc0001|FAT|1|||1|d|\r\n");
        const auto dbFiles = [&] {
            QStringList files = QDir(db()).entryList({u"*.dat"_s, u"*.DAT"_s}, QDir::Files);
            files.sort();
            return files;
        };
        const QStringList asFound = dbFiles();
        QStringList told;
        Catalogue cat(m_dir.path());
        cat.load([&](const QString &m) { told << m; }, TreeWrite::Never);
        QCOMPARE(TreeToLines(cat.tree()), (QStringList{"Root", "\tOwner|L|CCCC0001|FAT|1|||1|d|"}));
        QCOMPARE(dbFiles(), asFound);
        QVERIFY(told.isEmpty());

        cat.load([&](const QString &m) { told << m; });
        QCOMPARE(TreeToLines(cat.tree()),
                 (QStringList{"Root", "\tLower|L|0000ABCD|FAT|1|||1|d|", "\tOwner|L|CCCC0001|FAT|1|||1|d|",
                              "\tUpper|L|1A2B3C4D|FAT|1|||1|d|"}));
        QCOMPARE(dbFiles(), (QStringList{u"0000ABCD.dat"_s, u"0000BBBB.DAT"_s, u"0000bbbb.dat"_s, u"1A2B3C4D.dat"_s,
                                         u"CCCC0001.dat"_s}));
        QCOMPARE(readFile(ContentsFile::contentsFileName(db(), u"0000ABCD"_s)), QByteArray("0000abcd.dat"));
        QCOMPARE(told.size(), 2);
    }

    void queries()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        TreeNode *music = t.addChild(root, QStringLiteral("Music"), KindGroup);
        TreeNode *sub = t.addChild(music, QStringLiteral("Sub"), KindGroup);
        TreeNode *present = t.addDisc(music, sample());
        t.addDisc(sub, {u"Lent"_s, {}, u"00000009"_s, {}, 734003200, {}, {}, 3, {}, {}});
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

    // A record as read back: its fields joined again, or the message it was refused with.
    void records_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("read"); // null: the line itself
        QTest::newRow("ten fields") << "Concert|CONC|0000ABCD|CDFS|734003200|d|Rock|3|x|" << QString();
        QTest::newRow("above 2^32, negative, separator inside BorrowedTo")
            << "DVD|D|00000001|UDF|8547991552|||-7|x|Eve | Bob" << QString();
        // Short lines shift their fields: the older format's date lands in BorrowedTo.
        QTest::newRow("eight separators") << "T|L|1|FAT|10|d|g|1|01.01.2001 10:00:00"
                                          << "T|L|1|FAT|10|d|g|1||01.01.2001 10:00:00";
        QTest::newRow("signs") << "T|L|1|F|+5|d|g|-0|x|" << "T|L|1|F|5|d|g|0|x|";
        QTest::newRow("padded size") << "T|L|1|F|" + QString(40, u'0') + "7|d|g|1|x|" << "T|L|1|F|7|d|g|1|x|";
        QTest::newRow("largest") << "T|L|1|F|9223372036854775807|d|g|-2147483648|x|" << QString();
        const QString refused = QStringLiteral("refused: '%1' is not a valid integer value");
        QTest::newRow("one separator") << "T|" << refused.arg(QString());
        QTest::newRow("size overflow") << "T|L|1|F|9223372036854775808|d|g|1|x|" << refused.arg("9223372036854775808");
        QTest::newRow("number overflow") << "T|L|1|F|1|d|g|2147483648|x|" << refused.arg("2147483648");
        QTest::newRow("two signs") << "T|L|1|F|+-1|d|g|1|x|" << refused.arg("+-1");
        QTest::newRow("blank before") << "T|L|1|F| 1|d|g|1|x|" << refused.arg(" 1");
        QTest::newRow("letters") << "T|L|1|F|12ab|d|g|1|x|" << refused.arg("12ab");
        QTest::newRow("other digits") << QStringLiteral("T|L|1|F|\u0661|d|g|1|x|") << refused.arg(QStringLiteral("\u0661"));
    }
    void records()
    {
        QFETCH(QString, line);
        QFETCH(QString, read);
        QString back;
        const QString why = refusal([&] { back = CDToStr(StrToCD(line)); });
        QCOMPARE(back.isNull() ? QStringLiteral("refused: ") + why : back, read.isNull() ? line : read);
    }

    void outlines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("outline");
        const QByteArray a = "A|L|00000001|UDF|1|d|g|1|x|";
        const QByteArray b = "B|L|00000002|UDF|2|d|g|2|x|";
        const QByteArray lentB = "B|L|00000003|UDF|2|d|g|2|x|Eve";
        // Line ends: CR alone (old Mac editors), LF, CR LF, mixed, none after the last line.
        QTest::newRow("CR") << "Root\r\tG\r\t\t" + a + "\r" << "Root\n\tG\n\t\t" + a;
        QTest::newRow("mixed") << "Root\r\tG\n\t\t" + a + "\r\n\tH" << "Root\n\tG\n\t\t" + a + "\n\tH";
        QTest::newRow("blank and space-indented lines")
            << "Root\r\n \r\n\tG\r\n  " + a + "\r\n\t " + b + "\r\n" << "Root\n\tG\n\t\t" + a + "\n\t\t" + b;
        QTest::newRow("utf-8") << QByteArray("M\xC3\xBCsik\r\n\tZ\xC3\xA4hler|L|1|UDF|1|\xE2\x82\xAC|g|1|x|\r\n")
                               << QByteArray("M\xC3\xBCsik\n\tZ\xC3\xA4hler|L|1|UDF|1|\xE2\x82\xAC|g|1|x|");
        QTest::newRow("windows-1252") << QByteArray("M\xFCsik\r\n\tZ\xE4hler|L|1|UDF|1|\x80|g|1|x|\r\n")
                                      << QByteArray("M\xC3\xBCsik\n\tZ\xC3\xA4hler|L|1|UDF|1|\xE2\x82\xAC|g|1|x|");
        // The older format's disc lines, and the others in that file, gain an empty BorrowedTo.
        QTest::newRow("older format") << QByteArray("Root|old\r\n\tA|L|1|FAT|1|d|g|1|01.01.2001 10:00:00\r\n"
                                                    "\tC|L|3|FAT|3|d|g|3|x|y|z\r\n")
                                      << QByteArray("Root|old|\n\tC|L|3|FAT|3|d|g|3|x|y|z|\n\tA|L|1|FAT|1|d|g|1|01.01.2001 10:00:00|");
        QTest::newRow("older format, shown by the last line")
            << "Root\r\n\t" + a + "lent\r\n\tB|L|2|FAT|5|d|g|7\r\n\tC|L|3|FAT|3|d|g|3|01.01.2001 10:00:00\r\n"
            << "Root\n\t" + a + "lent|\n\tB|L|2|FAT|5|d|g|7||\n\tC|L|3|FAT|3|d|g|3|01.01.2001 10:00:00|";
        QTest::newRow("only separators in the collection's line") << QByteArray("R|||||||||\r\n\tG\r\n")
                                                                  << QByteArray("R|||||||||\n\tG");
        // Below the collections: lent discs, groups, discs, each by code unit.
        QTest::newRow("discs swapped") << "Root\r\n\tG\r\n\t\t" + b + "\r\n\t\t" + a
                                       << "Root\n\tG\n\t\t" + a + "\n\t\t" + b;
        QTest::newRow("disc before group") << "Root\r\n\t" + a + "\r\n\tG" << "Root\n\tG\n\t" + a;
        QTest::newRow("lent disc first") << "Root\r\n\t" + a + "\r\n\t" + lentB << "Root\n\t" + lentB + "\n\t" + a;
        QTest::newRow("upper before lower case") << QByteArray("Root\r\n\tb\r\n\tB") << QByteArray("Root\n\tB\n\tb");
        QTest::newRow("only the last deep level") << "Root\r\n\tG\r\n\t\tH\r\n\t\t\t" + b + "\r\n\t\t\t" + a
                                                  << "Root\n\tG\n\t\tH\n\t\t\t" + a + "\n\t\t\t" + b;
        QTest::newRow("after climbing back") << "Root\r\n\tH\r\n\t\t" + a + "\r\n\tG" << "Root\n\tG\n\tH\n\t\t" + a;
        QTest::newRow("roots out of order") << "Z\r\n\t" + a + "\r\nA\r\n\t" + b + "\r\n\t" + a
                                            << "Z\n\t" + a + "\nA\n\t" + a + "\n\t" + b;
        // Neighbours share the texts they repeat; each keeps its own where they differ.
        QByteArray many = "Root\r\n";
        QByteArray manyRead = "Root";
        for (int n = 0; n < 60; ++n) {
            const QByteArray line = "\tDisc " + QByteArray::number(100 + n) + "|L|" + QByteArray::number(n) +
                                    (n % 3 ? "|UDF|" : "|CDFS|") + "1|" + QByteArray(n % 4, 'd') + "|Genre " +
                                    QByteArray::number(n / 7) + "|1|" + (n % 5 ? "x" : "y") + '|';
            many += line + "\r\n";
            manyRead += '\n' + line;
        }
        QTest::newRow("repeated and alternating fields") << many << manyRead;
    }
    // The outline a file loads as, every disc's contents file taken as present.
    void outlines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, outline);
        writeTree(bytes);
        GroupTree tree;
        LoadTreeFile(tree, db() + u"groups.tree"_s, [](const QString &) { return true; }, {}, TreeWrite::Never);
        QCOMPARE(TreeToLines(tree).join(u'\n').toUtf8(), outline);
    }

    // "favorites.dat", written whole and read back.
    void favouritesFile()
    {
        QCOMPARE(Favourites::caption(Favourites::line(rock())), u"Concert 1998:\\MUSIC\\ROCK\\"_s);
        // Only the first two bars split: a later one belongs to the path.
        const Favourites::Location l = Favourites::parse(u"00000001|A:|\\x|y\\"_s);
        QCOMPARE(QStringList({l.serial, l.discLabel, l.path}), QStringList({u"00000001"_s, u"A:"_s, u"\\x|y\\"_s}));
        QCOMPARE(Favourites::parse(u"broken"_s).serial + Favourites::parse(u"broken"_s).path, u"broken"_s);

        const QString file = DataPaths::favouritesFile(m_dir.path());
        Favourites favs;
        favs.load(file); // no file: no favourites, no complaint
        QCOMPARE(favs.count(), 0);
        favs.save(file);
        QCOMPARE(readFile(file), QByteArray()); // an empty list still writes the file, or the last removal would not stick
        favs.add(rock());
        favs.add({u"5E6F7081"_s, u"Photos Disc:"_s, u"\\"_s});
        favs.save(file);
        QCOMPARE(readFile(file), QByteArray("1A2B3C4D|Concert 1998:|\\MUSIC\\ROCK\\\r\n5E6F7081|Photos Disc:|\\\r\n"));
        Favourites again;
        again.load(file);
        QCOMPARE(again.lines(), favs.lines());

        // A file that cannot be read is an error, not an empty list that would be saved over it.
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, again.load(file));
    }

    // Added twice, removed one at a time, a-z without case; a folder above a favourite matches (the
    // path right after the label), with nothing to remove there; those of discs gone are dropped,
    // the others take their disc's title.
    void favouritesMatchedRemovedAndPruned()
    {
        Favourites favs;
        favs.add(rock());
        favs.add(rock());
        QVERIFY(favs.remove(at(u"\\music\\rock\\"_s)));
        QVERIFY(favs.matches(rock()));
        QVERIFY(favs.matches(at(u"\\MUSIC\\"_s)));
        QVERIFY(!favs.remove(at(u"\\MUSIC\\"_s)));
        QVERIFY(!favs.matches(at(u"\\MUSIC\\ROCK\\LIVE\\"_s)));
        QVERIFY(!favs.matches(at(u"\\MUSIC\\ROCK\\"_s, u"99999999"_s)));
        QVERIFY(favs.remove(rock()) && !favs.remove(rock()) && !favs.matches(rock()));
        // The path text also occurs inside the label, earlier than after it: no match.
        favs.add({u"0000000A"_s, u"\\X\\ Disc:"_s, u"\\X\\"_s});
        QVERIFY(!favs.matches({u"0000000A"_s, u"\\X\\ Disc:"_s, u"\\X\\"_s}));

        // Those of discs no longer catalogued go, two in a row too.
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"My Collection"_s, KindRoot);
        TreeNode *disc = tree.addDisc(tree.addChild(root, u"Music"_s, KindGroup), sample());
        Favourites pruned;
        pruned.add({u"DEADBEEF"_s, u"Gone:"_s, u"\\"_s});
        pruned.add(rock());
        pruned.add({u"DEADBEEF"_s, u"Gone:"_s, u"\\A\\"_s});
        pruned.add({u"FEEDF00D"_s, u"Gone too:"_s, u"\\"_s});
        pruned.add(rock());
        const auto labelOf = [](const QString &title) { return title + u':'; };
        // A disc missing from the tree whose contents file is still there (a lost tree) keeps its own.
        const auto held = [](const QString &serial) { return serial == u"FEEDF00D"_s; };
        QVERIFY(pruned.follow(root, labelOf, held));
        QCOMPARE(pruned.lines(),
                 QStringList({Favourites::line(rock()), u"FEEDF00D|Gone too:|\\"_s, Favourites::line(rock())}));
        QVERIFY(!pruned.follow(root, labelOf, held));
        TCD renamed = *disc->cd();
        renamed.Title = u"Live 1998"_s;
        tree.setCD(disc, renamed);
        QVERIFY(pruned.follow(root, labelOf, held));
        QCOMPARE(pruned.lines().first(), u"1A2B3C4D|Live 1998:|\\MUSIC\\ROCK\\"_s);
    }
};

QTEST_GUILESS_MAIN(TestGroupTree)
#include "tst_grouptree.moc"
