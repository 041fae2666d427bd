#include "TestCatalogue.h"
#include "listing/ContentsListing.h"
#include "store/ContentsFile.h"
#include "listing/DiscContents.h"
#include "listing/EntryPlace.h"
#include "listing/ExplorerCompare.h"
#include "listing/ExtensionIconCache.h"
#include "listing/FileTypes.h"
#include "listing/FindColumn.h"
#include "listing/FormatSize.h"
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
        return {.isFolder = folder, .isGroup = group, .caption = caption, .text = caption, .number = number};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void findColumn()
    {
        const QStringList lines{u"Type: MP3 audio"_s, u"Genre :Rock"_s, u"Title:   spaced "_s, u"Empty: "_s};
        QCOMPARE(FindColumn(u"genre"_s, lines), u"Rock"_s);
        QCOMPARE(FindColumn(u"Title"_s, lines), u"  spaced "_s);
        QCOMPARE(FindColumn(u"Ty"_s, lines), u": MP3 audio"_s); // by prefix, two characters skipped
        QCOMPARE(FindColumn(u"Missing"_s, lines, true), u"&nbsp;"_s);
        QCOMPARE(FindColumn(u"Empty"_s, lines, true), u"&nbsp;"_s);
    }

    void entryPlace_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsedTitle");
        QTest::newRow("inside an archive") << u"Docs"_s << u"\\DOCS\\PACK.ZIP\\img\\"_s << u"\\DOCS\\PACK.ZIP\\"_s
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
        if (parsedTitle == title)
            QCOMPARE(parsed, typed);
        QCOMPARE(EntryPlace::onMedium(u"/media/u/DOCS"_s, typed.onDisc(u"a b.txt"_s)),
                 u"/media/u/DOCS/"_s + QString(folder).replace(u'\\', u'/').mid(1) + u"a b.txt"_s);
    }

    void explorerCompare()
    {
        const ExplorerSortItem up{.isUp = true, .caption = "..", .text = ".."};
        const ExplorerSortItem folder = item("zeta", 0, true), group = item("Group", 5, false, true);
        const ExplorerSortItem a = item("alpha", 10), b = item("Beta", 2);
        for (bool asc : {true, false}) {
            QVERIFY(ExplorerCompare(up, folder, ExplorerColumn::Name, asc) < 0);
            QVERIFY(ExplorerCompare(folder, a, ExplorerColumn::Name, asc) < 0);
            QVERIFY(ExplorerCompare(folder, group, ExplorerColumn::Size, asc) < 0);
        }
        QVERIFY(ExplorerCompare(group, a, ExplorerColumn::Name, false) > 0);
        QVERIFY(ExplorerCompare(a, b, ExplorerColumn::Name, true) < 0); // a-z without case
        QVERIFY(ExplorerCompare(a, b, ExplorerColumn::Size, true) > 0); // numbers, not texts
        // A date that does not convert counts as equal; the caption decides.
        const ExplorerSortItem undated{.caption = "Beta", .text = "Beta", .hasNumber = false};
        QVERIFY(ExplorerCompare(a, undated, ExplorerColumn::Date, false) > 0);
        // Only a-z are folded: "É" and "é" stay different, and "a" compares as "A", which is below "[".
        QVERIFY(CompareNoCase("\xc3\x89", "\xc3\xa9") != 0);
        QVERIFY(CompareNoCase("a", "[") < 0);
    }

    void namesAndPlaces()
    {
        QCOMPARE(LocationState::parentPath(u"\\DOCS\\MANUALS.ZIP\\"_s), u"\\DOCS\\"_s);
        QCOMPARE(TreeNames::ShortName(u"123456789012345678901"_s), u"12345678901234567890..."_s);
        for (const QString &bad : {u"a|b"_s, u"a\nb"_s, u"a\rb"_s, u" a"_s, u"\ta"_s, QString()})
            QVERIFY2(!TreeNames::Problem(bad).isEmpty(), qPrintable(bad));
        QVERIFY(TreeNames::Problem(u"Fine name "_s).isEmpty());
        QCOMPARE(TreeNames::DiscHint({.Title = u"T"_s, .Number = 7, .BorrowedTo = u"Ann"_s}),
                 u"Titile: T\nDisc Number: 7\nBorrowed to Ann"_s);
    }

    void treeMoves()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, u"My Collection"_s, KindRoot);
        TreeNode *a = t.addChild(root, u"A"_s, KindGroup);
        TreeNode *b = t.addChild(a, u"B"_s, KindGroup);
        TreeNode *disc = t.addDisc(root, {.Title = u"Disc"_s, .Serial = u"00000001"_s});
        TreeNode *lent = t.addDisc(root, {.Title = u"Lent"_s, .Serial = u"00000001"_s, .BorrowedTo = u"X"_s});

        QVERIFY(!TreeMoves::acceptsDragOver(disc));
        QVERIFY(TreeMoves::acceptsDragOver(lent));
        QCOMPARE(TreeMoves::MoveNodes(t, {a}, b, TreeMoves::AsLastChild), 0);        // into itself
        QCOMPARE(TreeMoves::MoveNodes(t, {disc}, lent, TreeMoves::AsLastChild), 0);  // onto a disc
        QCOMPARE(TreeMoves::MoveNodes(t, {disc}, root, TreeMoves::BeforeTarget), 0); // beside the root
        QCOMPARE(TreeMoves::MoveNodes(t, {root}, a, TreeMoves::AsLastChild), 0);
        QCOMPARE(TreeMoves::MoveNodes(t, {disc, lent}, b, TreeMoves::AsLastChild), 2);
        QCOMPARE(b->child(0), lent);                                              // sorted: lent discs first
        QCOMPARE(TreeMoves::MoveNodes(t, {disc}, a, TreeMoves::BeforeTarget), 1); // beside a group
    }

    void groupListingEntries()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, u"My Collection"_s, KindRoot);
        TreeNode *g = t.addChild(root, u"Music"_s, KindGroup);
        t.addChild(g, u"Sub"_s, KindGroup);
        QCOMPARE(ContentsListing::discKind(u"UDF"_s), u"DVD Disc"_s);
        QCOMPARE(ContentsListing::discKind(u"exFAT"_s), u"Removable Media"_s);
        TCD cd{.Title = u"Disc"_s,
               .Serial = u"0000ABCD"_s,
               .FileSystem = u"CDFS"_s,
               .Size = 2048,
               .Number = 4,
               .Date = u"1/2/2025 10:00:00 AM"_s};
        t.addDisc(g, cd);
        cd.Genre = u"Jazz"_s;
        t.addDisc(root, cd);

        ExtensionIconCache icons;
        ContentsListing l(&icons);
        l.listGroup(root);
        QCOMPARE(l.entry(0).info, (QStringList{"Type: Group", "Path: My Collection", "Size: 2.00 KB", "IntSize: 2048",
                                               "Date: n/a", "Contains: ", "Discs: 1", "Sub-Groups: 1"}));
        QCOMPARE(l.entry(1).columns, (QStringList{"Compact Disc", "My Collection", "2.00 KB", "1/2/2025 10:00:00 AM",
                                                  "CD Number: 4", "Genre: Jazz"}));
        QCOMPARE(l.totalSize(), 4096);
    }

    // A disc scanned with checksums: a file that has one shows it in its info lines; one
    // without (here an entry inside the archive) shows none.
    void fileInfoShowsItsChecksum()
    {
        QTemporaryDir dir;
        const QString db = dir.path() + u"/DB/"_s;
        TestCatalogue::rockDisc(db);
        ContentsFile::Lists lists = ContentsFile::read(db, u"1A2B3C4D"_s);
        const ContentsList files = ContentsList::fromBytes(lists.fileList);
        const XXH128_hash_t hash = XXH3_128bits("x", 1);
        for (int r = 0; r < files.recordCount(); ++r)
            ContentsChecksums::appendLine(lists.checksumList, files.folderInArchive(r).isEmpty() &&
                                                                      !files.line(r, 1).contains(u".zip"_s)
                                                                  ? &hash
                                                                  : nullptr);
        ContentsFile::packBytes(db, u"1A2B3C4D"_s, lists);
        DiscContents contents;
        contents.load(db, u"1A2B3C4D"_s);
        ExtensionIconCache icons;
        ContentsListing l(&icons);
        l.setDisc(u"1A2B3C4D"_s, u"Rock Disc"_s, contents.files(), contents.dirs(), contents.checksums());
        l.FindFiles(u"\\"_s);
        const ContentsEntry top = l.entry(0);
        QCOMPARE(top.info.last(), u"Checksum: "_s + QString::fromLatin1(ContentsChecksums::toHex(hash)));
        l.clear();
        l.FindFiles(u"\\pack.zip\\"_s);
        QVERIFY(l.entry(0).checksum.isEmpty());
        QVERIFY(!l.entry(0).info.join(u' ').contains(u"Checksum"_s));
    }

    void discListingFromLists()
    {
        QTemporaryDir dir;
        const QString db = dir.path() + u"/DB/"_s;
        TestCatalogue::rockDisc(db);
        ExtensionIconCache icons;
        QSignalSpy added(&icons, &ExtensionIconCache::iconAdded);
        DiscContents contents;
        contents.load(db, u"1A2B3C4D"_s);
        ContentsListing l(&icons);
        l.setDisc(u"1A2B3C4D"_s, u"Rock Disc"_s, contents.files(), contents.dirs());
        QCOMPARE(l.FindDir(u"\\rock\\"_s), 1); // folder paths compare without case
        QCOMPARE(l.FindFiles(u"\\ROCK\\"_s), 1);
        QCOMPARE(l.totalSize(), 3000);
        QCOMPARE(l.entry(1).info, (QStringList{"Type: Folder", "Path: Rock Disc:\\ROCK\\", "IntSize: 1000",
                                               "Size: 1,000.00 Bytes", "Date: " + l.text(1, 4), "SN: 1A2B3C4D"}));

        l.clear();
        l.FindFiles(u"\\"_s);
        int zip = 0;
        while (zip < l.count() && l.caption(zip) != u"pack.zip"_s)
            ++zip;
        QCOMPARE(l.entry(zip).columns.at(0), u"Compressed Folder"_s);
        QCOMPARE(l.entry(zip).columns.size(), 4); // the mark is not a further column

        l.clear();
        l.FindFiles(u"\\pack.zip\\"_s);
        const ContentsEntry deep = l.entry(l.caption(0) == QLatin1String("deep.png") ? 0 : 1);
        QCOMPARE(deep.place, EntryPlace(u"Rock Disc"_s, u"1A2B3C4D"_s, u"\\pack.zip\\img\\"_s, u"\\pack.zip\\"_s));
        // Every new extension took the next position, announced once.
        QCOMPARE(added.count(), icons.count());
        QCOMPARE(icons.imageFor(u"y.PNG"_s), icons.imageFor(u"z.png"_s));

        // Two folders whose names differ only in case are listed apart, with their own totals.
        const QString date = TestCatalogue::date(2024, 1, 1);
        TestCatalogue::packDisc(db, u"0000CA5E"_s, [&](ContentsListWriter &folders, ContentsListWriter &files) {
            folders.writeFolderRecord(u"abc"_s, u"\\Case\\"_s, 15, date);
            folders.writeFolderRecord(u"ABC"_s, u"\\Case\\"_s, 16, date);
            folders.writeFolderRecord(u"Case"_s, u"\\"_s, 31, date);
            files.writeFileRecord(u"notes"_s, u"\\Case\\abc\\"_s, 15, date);
            files.writeFileRecord(u"README"_s, u"\\Case\\ABC\\"_s, 16, date);
        });
        contents.load(db, u"0000CA5E"_s);
        l.setDisc(u"0000CA5E"_s, u"Case"_s, contents.files(), contents.dirs());
        l.clear();
        QCOMPARE(l.FindFiles(u"\\Case\\abc\\"_s), 1);
        QCOMPARE(l.totalSize(), 15);
        l.clear();
        QCOMPARE(l.FindFiles(u"\\Case\\ABC\\"_s), 1);
        QCOMPARE(l.totalSize(), 16);
    }
    void formatSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        // With the German locale: "." groups thousands, "," is the decimal separator.
        QTest::newRow("0") << qint64(0) << "0,00 Bytes";
        QTest::newRow("last bytes") << qint64(1023) << "1.023,00 Bytes";
        QTest::newRow("first KB") << qint64(1024) << "1,00 KB";
        QTest::newRow("last KB rounds up") << qint64(1048575) << "1.024,00 KB";
        QTest::newRow("DVD") << qint64(4700000000LL) << "4,38 GB";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << "8,00 EB";
    }
    void formatSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const auto back = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        QCOMPARE(FormatSize(bytes), text);
    }

    // The type of one name never depends on which names were asked before it: names without
    // an extension, names a pattern knows whole, and extensions in another case each get their
    // own type, the same every time.
    void fileTypeDoesNotDependOnWhatWasAskedFirst()
    {
        const QStringList names{
            u"ChangeLog"_s, u"Makefile"_s,       u"notes"_s, u"-"_s,   u"README"_s, u"README.md"_s, u"a.tar.gz"_s,
            u"b.gz"_s,      u"CMakeLists.txt"_s, u"c.txt"_s, u"x.C"_s, u"x.c"_s,    u"back~"_s,     u"ls.1"_s};
        QStringList first;
        for (const QString &n : names)
            first << FileTypes::GetFileType(n);
        QCOMPARE(first.first(6), (QStringList{u"ChangeLog document"_s, u"Makefile build file"_s, u"File"_s, u"File"_s,
                                              u"README document"_s, u"Markdown document"_s}));
        QVERIFY(first.at(6) != first.at(7) && first.at(8) != first.at(9) && first.at(10) != first.at(11));
        QVERIFY(first.at(12) != u"File"_s);
        // Backwards, after every one of them is cached: the same answers.
        for (qsizetype i = names.size() - 1; i >= 0; --i)
            QCOMPARE(FileTypes::GetFileType(names.at(i)), first.at(i));
        // Names only the extension decides share a key; the others keep their own.
        QCOMPARE(FileTypes::typeKey(u"song.MP3"_s), u".MP3"_s);
        QVERIFY(FileTypes::extensionDecides("song.mp3"));
        for (const char *whole : {"Makefile", "README.txt", "a.tar.gz", "back~", "ls.1", "dir/x.txt"})
            QVERIFY2(!FileTypes::extensionDecides(whole), whole);
    }

    void musicFile_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("music");
        QTest::newRow("with dot, lower case") << ".mp3" << true;
        QTest::newRow("without dot, mixed case") << "Midi" << true;
        QTest::newRow("two-letter") << ".ra" << true;
        QTest::newRow("read through TagLib") << ".flac" << true;
        QTest::newRow("prefix of a music type") << ".MI" << false;
        QTest::newRow("longer than a music type") << ".MP3X" << false;
        QTest::newRow("only the first dot goes") << "..MP3" << false;
        QTest::newRow("empty") << "" << false;
        // Only a-z fold: a dotless i does not become I.
        QTest::newRow("non-ASCII letter") << QString::fromUtf8(".m\xc4\xb1"
                                                               "d")
                                          << false;
    }
    void musicFile()
    {
        QFETCH(QString, extension);
        QFETCH(bool, music);
        QCOMPARE(FileTypes::IsMusicFile(extension), music);
    }
};

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
