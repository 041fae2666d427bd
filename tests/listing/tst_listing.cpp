#include "TestCatalogue.h"
#include "core/FormatSize.h"
#include "core/TextCodec.h"
#include "listing/ContentsListing.h"
#include "listing/DiscContents.h"
#include "listing/EntryPlace.h"
#include "listing/ExplorerCompare.h"
#include "listing/ExtensionIconCache.h"
#include "listing/FileTypes.h"
#include "listing/FindColumn.h"
#include "listing/LocationState.h"
#include "listing/Navigator.h"
#include "listing/SearchHits.h"
#include "listing/TreeEditor.h"
#include "listing/TreeMoves.h"
#include "store/Catalogue.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsFile.h"
#include "store/TreeFile.h"
#include "store/TreeNames.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <numeric>
#include <random>

using namespace Qt::Literals::StringLiterals;

// The listing's parts on a real catalogue without a window, and the tree's edits.
class TestListing : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Catalogue> m_cat;
    DiscContents m_contents;
    std::unique_ptr<Navigator> m_nav;
    std::unique_ptr<TreeEditor> m_editor;
    QString m_dataFolder;
    QStringList m_problems;

    QString db() const { return m_cat->dbFolder(); }
    TreeNode *node(const QString &name) const { return FindGroup(m_cat->tree().root(), name); }
    QStringList captions() const
    {
        QStringList out;
        for (int r = 0; r < m_nav->listing().count(); ++r)
            out.append(m_nav->listing().caption(r));
        return out;
    }
    int row(const QString &caption) const { return captions().indexOf(caption); }
    static ExplorerSortItem item(const char *caption, qint64 number = 0, bool folder = false, bool group = false)
    {
        return {.isFolder = folder, .isGroup = group, .caption = caption, .text = caption, .number = number};
    }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_nav.reset();
        m_editor.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_dataFolder = m_dir->path() + u"/data/"_s;
        TestCatalogue::prepared(m_dataFolder);
        m_cat = std::make_unique<Catalogue>(m_dataFolder);
        m_cat->load({});
        m_contents.clear();
        m_nav = std::make_unique<Navigator>(m_cat->tree(), m_contents, db());
        m_editor = std::make_unique<TreeEditor>(m_cat->tree(), m_contents, db());
        m_problems.clear();
        connect(m_nav.get(), &Navigator::problem, this, [this](const QString &text) { m_problems << text; });
        m_nav->showRoot();
    }

    void listsGroupsFoldersAndArchives()
    {
        QCOMPARE(m_nav->statusText(), u"3 object(s), total size 9.52 KB"_s);
        m_nav->TreeChange(node(u"Rock Disc"_s));
        QCOMPARE(captions(), (QStringList{u".."_s, u"Docs"_s, u"ROCK"_s, u"pack.zip"_s, u"A.mp3"_s, u"b.txt"_s}));
        QCOMPARE(m_nav->statusText(), u" 2 sub-directories and 3 files in this directory, total size 5.52 KB"_s);
        const int unpacks = m_contents.unpackCount();

        QVERIFY(m_nav->ExplorerActivate(row(u"ROCK"_s)));
        QCOMPARE(captions(), (QStringList{u".."_s, u"LIVE"_s, u"song.mp3"_s}));
        QCOMPARE(m_contents.unpackCount(), unpacks);           // the same disc: from memory
        QVERIFY(!m_nav->ExplorerActivate(row(u"song.mp3"_s))); // a file's action is the caller's

        // Back climbs folder by folder, then out of the disc to its group, and stops at the root.
        m_nav->BackButtonClick();
        m_nav->ExplorerActivate(row(u"pack.zip"_s));
        QVERIFY(m_nav->location().archiveMode);
        QCOMPARE(captions(), (QStringList{u"inner.txt"_s, u"deep.png"_s}));
        QCOMPARE(m_nav->statusText(), u" 2 files in this directory, total size 110.00 Bytes"_s);
        m_nav->BackButtonClick();
        m_nav->BackButtonClick();
        QCOMPARE(m_nav->currentNode()->text(), u"Music"_s);
        m_nav->BackButtonClick();
        m_nav->BackButtonClick(); // nothing above the root
        QCOMPARE(m_nav->currentNode(), m_cat->tree().root());

        // Entries of a group listing select their node.
        m_nav->ExplorerActivate(row(u"Music"_s));
        m_nav->ExplorerActivate(row(u"Rock Disc"_s));
        QCOMPARE(m_nav->location().currentSerial, u"1A2B3C4D"_s);
        // A column's click sorts with the folders on top, a second turns it round (the rules: explorerCompare).
        const QStringList bySize{u"b.txt"_s, u"pack.zip"_s, u"A.mp3"_s};
        m_nav->ExplorerColumnClick(ExplorerColumn::Size);
        QCOMPARE(captions(), QStringList({u".."_s, u"Docs"_s, u"ROCK"_s}) + bySize);
        m_nav->ExplorerColumnClick(ExplorerColumn::Size);
        QCOMPARE(captions(), QStringList({u".."_s, u"ROCK"_s, u"Docs"_s}) + QStringList(bySize.rbegin(), bySize.rend()));
        m_nav->arrange(ExplorerColumn::Size); // ascending again
        QCOMPARE(captions().mid(3), bySize);
        m_nav->TreeChange(node(u"Photos Disc"_s));
        QCOMPARE(m_contents.unpackCount(), unpacks + 1);
        QVERIFY(m_problems.isEmpty());
    }

    // A hit's place is carried whole (a title with ":", an archive entry), not taken apart again.
    void switchToAHitsLocation_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("inArchive");
        QTest::newRow("title with :") << u"Rock: Live"_s << QByteArray("\\ROCK\\") << QByteArray();
        QTest::newRow("inside an archive") << u"Rock Disc"_s << QByteArray("\\pack.zip\\") << QByteArray("img\\");
    }
    void switchToAHitsLocation()
    {
        QFETCH(QString, title);
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, inArchive);
        auto hits = std::make_shared<SearchHits>();
        hits->addDisc(title, u"1A2B3C4D"_s);
        hits->add(0, ContentsEntry::File, "x.txt", folder, inArchive.isNull() ? QByteArrayView() : inArchive, 1, "");
        m_nav->showSearchResult(hits, u"1 found"_s);
        m_nav->Switch1Click(0);
        QCOMPARE(m_nav->location().discLabel, title + u':');
        QCOMPARE(m_nav->location().pathLabel, QString::fromLatin1(folder));
        QCOMPARE(m_nav->location().archiveMode, !inArchive.isNull());
        QVERIFY(m_problems.isEmpty());
    }

    void damagedContentsFiles()
    {
        // Checksums that do not line up with the file list: the disc lists without them, and says so once.
        ContentsFile::Lists lists = ContentsFile::read(db(), u"1A2B3C4D"_s);
        lists.checksumList = QByteArray(32, 'a') + "\r\n";
        ContentsFile::packBytes(db(), u"1A2B3C4D"_s, lists);
        m_nav->TreeChange(node(u"Rock Disc"_s));
        QVERIFY(!captions().isEmpty() && m_problems.isEmpty());
        QTRY_COMPARE(m_problems.size(), 1);
        QVERIFY2(m_problems.first().contains(u"The checksums are ignored: 1 line for a file list of "_s),
                 qPrintable(m_problems.first()));
        QVERIFY(m_contents.checksums()->isEmpty());
        m_nav->TreeChange(node(u"Music"_s));
        m_nav->TreeChange(node(u"Rock Disc"_s)); // held in memory: not told again
        QTest::qWait(10);
        QCOMPARE(m_problems.size(), 1);

        // The whole folder moved away damages no disc: it is told and nothing leaves the tree.
        const QString movedDb = m_dir->filePath(u"movedDB"_s);
        QVERIFY(QDir().rename(db(), movedDb));
        m_nav->TreeChange(node(u"Rock Disc"_s));
        QTest::qWait(10);
        QVERIFY(node(u"Rock Disc"_s));
        QVERIFY2(m_problems.size() == 2 && m_problems.last().contains(u"is no longer there"_s),
                 qPrintable(m_problems.join(u'|')));
        QVERIFY(QDir().rename(movedDb, db()));
        m_problems.removeLast();

        // A missing one takes its disc out of the tree, unless it is back once the message is read.
        const QString file = db() + u"1A2B3C4D.dat"_s, aside = m_dir->filePath(u"aside.dat"_s);
        QVERIFY(QFile::rename(file, aside));
        const auto putBack = connect(m_nav.get(), &Navigator::problem, this, [&] { QFile::copy(aside, file); });
        m_nav->TreeChange(node(u"Rock Disc"_s));
        disconnect(putBack);
        QTest::qWait(10);
        QVERIFY(node(u"Rock Disc"_s));
        m_problems.clear();
        QVERIFY(QFile::remove(file));
        m_nav->TreeChange(node(u"Rock Disc"_s));
        QCOMPARE(m_problems, QStringList{u"Database is damaged! Some files nedeed for this operation are missing!\r\n"
                                         u"CD labeled 1A2B3C4D will be deleted from database!"_s});
        // It leaves the tree once the event that listed it is over.
        QTRY_VERIFY(!node(u"Rock Disc"_s));
        QVERIFY(m_nav->currentNode()->text() == u"Music"_s && captions().isEmpty());

        // A contents file that is not a cabinet is reported and kept, with its disc.
        m_problems.clear();
        TextCodec::writeBytes(db() + u"5E6F7081.dat"_s, "not a cabinet");
        m_nav->TreeChange(node(u"Photos Disc"_s));
        QVERIFY(m_problems.size() == 1 &&
                m_problems.first().contains(u"Cabinet file does not have the correct format"_s));
        QVERIFY(node(u"Photos Disc"_s) && QFileInfo::exists(db() + u"5E6F7081.dat"_s));
        // It is current, shown with nothing in it (never under the listing that was there before),
        // the problem in the status bar, and no command takes it for a listed disc.
        QCOMPARE(m_nav->currentNode(), node(u"Photos Disc"_s));
        QVERIFY(captions().isEmpty() && !m_nav->location().isDiscListed());
        QCOMPARE(m_nav->location().discLabel + m_nav->location().pathLabel, u"Photos Disc:\\"_s);
        QCOMPARE(m_nav->statusText(), m_problems.first());
        m_nav->BackButtonClick(); // back to its group
        QCOMPARE(m_nav->currentNode(), m_cat->tree().root());
    }

    void groupNames()
    {
        // Taken anywhere in the tree, by a group or a disc, in any case.
        QCOMPARE(m_editor->groupNameProblem(u"music"_s),
                 u"Group named \"music\" already exists! Please enter different name."_s);
        QVERIFY(!m_editor->groupNameProblem(u"ROCK DISC"_s).isEmpty());
        QVERIFY(m_editor->groupNameProblem(u"Jazz"_s).isEmpty());
        QVERIFY(!m_editor->groupNameProblem(u"a|b"_s).isEmpty()); // would not survive "groups.tree"

        TreeNode *music = node(u"Music"_s);
        QVERIFY(m_editor->rename(music, u"MUSIC"_s).isEmpty() && music->text() == u"MUSIC"_s); // its own name
        QVERIFY(!m_editor->rename(music, u"Empty Group"_s).isEmpty() && music->text() == u"MUSIC"_s);
        TreeNode *photos = node(u"Photos Disc"_s);
        QVERIFY(m_editor->rename(photos, u"Music"_s).isEmpty() && photos->cd()->Title == u"Music"_s); // as a group
        // A disc title keeps the same rule as every name in the tree.
        QCOMPARE(m_editor->rename(photos, u"a|b"_s), u"Disc title cannot contain \"|\" character!"_s);
        QCOMPARE(photos->cd()->Title, u"Music"_s);
    }

    void deleteRemovesTheContentsFiles()
    {
        QCOMPARE(TreeEditor::deleteRefusal(m_cat->tree().root()), u"Cannot delete main goup!"_s);
        TreeNode *music = node(u"Music"_s);
        m_contents.load(db(), u"1A2B3C4D"_s);
        m_cat->tree().addDisc(m_cat->tree().addChild(music, u"Sub"_s, KindGroup), *node(u"Photos Disc"_s)->cd());
        QCOMPARE(TreeEditor::discSerials(music), (QStringList{u"1A2B3C4D"_s, u"5E6F7081"_s}));
        QVERIFY(m_editor->deleteNode(music).isEmpty() && !node(u"Music"_s));
        // The second entry of Photos Disc's serial (a tree edited by hand) went; the file stays
        // for Photos Disc itself, outside the group.
        QCOMPARE(QDir(db()).entryList({u"*.dat"_s}), QStringList{u"5E6F7081.dat"_s});
        QVERIFY(node(u"Photos Disc"_s));
        QVERIFY(m_contents.serial().isEmpty()); // the unpacked lists went with their disc
        QVERIFY(m_editor->deleteNode(node(u"Photos Disc"_s)).isEmpty());
        QCOMPARE(QDir(db()).entryList({u"*.dat"_s}), QStringList());
    }

    // A serial that names a path: what it points to is never read nor deleted; the user is told.
    void serialThatNamesAPathIsNeverFollowed()
    {
        const QStringList victims{m_dataFolder + u"victim.dat"_s, db() + u"a/b.dat"_s, m_dataFolder + u"..dat"_s};
        QVERIFY(QDir().mkpath(db() + u"a"_s));
        for (const QString &victim : victims)
            QVERIFY(QFile::copy(db() + u"1A2B3C4D.dat"_s, victim));
        TreeNode *group = m_cat->tree().addChild(m_cat->tree().root(), u"Imported"_s, KindGroup);
        QStringList told;
        for (const QString &serial : {u".."_s, u"../victim"_s, u"a/b"_s}) { // in tree order
            TreeNode *stray = m_cat->tree().addDisc(group, TCD{.Title = u"Stray "_s + serial, .Serial = serial});
            told << u"\"%1\" is not a usable disc serial number."_s.arg(serial);
            const int unpacks = m_contents.unpackCount();
            m_nav->TreeChange(stray);
            QCOMPARE(m_problems, told);
            QCOMPARE(m_contents.unpackCount(), unpacks);
            QVERIFY(stray->parent() == group && !m_nav->location().isDiscListed());
        }
        m_nav->showRoot();
        QCOMPARE(m_editor->deleteNode(group), told);
        QVERIFY(!node(u"Imported"_s));
        for (const QString &victim : victims)
            QVERIFY2(QFileInfo::exists(victim), qPrintable(victim));
    }

    void lendAndGiveBack()
    {
        // A name that would read back as nobody, or break the record's line, lends nothing.
        TreeNode *rock = node(u"Rock Disc"_s);
        for (const QString &bad : {QString(), u"   "_s, u"\t"_s, u"Al\nex"_s}) {
            QVERIFY2(!m_editor->lend(rock, bad).isEmpty(), qPrintable(bad));
            QVERIFY(rock->kind() == KindDisc && rock->cd()->BorrowedTo.isEmpty());
        }
        TreeNode *photos = node(u"Photos Disc"_s);
        QCOMPARE(m_editor->lend(photos, u"Alex"_s), QString());
        QVERIFY(photos->cd()->BorrowedTo == u"Alex"_s && photos->row() == 0); // above the groups
        m_editor->giveBack(photos);
        QVERIFY(photos->kind() == KindDisc && photos->cd()->BorrowedTo.isEmpty());
        QCOMPARE(photos->row(), m_cat->tree().root()->childCount() - 1);
    }
    void namesAndColumns()
    {
        const QStringList lines{u"Type: MP3 audio"_s, u"Genre :Rock"_s, u"Title:   spaced "_s, u"Empty: "_s};
        QCOMPARE(FindColumn(u"genre"_s, lines), u"Rock"_s);
        QCOMPARE(FindColumn(u"Title"_s, lines), u"  spaced "_s);
        QCOMPARE(FindColumn(u"Ty"_s, lines), u": MP3 audio"_s); // by prefix, two characters skipped
        QCOMPARE(FindColumn(u"Missing"_s, lines, true), u"&nbsp;"_s);
        QCOMPARE(FindColumn(u"Empty"_s, lines, true), u"&nbsp;"_s);

        QCOMPARE(LocationState::parentPath(u"\\DOCS\\MANUALS.ZIP\\"_s), u"\\DOCS\\"_s);
        QCOMPARE(TreeNames::ShortName(u"123456789012345678901"_s), u"12345678901234567890..."_s);
        for (const QString &bad : {u"a|b"_s, u"a\nb"_s, u"a\rb"_s, u"a\tb"_s, u" a"_s, u"\ta"_s, QString()})
            QVERIFY2(!TreeNames::Problem(bad).isEmpty(), qPrintable(bad));
        QVERIFY(TreeNames::Problem(u"Fine name "_s).isEmpty());
        QCOMPARE(TreeNames::DiscHint({.Title = u"T"_s, .Number = 7, .BorrowedTo = u"Ann"_s}),
                 u"Titile: T\nDisc Number: 7\nBorrowed to Ann"_s);

        // Sizes with the German locale: "." groups thousands, "," is the decimal separator.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QList<std::pair<qint64, QString>> sizes{
            {0, u"0,00 Bytes"_s},        {1023, u"1.023,00 Bytes"_s},
            {1024, u"1,00 KB"_s},        {1048575, u"1.024,00 KB"_s}, // the last KB rounds up
            {4700000000LL, u"4,38 GB"_s}, {std::numeric_limits<qint64>::max(), u"8,00 EB"_s}};
        for (const auto &[bytes, text] : sizes)
            QCOMPARE(FormatSize(bytes), text);
    }

    // A typed place reads "title:folder"; parsed back, its title ends at the first ":".
    void entryPlace_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("parsedTitle");
        QTest::newRow("inside an archive")
            << u"Docs"_s << u"\\DOCS\\PACK.ZIP\\img\\"_s << u"\\DOCS\\PACK.ZIP\\"_s << u"Docs"_s;
        QTest::newRow("top of an archive, lower case")
            << u"Docs"_s << u"\\pack.zip\\"_s << u"\\pack.zip\\"_s << u"Docs"_s;
        QTest::newRow("a folder only like an archive") << u"Docs"_s << u"\\my.zipper\\"_s << QString() << u"Docs"_s;
        QTest::newRow("title named like an archive")
            << u"BACKUP.ZIP"_s << u"\\docs\\"_s << QString() << u"BACKUP.ZIP"_s;
        QTest::newRow("title with \\") << u"AC\\DC"_s << u"\\Live\\"_s << QString() << u"AC\\DC"_s;
        // The title ends at the first ":\\", where the folder begins.
        QTest::newRow("title with :") << u"Vol: 2"_s << u"\\x\\"_s << QString() << u"Vol: 2"_s;
    }
    void entryPlace()
    {
        QFETCH(QString, title);
        QFETCH(QString, folder);
        QFETCH(QString, archive);
        QFETCH(QString, parsedTitle);
        const EntryPlace typed(title, u"0000ABCD"_s, folder, archive);
        QCOMPARE(typed.text(), title + u':' + folder);
        QCOMPARE(typed.insideZip(), !archive.isEmpty());
        const EntryPlace parsed = EntryPlace::parse(typed.text(), u"0000ABCD"_s);
        QCOMPARE(parsed.title(), parsedTitle);
        if (parsedTitle == title)
            QCOMPARE(parsed, typed);
        QCOMPARE(EntryPlace::onMedium(u"/media/u/DOCS"_s, typed.onDisc(u"a b.txt"_s)),
                 u"/media/u/DOCS/"_s + QString(folder).replace(u'\\', u'/').mid(1) + u"a b.txt"_s);
    }

    // The hits keep their texts end to end, each ending where the next begins: a hit must give
    // back exactly its own texts, whatever their lengths, after an order is put on them and
    // after a disc's hits are dropped and others added.
    void searchHitsKeepEachHitsTexts()
    {
        struct Added {
            ContentsEntry::Kind kind;
            QByteArray name, folder, inArchive, date;
            std::vector<QByteArrayView> details;
            qint64 size;
            QByteArray checksum;
        };
        const QByteArray longName = QByteArray(300, 'n') + ".txt"; // its length takes two bytes
        const QByteArray sum = "0123456789abcdef0123456789abcdef";
        const std::vector<Added> added{
            {ContentsEntry::File, "a.mp3", "\\MUSIC\\", {}, "1 Jan 2004 10:20:00", {"Artist: X", "Duration: 00:03:10"}, 7, sum},
            {ContentsEntry::File, longName, "\\MUSIC\\", {}, "", {}, 0, sum},
            {ContentsEntry::File, "", "\\MUSIC\\", {}, "2 Feb 2004", {"Width: 1"}, 1},
            {ContentsEntry::Archive, "p.zip", "\\", {}, "3 Mar 2004", {}, 9},
            {ContentsEntry::File, "in.txt", "\\p.zip\\", "img\\", "4 Apr 2004", {"Title: x"}, 3},
            {ContentsEntry::Folder, "DOCS\\", "\\", {}, "5 May 2004", {}, 0},
        };
        SearchHits hits;
        const int disc = hits.addDisc(u"Dísc"_s, u"1A2B3C4D"_s);
        const auto add = [&](const Added &a) {
            const ContentsChecksums sums = ContentsChecksums::parse(a.checksum, 1);
            const XXH128_hash_t sum = sums.value(0);
            hits.add(disc, a.kind, a.name, a.folder, a.inArchive.isNull() ? QByteArrayView() : a.inArchive, a.size,
                     a.date, a.details, sums.has(0) ? &sum : nullptr);
        };
        const auto check = [&](int i, const Added &a) {
            QCOMPARE(hits.kind(i), a.kind);
            QCOMPARE(hits.name(i), QByteArrayView(a.name));
            QCOMPARE(hits.date(i), QByteArrayView(a.date));
            QCOMPARE(hits.size(i), a.size);
            QStringList details;
            for (const QByteArrayView d : a.details)
                details.append(QString::fromUtf8(d));
            QCOMPARE(hits.details(i), details);
            const ContentsEntry e = hits.entry(i, u"File"_s, 0);
            QCOMPARE(e.checksum, QString::fromLatin1(a.checksum));
            QCOMPARE(e.info.contains(u"Checksum: "_s + QString::fromLatin1(a.checksum)), !a.checksum.isEmpty());
            const EntryPlace place = hits.place(i);
            QCOMPARE(place.text(), u"Dísc:"_s + QString::fromUtf8(a.folder + a.inArchive));
            QCOMPARE(place.insideZip(), !a.inArchive.isNull());
            QByteArray location = "before ";
            hits.prefetchAfter(i);
            hits.appendLocation(i, location);
            QCOMPARE(location, "before " + place.text().toUtf8());
        };
        for (const Added &a : added)
            add(a);
        for (int i = 0; i < hits.count(); ++i)
            check(i, added[size_t(i)]);
        hits.reorder({5, 4, 3, 2, 1, 0});
        for (int i = 0; i < hits.count(); ++i)
            check(i, added[size_t(5 - i)]);
        hits.truncate(2);
        add(added[4]);
        add(added[0]);
        QCOMPARE(hits.count(), 4);
        for (const auto &[i, a] : std::vector<std::pair<int, size_t>>{{0, 0}, {1, 1}, {2, 4}, {3, 0}})
            check(i, added[a]);
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
        QVERIFY(ExplorerCompare(item("a", 5), item("B", 5), ExplorerColumn::Date, true) < 0); // same day: by name
        // Only a-z are folded: "É" and "é" stay different, and "a" compares as "A", which is below "[".
        QVERIFY(CompareNoCase("\xc3\x89", "\xc3\xa9") != 0);
        QVERIFY(CompareNoCase("a", "[") < 0);
    }

    // The list sorts by numbers first and compares in full only what they leave tied; its order must be the one a
    // stable sort by ExplorerCompare gives, by every key both ways: names of every length and case, long ones alike
    // for their first sixteen bytes, copies of one name, equal sizes, folders, with and without dates that do not
    // convert (none, some, all), hits shown in another order than they were added.
    void sortAgreesWithExplorerCompare()
    {
        const QList<QByteArray> stems{"a",
                                      "A",
                                      "b",
                                      "[x]",
                                      "\xc3\xa9",
                                      "photo_1",
                                      "Photo_1",
                                      "photo_10",
                                      "a long name sharing its start",
                                      "A LONG NAME SHARING ITS START!"};
        const QList<QByteArray> extensions{".mp3", ".JPG", ".txt", ""};
        const CatalogueLocale locale;
        QList<QByteArray> dates;
        for (const QDateTime &d :
             {QDateTime(QDate(2024, 2, 1), QTime(10, 0)), QDateTime(QDate(2024, 2, 1), QTime(11, 0)),
              QDateTime(QDate(2023, 6, 5), QTime(9, 0))})
            dates << locale.formatDateTime(d).toUtf8();
        ExtensionIconCache icons;
        for (const int undatedOneIn : {0, 5, 1}) { // no date that does not convert, some, all
            auto hits = std::make_shared<SearchHits>();
            const int disc = hits->addDisc(u"Disc"_s, u"11112222"_s);
            std::mt19937 random(7);
            const auto pick = [&random](const QList<QByteArray> &from) {
                return from[qsizetype(random() % from.size())];
            };
            for (int i = 0; i < 2000; ++i)
                hits->add(disc, random() % 8 ? ContentsEntry::File : ContentsEntry::Folder,
                          pick(stems) + pick(extensions), "\\F" + QByteArray::number(int(random() % 3)) + "\\", {},
                          qint64(random() % 4) * 1000, undatedOneIn && random() % undatedOneIn == 0 ? QByteArray("n/a") : pick(dates));
            // Shown in another order than they were added, as the duplicates are.
            std::vector<quint32> order(size_t(hits->count()));
            std::iota(order.begin(), order.end(), 0u);
            std::shuffle(order.begin(), order.end(), random);
            hits->reorder(order);
            for (const ExplorerColumn key : {ExplorerColumn::Name, ExplorerColumn::Type, ExplorerColumn::Path,
                                             ExplorerColumn::Size, ExplorerColumn::Date}) {
                for (const bool ascending : {true, false}) {
                    ContentsListing listing(&icons);
                    listing.setHits(hits);
                    // What the comparison reads of each row, taken before the sort.
                    const size_t n = size_t(listing.count());
                    std::vector<QByteArray> captions(n), texts(n);
                    std::vector<ExplorerSortItem> items(n);
                    for (size_t r = 0; r < n; ++r) {
                        const int row = int(r);
                        captions[r] = listing.caption(row).toUtf8();
                        texts[r] = key == ExplorerColumn::Type   ? listing.text(row, 1).toUtf8()
                                   : key == ExplorerColumn::Path ? listing.text(row, 2).toUtf8()
                                                                 : captions[r];
                        const QDateTime day = locale.parseDateTime(listing.text(row, 4));
                        items[r] = {.isFolder = listing.text(row, 1) == u"Folder"_s,
                                    .caption = captions[r],
                                    .text = texts[r],
                                    .number = key == ExplorerColumn::Size ? hits->size(row)
                                              : day.isValid()             ? day.date().toJulianDay()
                                                                          : 0,
                                    .hasNumber = key != ExplorerColumn::Date || day.isValid()};
                    }
                    std::vector<int> expected(n);
                    std::iota(expected.begin(), expected.end(), 0);
                    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                        return ExplorerCompare(items[size_t(a)], items[size_t(b)], key, ascending) < 0;
                    });
                    QCOMPARE(listing.sort(key, ascending), expected);
                }
            }
        }
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

        // Nothing goes deeper than a tree file nests, by a move or a new group.
        TreeNode *deep = b;
        while (deep->level() < TreeLimits::MaxDepth - 1)
            deep = t.addChild(deep, u"G%1"_s.arg(deep->level()), KindGroup);
        QVERIFY(TreeEditor::depthProblem(deep->parent()).isEmpty());
        QVERIFY(!TreeEditor::depthProblem(deep).isEmpty());
        TreeNode *holder = t.addChild(root, u"Holder"_s, KindGroup);
        t.addDisc(holder, {.Title = u"Inside"_s, .Serial = u"00000002"_s});
        QCOMPARE(TreeMoves::MoveNodes(t, {holder}, deep, TreeMoves::AsLastChild), 0);
        QCOMPARE(TreeMoves::MoveNodes(t, {disc}, deep, TreeMoves::AsLastChild), 1);
    }

    void groupListingEntries()
    {
        GroupTree t;
        TreeNode *root = t.addChild(nullptr, u"My Collection"_s, KindRoot);
        TreeNode *g = t.addChild(root, u"Music"_s, KindGroup);
        t.addChild(g, u"Sub"_s, KindGroup);
        TCD cd{u"Disc"_s, {}, u"0000ABCD"_s, u"CDFS"_s, 2048, {}, {}, 4, u"1/2/2025 10:00:00 AM"_s, {}};
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

    // A disc's listing: info lines (a checksum, none in an archive), the archive's mark, places, icons.
    void discListingFromLists()
    {
        ContentsFile::Lists lists = ContentsFile::read(db(), u"1A2B3C4D"_s);
        const ContentsList files = ContentsList::fromBytes(lists.fileList);
        const XXH128_hash_t hash = XXH3_128bits("x", 1);
        for (int r = 0; r < files.recordCount(); ++r)
            ContentsChecksums::appendLine(lists.checksumList, files.folderInArchive(r).isNull() ? &hash : nullptr);
        ContentsFile::packBytes(db(), u"1A2B3C4D"_s, lists);
        ExtensionIconCache icons;
        QSignalSpy added(&icons, &ExtensionIconCache::iconAdded);
        DiscContents contents;
        contents.load(db(), u"1A2B3C4D"_s);
        ContentsListing l(&icons);
        l.setDisc(u"1A2B3C4D"_s, u"Rock Disc"_s, contents.files(), contents.dirs(), contents.checksums());
        QCOMPARE(l.FindDir(u"\\rock\\"_s), 1); // folder paths compare without case
        QCOMPARE(l.FindFiles(u"\\ROCK\\"_s), 1);
        QCOMPARE(l.totalSize(), 3000);
        QCOMPARE(l.entry(1).info, (QStringList{"Type: Folder", "Path: Rock Disc:\\ROCK\\", "IntSize: 1000",
                                               "Size: 1,000.00 Bytes", "Date: " + l.text(1, 4), "SN: 1A2B3C4D"}));

        l.clear();
        l.FindFiles(u"\\"_s);
        QCOMPARE(l.entry(0).info.last(), u"Checksum: "_s + QString::fromLatin1(ContentsChecksums::toHex(hash)));
        int zip = 0;
        while (zip < l.count() && l.caption(zip) != u"pack.zip"_s)
            ++zip;
        QCOMPARE(l.entry(zip).columns.at(0), u"Compressed Folder"_s);
        QCOMPARE(l.entry(zip).columns.size(), 4); // the mark is not a further column

        l.clear();
        l.FindFiles(u"\\pack.zip\\"_s);
        const ContentsEntry deep = l.entry(l.caption(0) == QLatin1String("deep.png") ? 0 : 1);
        QVERIFY(deep.checksum.isEmpty() && !deep.info.join(u' ').contains(u"Checksum"_s));
        QCOMPARE(deep.place, EntryPlace(u"Rock Disc"_s, u"1A2B3C4D"_s, u"\\pack.zip\\img\\"_s, u"\\pack.zip\\"_s));
        // Every new extension took the next position, announced once.
        QCOMPARE(added.count(), icons.count());
        QCOMPARE(icons.imageFor(u"y.PNG"_s), icons.imageFor(u"z.png"_s));
    }

    // The type of one name never depends on which names were asked before it; which are music.
    void fileTypes()
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
        // An extension two types claim is of the kind the media table gives it: ".ts" a video, as ".m2ts" is.
        QCOMPARE(FileTypes::GetFileType(u"clip.TS"_s), FileTypes::GetFileType(u"clip.m2ts"_s));
        // Backwards, after every one of them is cached: the same answers.
        for (qsizetype i = names.size() - 1; i >= 0; --i)
            QCOMPARE(FileTypes::GetFileType(names.at(i)), first.at(i));
        // Names only the extension decides share a key; the others keep their own.
        QCOMPARE(FileTypes::typeKey(u"song.MP3"_s), u".MP3"_s);
        QVERIFY(FileTypes::extensionDecides("song.mp3"));
        for (const char *whole : {"Makefile", "README.txt", "a.tar.gz", "back~", "ls.1", "dir/x.txt"})
            QVERIFY2(!FileTypes::extensionDecides(whole), whole);

        // Music: with or without the dot, in any case; two letters; a type read through TagLib.
        for (const QString &music : {u".mp3"_s, u"Midi"_s, u".ra"_s, u".flac"_s})
            QVERIFY2(FileTypes::IsMusicFile(music), qPrintable(music));
        // A prefix, a longer name, a second dot, nothing, a dotless i (only a-z fold).
        for (const QString &other : {u".MI"_s, u".MP3X"_s, u"..MP3"_s, QString(), u".m\u0131d"_s})
            QVERIFY2(!FileTypes::IsMusicFile(other), qPrintable(other));
    }
};

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
