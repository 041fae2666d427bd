// The search's rules on real catalogues: contents files written by the list writer and
// packed into real cabinets in a temporary folder, a group tree in memory.

#include "CabTestUtil.h"
#include "TestCatalogue.h"
#include "core/QuilloryError.h"
#include "listing/ContentsListing.h"
#include "listing/ExtensionIconCache.h"
#include "listing/SearchHits.h"
#include "search/SearchEngine.h"
#include "store/GroupTree.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using TestCatalogue::date;

Q_DECLARE_METATYPE(SearchCriteria)

class TestSearchEngine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    GroupTree m_tree;
    TreeNode *m_root = nullptr;

    // A catalogue of its own in `name`: a disc titled as its serial for each writer given.
    TreeNode *catalogue(GroupTree &tree, const QString &name,
                        const QList<std::function<void(ContentsListWriter &, ContentsListWriter &)>> &discs)
    {
        TreeNode *root = tree.addChild(tree.top(), u"All"_s, KindRoot);
        for (int d = 0; d < discs.size(); ++d) {
            const QString serial = u"C000000%1"_s.arg(d + 1);
            tree.addDisc(root, {.Title = serial, .Serial = serial});
            if (discs[d])
                TestCatalogue::packDisc(m_dir.path() + u'/' + name + u'/', serial, discs[d]);
        }
        return root;
    }
    static QStringList names(const SearchEngine &engine)
    {
        QStringList out;
        for (int i = 0; i < engine.hits()->count(); ++i)
            out << QString::fromUtf8(engine.hits()->name(i));
        return out;
    }
    QStringList find(const SearchCriteria &c, const TreeNode *scope = nullptr)
    {
        SearchEngine engine(m_db, c);
        engine.search(scope ? scope : m_root);
        return names(engine);
    }
    static SearchCriteria mask(const QString &m, int category = 0)
    {
        SearchCriteria c;
        c.mask = m;
        c.category = category;
        return c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_db = m_dir.path() + u"/DB/"_s;
        // Music (group) / Rock Disc; Backup 1; Lent (lent disc); Empty (group)
        m_root = m_tree.addChild(m_tree.top(), u"My Collection"_s, KindRoot);
        TreeNode *music = m_tree.addChild(m_root, u"Music"_s, KindGroup);
        const auto disc = [this](TreeNode *parent, const QString &title, const QString &serial) {
            return m_tree.addDisc(parent, {.Title = title, .Serial = serial});
        };
        disc(music, u"Rock Disc"_s, u"AAAA0001"_s);
        disc(m_root, u"Backup 1"_s, u"AAAA0002"_s);
        m_tree.setKind(disc(m_root, u"Lent"_s, u"AAAA0003"_s), KindLent);
        m_tree.addChild(m_root, u"Empty"_s, KindGroup);

        TestCatalogue::packDisc(m_db, u"AAAA0001"_s, [](ContentsListWriter &folders, ContentsListWriter &files) {
            folders.writeFolderRecord(u"ROCK"_s, u"\\"_s, 3000, date(2024, 3, 2));
            folders.writeFolderRecord(u"OLD.MP3"_s, u"\\ROCK\\"_s, 10, date(2024, 3, 3));
            files.writeFileRecord(u"Hard Rock.mp3"_s, u"\\ROCK\\"_s, 1024, date(2024, 3, 4, 10),
                                  {u"Title: Loud"_s, u"Duration: 00:03:00"_s});
            files.writeFileRecord(u"AxxB"_s, u"\\"_s, 1023, date(2024, 3, 5));
            files.writeFileRecord(u"xab"_s, u"\\"_s, 0, date(2024, 3, 6));
            files.writeFileRecord(u"NOTES"_s, u"\\"_s, 5, date(2024, 3, 7));
            files.writeFileRecord(u"setup.EXE"_s, u"\\"_s, 7, date(2024, 3, 8));
            files.writeFileRecord(u"v1.2\\readme"_s, u"\\"_s, 7, date(2024, 3, 8));
        });
        TestCatalogue::packDisc(m_db, u"AAAA0002"_s, [](ContentsListWriter &folders, ContentsListWriter &files) {
            folders.writeFolderRecord(u"DATA"_s, u"\\"_s, 0, date(2023, 1, 1));
            files.writeFileRecord(u"PACK.ZIP"_s, u"\\DATA\\"_s, 500, date(2023, 1, 2),
                                  {QString::fromLatin1(ContentsRecord::CompressedFolder)});
            files.writeArchiveEntry(u"readme.txt"_s, u"\\DATA\\PACK.ZIP\\"_s, 50, date(2023, 1, 3), u"docs\\"_s);
        });
        TestCatalogue::packDisc(m_db, u"AAAA0003"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"rock.ogg"_s, u"\\"_s, 1, date(2022, 1, 1));
        });
    }

    void criteria_data()
    {
        QTest::addColumn<SearchCriteria>("criteria");
        QTest::addColumn<QString>("scope"); // a group or a disc by name; empty: the whole tree
        QTest::addColumn<QStringList>("hits");
        const QStringList all{u"ROCK"_s, u"OLD.MP3"_s,  u"Hard Rock.mp3"_s, u"AxxB"_s,
                              u"xab"_s,  u"NOTES"_s,    u"setup.EXE"_s,     u"v1.2\\readme"_s,
                              u"DATA"_s, u"PACK.ZIP"_s, u"readme.txt"_s,    u"rock.ogg"_s};
        const auto row = [](const char *name, const SearchCriteria &c, const QStringList &hits,
                            const QString &scope = {}) { QTest::newRow(name) << c << scope << hits; };
        const auto with = [](SearchCriteria c, const std::function<void(SearchCriteria &)> &set) {
            set(c);
            return c;
        };
        const SearchCriteria files = mask({}, SearchCriteria::AllFiles);
        // A substring in any case, folders without their "\", then the whole name as a pattern.
        row("substring", mask(u"rock"_s), {u"ROCK"_s, u"Hard Rock.mp3"_s, u"rock.ogg"_s});
        row("pattern", mask(u"a*b"_s), {u"AxxB"_s});
        row("*.*", mask(u"*.*"_s), all);
        row("empty mask", mask({}), all);
        row("folders only", mask(u"*.mp3"_s, SearchCriteria::FoldersOnly), {u"OLD.MP3"_s});
        row("wildcards are plain in the substring", mask(u"?"_s), {});
        row("executables", mask({}, SearchCriteria::Executables), {u"setup.EXE"_s});
        row("music", mask({}, SearchCriteria::MusicFiles), {u"Hard Rock.mp3"_s, u"rock.ogg"_s});
        row("archives", mask({}, SearchCriteria::Archives), {u"PACK.ZIP"_s});
        // A "." before the last "\" gives no extension: "v1.2\readme" is no document.
        row("documents", mask({}, SearchCriteria::Documents), {u"readme.txt"_s});
        row("larger than", with(files, [](auto &c) { c.largerOn = true, c.minSize = 1024; }), {u"Hard Rock.mp3"_s});
        // "Smaller than:" left at 0: only empty files.
        row("smaller than 0", with(files, [](auto &c) { c.smallerOn = true; }), {u"xab"_s});
        row("both bounds on one size",
            with(files, [](auto &c) { c.smallerOn = c.largerOn = true, c.minSize = c.maxSize = 1023; }), {u"AxxB"_s});
        row("larger than 3000 MB", with(files, [](auto &c) { c.largerOn = true, c.minSize = qint64(3000) * 1048576; }),
            {});
        // The bound itself passes; earlier items go.
        const auto newer =
            with(files, [](auto &c) { c.newerOn = true, c.newerThan = {QDate(2024, 3, 4), QTime(10, 0)}; });
        const auto older = [&](int hour) {
            return with(newer, [=](auto &c) { c.olderOn = true, c.olderThan = {QDate(2024, 3, 6), QTime(hour, 0)}; });
        };
        row("newer than", newer,
            {u"Hard Rock.mp3"_s, u"AxxB"_s, u"xab"_s, u"NOTES"_s, u"setup.EXE"_s, u"v1.2\\readme"_s});
        row("between, before noon", older(0), {u"Hard Rock.mp3"_s, u"AxxB"_s});
        row("between, at noon", older(12), {u"Hard Rock.mp3"_s, u"AxxB"_s, u"xab"_s});
        // A disc alone; a group at any depth; the lent disc like any other.
        row("a group", mask(u"rock"_s), {u"ROCK"_s, u"Hard Rock.mp3"_s}, u"Music"_s);
        row("the lent disc", mask(u"rock"_s), {u"rock.ogg"_s}, u"Lent"_s);
        row("an empty group", mask(u"rock"_s), {}, u"Empty"_s);
        // The limit stops at exactly that many: after a folder, after a file; 0 is none.
        row("limit on a folder", with(mask({}), [](auto &c) { c.limit = 2; }), all.first(2));
        row("limit on a file", with(mask({}), [](auto &c) { c.limit = 3; }), all.first(3));
        row("no limit", with(mask({}), [](auto &c) { c.limit = 0; }), all);
    }
    void criteria()
    {
        QFETCH(SearchCriteria, criteria);
        QFETCH(QString, scope);
        QFETCH(QStringList, hits);
        QCOMPARE(find(criteria, scope.isEmpty() ? m_root : FindGroup(m_root, scope)), hits);
    }

    void extensions()
    {
        QCOMPARE(SearchTests::extensionOf("a.b:c"), QByteArray());
        QCOMPARE(SearchTests::extensionOf("Song.Mp3"), QByteArray("MP3"));
    }

    void invalidMaskEndsTheSearchOnlyWhenThePatternIsNeeded()
    {
        // "[zz" is in no name, so the first name needs the pattern, which is invalid.
        const QString message = CabTestUtil::refusal([this] { find(mask(u"[zz"_s)); });
        QVERIFY2(message.startsWith(u"'[zz' is an invalid mask at ("_s), qPrintable(message));
        // Where every name holds the mask as it stands, the pattern is never made.
        GroupTree tree;
        const TreeNode *root = catalogue(tree, u"Brackets"_s, {[](ContentsListWriter &, ContentsListWriter &files) {
                                             files.writeFileRecord(u"a[Zz.txt"_s, u"\\"_s, 1, date(2020, 1, 1));
                                             files.writeFileRecord(u"[zZ"_s, u"\\"_s, 1, date(2020, 1, 1));
                                         }});
        SearchEngine engine(m_dir.path() + u"/Brackets/"_s, mask(u"[zz"_s));
        engine.search(root);
        QCOMPARE(engine.hits()->count(), 2);
    }

    void hitsCarryTheirInfoAndAreListedAndSortedByTheListing()
    {
        SearchEngine engine(m_db, mask(u"a"_s));
        engine.search(m_root);
        const ContentsEntry e = engine.hits()->entry(0, u"MP3 audio"_s, 8); // "Hard Rock.mp3"
        QCOMPARE(e.info, QStringList({u"Type: MP3 audio"_s, u"Path: Rock Disc:\\ROCK\\"_s, u"Size: 1.00 KB"_s,
                                      u"IntSize: 1024"_s, u"Date: "_s + date(2024, 3, 4, 10), u"SN: AAAA0001"_s,
                                      u"Title: Loud"_s, u"Duration: 00:03:00"_s}));
        QCOMPARE(e.columns.mid(4), QStringList({u"Title: Loud"_s, u"Duration: 00:03:00"_s}));
        QCOMPARE(engine.foundFiles(), 6);
        QCOMPARE(engine.foundSize(), 1024 + 1023 + 7 + 500 + 50);
        ExtensionIconCache icons;
        ContentsListing listing(&icons);
        listing.setHits(engine.hits());
        QCOMPARE(listing.totalSize(), engine.foundSize());
        // Folders stay on top whatever the order; the rest by size, then by path.
        const auto captions = [&listing] {
            QStringList out;
            for (int r = 0; r < listing.count(); ++r)
                out << listing.caption(r);
            return out;
        };
        listing.sort(ExplorerColumn::Size, false);
        QCOMPARE(captions(), QStringList({u"DATA"_s, u"Hard Rock.mp3"_s, u"AxxB"_s, u"PACK.ZIP"_s, u"readme.txt"_s,
                                          u"v1.2\\readme"_s, u"xab"_s}));
        listing.sort(ExplorerColumn::Path, true);
        QCOMPARE(captions(), QStringList({u"DATA"_s, u"PACK.ZIP"_s, u"readme.txt"_s, u"AxxB"_s, u"v1.2\\readme"_s,
                                          u"xab"_s, u"Hard Rock.mp3"_s}));
        // An archive is listed with its archive image and type.
        QCOMPARE(listing.image(1), int(ExtensionIconCache::ImageArchive));
        QCOMPARE(listing.text(1, 1), u"Compressed Folder"_s);
        // An entry of an archive is placed in its folder inside the archive.
        QCOMPARE(listing.text(2, 2), u"Backup 1:\\DATA\\PACK.ZIP\\docs\\"_s);
    }

    void stopFromTheProgressCallback()
    {
        // Discs large enough that the walk reports progress at least once.
        const auto big = [](ContentsListWriter &, ContentsListWriter &files) {
            for (int i = 0; i < 200000; ++i)
                files.writeFileRecord(u"file%1.dat"_s.arg(i), u"\\"_s, i, u"01/01/2020"_s);
        };
        GroupTree tree;
        const TreeNode *root = catalogue(tree, u"Big"_s, {big, big, big});
        SearchEngine engine(m_dir.path() + u"/Big/"_s, mask(QString()));
        int calls = 0;
        QStringList discs;
        engine.setDiscStarted([&](const TCD &cd) { discs << cd.Title; });
        engine.setProgress([&] { ++calls, engine.stop(); });
        engine.search(root);
        QVERIFY(engine.isStopped());
        QCOMPARE(calls, 1);
        QVERIFY(engine.hits()->count() < 600000);
        QCOMPARE(engine.foundFiles(), engine.hits()->count());
        QVERIFY(discs.size() < 3);
    }

    void badValuesEndOnlyTheirDisc()
    {
        // A folder whose size is no number ends its disc before the files, and is told (one past the signed
        // range, as older scans summed sparse files, is a size); a file whose date is no date only matters with a
        // date bound; a disc without a contents file, or whose list is
        // beyond the catalogue's limits, is told, and the search goes on.
        GroupTree tree;
        const TreeNode *root =
            catalogue(tree, u"Bad"_s,
                      {[](ContentsListWriter &folders, ContentsListWriter &files) {
                           folders.writeRecord({u"a1\\"_s, u"\\"_s, u"18446744073709551615"_s, date(2020, 1, 1)});
                           folders.writeRecord({u"a2\\"_s, u"\\"_s, u"12x"_s, date(2020, 1, 1)});
                           folders.writeFolderRecord(u"a3"_s, u"\\"_s, 1, date(2020, 1, 1));
                           files.writeFileRecord(u"a4"_s, u"\\"_s, 1, date(2020, 1, 1));
                       },
                       [](ContentsListWriter &, ContentsListWriter &files) {
                           files.writeFileRecord(u"a5"_s, u"\\"_s, 1, date(2020, 1, 1));
                           files.writeFileRecord(u"a6"_s, u"\\"_s, 1, u"yesterday"_s);
                           files.writeFileRecord(u"a7"_s, u"\\"_s, 1, date(2020, 1, 1));
                       },
                       nullptr,
                       [](ContentsListWriter &, ContentsListWriter &files) {
                           files.writeRecord({u"a8"_s, u"\\"_s, u"1"_s, date(2020, 1, 1), QString(70000, u'x')});
                       }});
        // All, files only (the bad folder is never read), files with a date bound.
        SearchCriteria dated = mask(u"a"_s, SearchCriteria::AllFiles);
        dated.newerOn = true;
        dated.newerThan = QDateTime(QDate(2000, 1, 1), QTime(0, 0));
        const std::pair<SearchCriteria, QStringList> rows[] = {
            {mask(u"a"_s), {u"a1"_s, u"a5"_s, u"a6"_s, u"a7"_s}},
            {mask(u"a"_s, SearchCriteria::AllFiles), {u"a4"_s, u"a5"_s, u"a6"_s, u"a7"_s}},
            {dated, {u"a4"_s, u"a5"_s}}};
        for (const auto &[criteria, hits] : rows) {
            SearchEngine engine(m_dir.path() + u"/Bad/"_s, criteria);
            engine.search(root);
            QCOMPARE(names(engine), hits);
            if (criteria.searchesFolders())
                QCOMPARE(engine.hits()->size(0), std::numeric_limits<qint64>::max());
            // A date that does not read, which cut the disc for a date search, is told too.
            const QStringList told = engine.problems();
            const bool foldersRead = criteria.searchesFolders();
            QCOMPARE(told.size(), criteria.dateBound() || foldersRead ? 3 : 2);
            QCOMPARE(told.filter(u"The disc \"C0000001\" was read only up to a size that is no number"_s).size(),
                     foldersRead ? 1 : 0);
            QCOMPARE(told.filter(u"C0000003"_s).size(), 1);
            QCOMPARE(told.filter(u"line of more than 64 KB"_s).size(), 1);
            QCOMPARE(told.filter(u"could not be searched by date past \"yesterday\""_s).size(),
                     criteria.dateBound() ? 1 : 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
