#include "TestCatalogue.h"
#include "listing/ContentsListing.h"
#include "listing/DiscContents.h"
#include "listing/EntryPlace.h"
#include "listing/ExplorerCompare.h"
#include "listing/ExtensionIconCache.h"
#include "listing/FileTypes.h"
#include "listing/FindColumn.h"
#include "listing/LocationState.h"
#include "listing/TreeMoves.h"
#include "store/GroupTree.h"
#include "store/TreeNames.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestListing : public QObject
{
    Q_OBJECT

    static ExplorerSortItem item(const char *caption, qint64 number = 0, bool folder = false, bool group = false)
    {
        ExplorerSortItem i;
        i.caption = QByteArrayView(caption);
        i.text = i.caption;
        i.number = number;
        i.isFolder = folder;
        i.isGroup = group;
        return i;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void findColumn()
    {
        const QStringList lines{QStringLiteral("Type: MP3 audio"),       QStringLiteral("Genre :Rock"),
                                QStringLiteral("Bit rate: VBR 192kbps"), QStringLiteral("Height:480"),
                                QStringLiteral("Title:   spaced "),      QStringLiteral("Empty: ")};
        QCOMPARE(FindColumn(QStringLiteral("genre"), lines), QStringLiteral("Rock"));
        QCOMPARE(FindColumn(QStringLiteral("Bit rate"), lines), QStringLiteral("VBR 192kbps"));
        QCOMPARE(FindColumn(QStringLiteral("Height"), lines), QStringLiteral("480"));
        QCOMPARE(FindColumn(QStringLiteral("Title"), lines), QStringLiteral("  spaced "));
        QCOMPARE(FindColumn(QStringLiteral("Ty"), lines),
                 QStringLiteral(": MP3 audio")); // by prefix, two characters skipped
        QCOMPARE(FindColumn(QStringLiteral("Missing"), lines), QString());
        QCOMPARE(FindColumn(QStringLiteral("Missing"), lines, true), QStringLiteral("&nbsp;"));
        QCOMPARE(FindColumn(QStringLiteral("Empty"), lines, true), QStringLiteral("&nbsp;"));
        QCOMPARE(FindColumn(QStringLiteral("Type"), lines, true), QStringLiteral("MP3 audio"));
    }

    void entryPlace_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsedTitle");
        QTest::newRow("folder") << u"Holiday"_s << u"\\Photos\\"_s << QString() << u"Holiday:\\Photos\\"_s
                                << u"Holiday"_s;
        QTest::newRow("root") << u"Holiday"_s << u"\\"_s << QString() << u"Holiday:\\"_s << u"Holiday"_s;
        QTest::newRow("inside an archive")
            << u"Docs"_s << u"\\DOCS\\PACK.ZIP\\img\\"_s << u"\\DOCS\\PACK.ZIP\\"_s
            << u"Docs:\\DOCS\\PACK.ZIP\\img\\"_s << u"Docs"_s;
        QTest::newRow("top of an archive, lower case")
            << u"Docs"_s << u"\\pack.zip\\"_s << u"\\pack.zip\\"_s << u"Docs:\\pack.zip\\"_s << u"Docs"_s;
        QTest::newRow("a folder only like an archive")
            << u"Docs"_s << u"\\my.zipper\\"_s << QString() << u"Docs:\\my.zipper\\"_s << u"Docs"_s;
        QTest::newRow("title named like an archive")
            << u"BACKUP.ZIP"_s << u"\\docs\\"_s << QString() << u"BACKUP.ZIP:\\docs\\"_s << u"BACKUP.ZIP"_s;
        QTest::newRow("title with \\") << u"AC\\DC"_s << u"\\Live\\"_s << QString() << u"AC\\DC:\\Live\\"_s
                                     << u"AC\\DC"_s;
        // Only the typed place keeps such a title; its text gives the title up to the first ":".
        QTest::newRow("title with :") << u"Vol: 2"_s << u"\\x\\"_s << QString() << u"Vol: 2:\\x\\"_s << u"Vol"_s;
    }

    void entryPlace()
    {
        QFETCH(QString, title);
        QFETCH(QString, folder);
        QFETCH(QString, archive);
        QFETCH(QString, text);
        QFETCH(QString, parsedTitle);
        const EntryPlace typed(title, u"0000ABCD"_s, folder, archive);
        QCOMPARE(typed.text(), text);
        QCOMPARE(typed.insideZip(), !archive.isEmpty());
        const EntryPlace parsed = EntryPlace::parse(text, u"0000ABCD"_s);
        QCOMPARE(parsed.title(), parsedTitle);
        QCOMPARE(parsed.insideZip(), !archive.isEmpty());
        if (parsedTitle == title)
            QCOMPARE(parsed, typed);
        QCOMPARE(EntryPlace::onMedium(u"/media/u/DOCS"_s, typed.onDisc(u"a b.txt"_s)),
                 u"/media/u/DOCS/"_s + QString(folder).replace(u'\\', u'/').mid(1) + u"a b.txt"_s);
    }

    void explorerCompare()
    {
        ExplorerSortItem up = item("..");
        up.isUp = true;
        const ExplorerSortItem folder = item("zeta", 0, true);
        const ExplorerSortItem group = item("Group", 5, false, true);
        const ExplorerSortItem a = item("alpha", 10);
        const ExplorerSortItem b = item("Beta", 2);
        for (bool asc : {true, false}) {
            QVERIFY(ExplorerCompare(up, folder, ExplorerColumn::Name, asc) < 0);
            QVERIFY(ExplorerCompare(folder, a, ExplorerColumn::Name, asc) < 0);
            QVERIFY(ExplorerCompare(folder, group, ExplorerColumn::Size, asc) < 0);
        }
        QVERIFY(ExplorerCompare(group, a, ExplorerColumn::Name, true) < 0);
        QVERIFY(ExplorerCompare(group, a, ExplorerColumn::Name, false) > 0);
        QVERIFY(ExplorerCompare(a, b, ExplorerColumn::Name, true) < 0); // a-z without case
        QVERIFY(ExplorerCompare(a, b, ExplorerColumn::Size, true) > 0); // numbers, not texts
        QVERIFY(ExplorerCompare(a, b, ExplorerColumn::Size, false) < 0);
        // A date that does not convert counts as equal; the caption decides.
        ExplorerSortItem undated = item("Beta", 1);
        undated.hasNumber = false;
        QVERIFY(ExplorerCompare(a, undated, ExplorerColumn::Date, true) < 0);
        QVERIFY(ExplorerCompare(a, undated, ExplorerColumn::Date, false) > 0);
        // Only a-z are folded: "É" and "é" stay different, and "a" compares as "A", which is below "[".
        QVERIFY(CompareNoCase("\xc3\x89", "\xc3\xa9") != 0);
        QVERIFY(CompareNoCase("abc", "ABC") == 0);
        QVERIFY(CompareNoCase("a", "[") < 0);
    }

    void locationState()
    {
        // Header clicks and Arrange Icons are followed through the navigator's sorts.
        LocationState s;
        QCOMPARE(LocationState::parentPath(QStringLiteral("\\A\\B\\")), QStringLiteral("\\A\\"));
        QCOMPARE(LocationState::parentPath(QStringLiteral("\\DOCS\\MANUALS.ZIP\\")), QStringLiteral("\\DOCS\\"));
        QCOMPARE(LocationState::parentPath(QStringLiteral("\\A\\")), QStringLiteral("\\"));
        QCOMPARE(LocationState::labelFor(QStringLiteral("Disc")), QStringLiteral("Disc:"));
        QCOMPARE(LocationState::labelFor(QStringLiteral("Disc:")), QStringLiteral("Disc:"));
        QCOMPARE(LocationState::titleOf(QStringLiteral("Disc:")), QStringLiteral("Disc"));
        s.currentSerial = LocationState::searchResult();
        QVERIFY(s.isSearchResult() && !s.isDiscListed() && !s.isGroupListed());
    }

    void treeNames()
    {
        QCOMPARE(TreeNames::ShortName(QStringLiteral("12345678901234567890")), QStringLiteral("12345678901234567890"));
        QCOMPARE(TreeNames::ShortName(QStringLiteral("123456789012345678901")),
                 QStringLiteral("12345678901234567890..."));
        for (const QString &bad : {QStringLiteral("a|b"), QStringLiteral("a\nb"), QStringLiteral("a\rb"),
                                   QStringLiteral(" a"), QStringLiteral("\ta"), QString()})
            QVERIFY2(!TreeNames::Problem(bad).isEmpty(), qPrintable(bad));
        QVERIFY(TreeNames::Problem(QStringLiteral("Fine name ")).isEmpty());
        TCD cd;
        cd.Title = QStringLiteral("T");
        cd.Number = 7;
        QCOMPARE(TreeNames::DiscHint(cd), QStringLiteral("Titile: T\nDisc Number: 7"));
        cd.BorrowedTo = QStringLiteral("Ann");
        QCOMPARE(TreeNames::DiscHint(cd), QStringLiteral("Titile: T\nDisc Number: 7\nBorrowed to Ann"));
    }

    void treeMoves()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        TreeNode *a = t.addChild(root, QStringLiteral("A"), KindGroup);
        TreeNode *b = t.addChild(a, QStringLiteral("B"), KindGroup);
        TCD cd;
        cd.Title = QStringLiteral("Disc");
        cd.Serial = QStringLiteral("00000001");
        TreeNode *disc = t.addDisc(root, cd);
        TCD lentCd = cd;
        lentCd.Title = QStringLiteral("Lent");
        lentCd.BorrowedTo = QStringLiteral("X");
        TreeNode *lent = t.addDisc(root, lentCd);

        QVERIFY(!TreeMoves::acceptsDragOver(disc));
        QVERIFY(TreeMoves::acceptsDragOver(lent));
        QCOMPARE(TreeMoves::MoveNodes(t, {a}, b, TreeMoves::AsLastChild), 0);        // into itself
        QCOMPARE(TreeMoves::MoveNodes(t, {disc}, lent, TreeMoves::AsLastChild), 0);  // onto a disc
        QCOMPARE(TreeMoves::MoveNodes(t, {disc}, root, TreeMoves::BeforeTarget), 0); // beside the root
        QCOMPARE(TreeMoves::MoveNodes(t, {root}, a, TreeMoves::AsLastChild), 0);
        QCOMPARE(TreeMoves::MoveNodes(t, {disc, lent}, b, TreeMoves::AsLastChild), 2);
        QCOMPARE(disc->parent(), b);
        QCOMPARE(b->child(0), lent); // sorted: lent discs first
        QCOMPARE(TreeMoves::MoveNodes(t, {disc}, a, TreeMoves::BeforeTarget), 1);
        QCOMPARE(disc->parent(), root);
        QCOMPARE(TreeMoves::MoveNodes(t, {b}, disc, TreeMoves::AfterLastSibling), 0);
        QCOMPARE(TreeMoves::MoveNodes(t, {b}, a, TreeMoves::Nowhere), 0);
    }

    void groupListingEntries()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, QStringLiteral("My Collection"), KindRoot);
        TreeNode *g = t.addChild(root, QStringLiteral("Music"), KindGroup);
        t.addChild(g, QStringLiteral("Sub"), KindGroup);
        TCD cd;
        cd.Title = QStringLiteral("Disc");
        cd.Serial = QStringLiteral("0000ABCD");
        cd.Size = 2048;
        cd.Number = 4;
        cd.Date = QStringLiteral("1/2/2025 10:00:00 AM");
        for (const auto &[fs, kind] : {std::pair{"CDFS", "Compact Disc"},
                                       {"UDF", "DVD Disc"},
                                       {"NTFS", "Hard Disk"},
                                       {"FAT32", "Hard Disk"},
                                       {"FAT", "Hard Disk"},
                                       {"exFAT", "Removable Media"}}) {
            cd.FileSystem = QString::fromLatin1(fs);
            QCOMPARE(ContentsListing::discKind(cd.FileSystem), QString::fromLatin1(kind));
        }
        cd.FileSystem = QStringLiteral("CDFS");
        t.addDisc(g, cd);
        cd.Serial = QStringLiteral("0000ABCE");
        cd.Genre = QStringLiteral("Jazz");
        t.addDisc(root, cd);

        ExtensionIconCache icons;
        ContentsListing l(&icons);
        l.listGroup(root);
        QCOMPARE(l.count(), 2);
        const ContentsEntry group = l.entry(0);
        QCOMPARE(group.image, 3);
        QCOMPARE(group.columns,
                 (QStringList{"Group", "My Collection", "2.00 KB", "n/a", "Contains:", "Discs: 1", "Sub-Groups: 1"}));
        QCOMPARE(group.info, (QStringList{"Type: Group", "Path: My Collection", "Size: 2.00 KB", "IntSize: 2048",
                                          "Date: n/a", "Contains: ", "Discs: 1", "Sub-Groups: 1"}));
        const ContentsEntry disc = l.entry(1);
        QCOMPARE(disc.image, 2);
        QCOMPARE(disc.columns, (QStringList{"Compact Disc", "My Collection", "2.00 KB", "1/2/2025 10:00:00 AM",
                                            "CD Number: 4", "Genre: Jazz"}));
        QCOMPARE(disc.info.last(), QStringLiteral("Serial: 0000ABCE"));
        QCOMPARE(l.totalSize(), 4096);
        l.listGroup(g);
        QVERIFY(!l.entry(1).info.join(u'\n').contains(QStringLiteral("Genre")));
    }

    void discListingFromLists()
    {
        QTemporaryDir dir;
        const QString db = dir.path() + QStringLiteral("/DB/");
        TestCatalogue::rockDisc(db);
        DiscContents contents;
        contents.load(db, QStringLiteral("1A2B3C4D"));
        QVERIFY(contents.holds(QStringLiteral("1A2B3C4D"), db + QStringLiteral("1A2B3C4D.dat")));
        ExtensionIconCache icons;
        QSignalSpy added(&icons, &ExtensionIconCache::iconAdded);
        ContentsListing l(&icons);
        l.setDisc(QStringLiteral("1A2B3C4D"), QStringLiteral("Rock Disc"), contents.files(), contents.dirs());
        QCOMPARE(l.FindDir(QStringLiteral("\\rock\\")), 1); // folder paths compare without case
        QCOMPARE(l.FindFiles(QStringLiteral("\\ROCK\\")), 1);
        QCOMPARE(l.totalSize(), 3000);
        QCOMPARE(l.caption(1), QStringLiteral("LIVE"));
        QCOMPARE(l.entry(1).info, (QStringList{"Type: Folder", "Path: Rock Disc:\\ROCK\\", "IntSize: 1000",
                                               "Size: 1,000.00 Bytes", "Date: " + l.text(1, 4), "SN: 1A2B3C4D"}));
        QCOMPARE(l.entry(1).place, EntryPlace(u"Rock Disc"_s, u"1A2B3C4D"_s, u"\\ROCK\\"_s));
        QCOMPARE(l.entry(1).size, 1000);
        QCOMPARE(l.image(2), ExtensionIconCache::FirstExtension);

        l.clear();
        l.FindFiles(QStringLiteral("\\"));
        int zip = -1;
        for (int r = 0; r < l.count(); ++r)
            if (l.caption(r) == QLatin1String("pack.zip"))
                zip = r;
        QCOMPARE(l.image(zip), 6);
        QCOMPARE(l.entry(zip).columns.at(0), QStringLiteral("Compressed Folder"));
        QCOMPARE(l.entry(zip).info.at(0), QStringLiteral("Compressed Folder"));
        QCOMPARE(l.entry(zip).columns.size(), 4); // the mark is not a further column

        l.clear();
        l.FindFiles(QStringLiteral("\\pack.zip\\"));
        const ContentsEntry deep = l.entry(l.caption(0) == QLatin1String("deep.png") ? 0 : 1);
        QCOMPARE(deep.columns.at(1), QStringLiteral("Rock Disc:\\pack.zip\\img\\"));
        QCOMPARE(deep.info.at(1), QStringLiteral("Path: Rock Disc:\\pack.zip\\img\\"));
        QCOMPARE(deep.columns.size(), 4);
        QCOMPARE(deep.place, EntryPlace(u"Rock Disc"_s, u"1A2B3C4D"_s, u"\\pack.zip\\img\\"_s, u"\\pack.zip\\"_s));
        QVERIFY(l.place(0).insideZip() && l.place(1).insideZip());
        // Every new extension took the next position, announced once.
        QCOMPARE(added.count(), icons.count());
        QCOMPARE(icons.imageFor(QStringLiteral("x.HtM")), 1);
        QCOMPARE(icons.imageFor(QStringLiteral("y.PNG")), icons.imageFor(QStringLiteral("z.png")));
    }

    // Two folders whose names differ only in case are listed apart, with their own totals, and
    // files without an extension each show their own type.
    void caseFoldersAndNamesWithoutExtension()
    {
        QTemporaryDir dir;
        const QString db = dir.path() + QStringLiteral("/DB/");
        const QString date = TestCatalogue::date(2024, 1, 1);
        TestCatalogue::packDisc(
            db, QStringLiteral("0000CA5E"), [&](ContentsListWriter &folders, ContentsListWriter &files) {
                folders.writeFolderRecord(QStringLiteral("abc"), QStringLiteral("\\Case\\"), 15, date);
                folders.writeFolderRecord(QStringLiteral("ABC"), QStringLiteral("\\Case\\"), 16, date);
                folders.writeFolderRecord(QStringLiteral("Case"), QStringLiteral("\\"), 31, date);
                int size = 1;
                for (const char *name : {"ChangeLog", "Makefile", "notes", "-"}) {
                    files.writeFileRecord(QString::fromLatin1(name), QStringLiteral("\\Case\\abc\\"), size, date);
                    size *= 2;
                }
                files.writeFileRecord(QStringLiteral("README"), QStringLiteral("\\Case\\ABC\\"), 16, date);
            });
        DiscContents contents;
        contents.load(db, QStringLiteral("0000CA5E"));
        ExtensionIconCache icons;
        ContentsListing l(&icons);
        l.setDisc(QStringLiteral("0000CA5E"), QStringLiteral("Case"), contents.files(), contents.dirs());
        QCOMPARE(l.FindDir(QStringLiteral("\\Case\\abc\\")), 0);
        QCOMPARE(l.FindFiles(QStringLiteral("\\Case\\abc\\")), 4);
        QCOMPARE(l.totalSize(), 15);
        QHash<QString, QString> types;
        for (int r = 1; r < l.count(); ++r) {
            types.insert(l.caption(r), l.text(r, 1));
            QCOMPARE(l.entry(r).info.at(0), QStringLiteral("Type: ") + l.text(r, 1));
        }
        QCOMPARE(types.value(QStringLiteral("ChangeLog")), FileTypes::GetFileType(QStringLiteral("ChangeLog")));
        QCOMPARE(types.value(QStringLiteral("Makefile")), FileTypes::GetFileType(QStringLiteral("Makefile")));
        QVERIFY(types.value(QStringLiteral("ChangeLog")) != types.value(QStringLiteral("Makefile")));
        QCOMPARE(types.value(QStringLiteral("notes")), QStringLiteral("File"));
        QCOMPARE(types.value(QStringLiteral("-")), QStringLiteral("File"));

        l.clear();
        QCOMPARE(l.FindFiles(QStringLiteral("\\Case\\ABC\\")), 1);
        QCOMPARE(l.totalSize(), 16);
        QCOMPARE(l.text(0, 1), FileTypes::GetFileType(QStringLiteral("README")));
    }
};

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
