// The search's rules on real catalogues: contents files written by the list writer and
// packed into real cabinets in a temporary folder, a group tree in memory.

#include "TestCatalogue.h"
#include "listing/ContentsListing.h"
#include "listing/ExtensionIconCache.h"
#include "listing/SearchHits.h"
#include "core/AsciiCase.h"
#include "core/QuilloryError.h"
#include "search/SearchEngine.h"
#include "store/GroupTree.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using TestCatalogue::date;

class TestSearchEngine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    GroupTree m_tree;
    TreeNode *m_root = nullptr;

    TreeNode *disc(TreeNode *parent, const QString &title, const QString &serial, int kind = KindDisc)
    {
        TCD cd;
        cd.Title = title;
        cd.Serial = serial;
        TreeNode *n = m_tree.addDisc(parent, cd);
        m_tree.setKind(n, kind);
        return n;
    }

    // Runs a search and returns its hits as "name|location" in the order found.
    QStringList find(const SearchCriteria &c, const TreeNode *scope = nullptr, SearchEngine **keep = nullptr)
    {
        SearchEngine engine(m_db, c);
        engine.search(scope ? scope : m_root);
        QStringList out;
        const SearchHits &h = *engine.hits();
        for (int i = 0; i < h.count(); ++i)
            out << QString::fromUtf8(h.name(i)) + u'|' + h.location(i);
        Q_UNUSED(keep);
        return out;
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
        disc(music, u"Rock Disc"_s, u"AAAA0001"_s);
        disc(m_root, u"Backup 1"_s, u"AAAA0002"_s);
        disc(m_root, u"Lent"_s, u"AAAA0003"_s, KindLent);
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

    void masks()
    {
        // A substring in any case, folders without their "\", then the whole name as a pattern.
        QCOMPARE(find(mask(u"rock"_s)),
                 QStringList({u"ROCK|Rock Disc:\\"_s, u"Hard Rock.mp3|Rock Disc:\\ROCK\\"_s, u"rock.ogg|Lent:\\"_s}));
        QCOMPARE(find(mask(u"a*b"_s)), QStringList({u"AxxB|Rock Disc:\\"_s}));
        // "*.*" and the empty mask list everything: 2 + 1 folders, 6 + 2 + 1 files.
        QCOMPARE(find(mask(u"*.*"_s)).size(), 12);
        QCOMPARE(find(mask(QString())), find(mask(u"*.*"_s)));
        // "*.mp3" with folders only: the folder named like a song, no file.
        QCOMPARE(find(mask(u"*.mp3"_s, SearchCriteria::FoldersOnly)), QStringList({u"OLD.MP3|Rock Disc:\\ROCK\\"_s}));
        // Wildcard characters are plain in the substring test.
        QCOMPARE(find(mask(u"?"_s)).size(), 0);
    }

    void invalidMaskEndsTheSearchOnlyWhenThePatternIsNeeded()
    {
        // "[zz" is in no name, so the first name needs the pattern, which is invalid.
        QString message;
        try {
            find(mask(u"[zz"_s));
        } catch (const QuilloryError &e) {
            message = e.message();
        }
        QVERIFY2(message.startsWith(u"'[zz' is an invalid mask at ("_s), qPrintable(message));
        // Where every name holds the mask as it stands, the pattern is never made.
        const QString db = m_dir.path() + u"/Brackets/"_s;
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"All"_s, KindRoot);
        TCD cd;
        cd.Title = u"B"_s;
        cd.Serial = u"D0000001"_s;
        tree.addDisc(root, cd);
        TestCatalogue::packDisc(db, cd.Serial, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"a[Zz.txt"_s, u"\\"_s, 1, date(2020, 1, 1));
            files.writeFileRecord(u"[zZ"_s, u"\\"_s, 1, date(2020, 1, 1));
        });
        SearchEngine engine(db, mask(u"[zz"_s));
        engine.search(root);
        QCOMPARE(engine.hits()->count(), 2);
    }

    void categories()
    {
        auto names = [this](int category) {
            QStringList out;
            for (const QString &hit : find(mask(QString(), category)))
                out << hit.section(u'|', 0, 0);
            return out;
        };
        QCOMPARE(names(SearchCriteria::AllFiles).size(), 9);
        QVERIFY(names(SearchCriteria::AllFiles).contains(u"NOTES"_s));
        for (int c = SearchCriteria::Executables; c < SearchCriteria::CategoryCount; ++c)
            QVERIFY(!names(c).contains(u"NOTES"_s));
        QCOMPARE(names(SearchCriteria::Executables), QStringList({u"setup.EXE"_s}));
        QCOMPARE(names(SearchCriteria::MusicFiles), QStringList({u"Hard Rock.mp3"_s, u"rock.ogg"_s}));
        QCOMPARE(names(SearchCriteria::Archives), QStringList({u"PACK.ZIP"_s}));
        // A "." before the last "\" gives no extension: "v1.2\readme" is no document.
        QCOMPARE(names(SearchCriteria::Documents), QStringList({u"readme.txt"_s}));
        QCOMPARE(SearchTests::extensionOf("a.b:c"), QByteArray());
        QCOMPARE(SearchTests::extensionOf("Song.Mp3"), QByteArray("MP3"));
        QCOMPARE(SearchTests::categoryCaptions().size(), SearchCriteria::CategoryCount);
    }

    void sizes()
    {
        SearchCriteria c = mask(QString(), SearchCriteria::AllFiles);
        c.largerOn = true;
        c.minSize = 1024;
        QCOMPARE(find(c), QStringList({u"Hard Rock.mp3|Rock Disc:\\ROCK\\"_s}));
        // "Smaller than:" left at 0: only empty files.
        c = mask(QString(), SearchCriteria::AllFiles);
        c.smallerOn = true;
        QCOMPARE(find(c), QStringList({u"xab|Rock Disc:\\"_s}));
        c.maxSize = 1023;
        c.largerOn = true;
        c.minSize = 1023;
        QCOMPARE(find(c), QStringList({u"AxxB|Rock Disc:\\"_s}));
        c.largerOn = true;
        c.smallerOn = false;
        c.minSize = qint64(3000) * 1048576;
        QCOMPARE(find(c), QStringList());
    }

    void dates()
    {
        const QDateTime bound(QDate(2024, 3, 4), QTime(10, 0));
        SearchCriteria c = mask(QString(), SearchCriteria::AllFiles);
        c.newerOn = true;
        c.newerThan = bound;
        // The bound itself passes; earlier items go.
        QStringList newer;
        for (const QString &h : find(c))
            newer << h.section(u'|', 0, 0);
        QCOMPARE(newer,
                 QStringList({u"Hard Rock.mp3"_s, u"AxxB"_s, u"xab"_s, u"NOTES"_s, u"setup.EXE"_s, u"v1.2\\readme"_s}));
        c.olderOn = true;
        c.olderThan = QDateTime(QDate(2024, 3, 6), QTime(0, 0));
        QCOMPARE(find(c).size(), 2);
        c.olderThan = QDateTime(QDate(2024, 3, 6), QTime(12, 0));
        QCOMPARE(find(c).size(), 3);
    }

    void hitsCarryTheirColumnsAndInfo()
    {
        SearchEngine engine(m_db, mask(u"readme.txt"_s));
        engine.search(m_root);
        const SearchHits &h = *engine.hits();
        QCOMPARE(h.count(), 1);
        ContentsEntry e = h.entry(0, u"Plain text document"_s, 7);
        QCOMPARE(e.column(1), u"Backup 1:\\DATA\\PACK.ZIP\\docs\\"_s);
        QCOMPARE(e.info.at(1), u"Path: Backup 1:\\DATA\\PACK.ZIP\\docs\\"_s);
        QCOMPARE(e.info.last(), u"SN: AAAA0002"_s);

        SearchEngine zip(m_db, mask(u"pack"_s, SearchCriteria::AllFiles));
        zip.search(m_root);
        QCOMPARE(zip.hits()->count(), 1);
        QCOMPARE(zip.hits()->kind(0), ContentsEntry::Archive);
        e = zip.hits()->entry(0, u"Compressed Folder"_s, 6);
        QCOMPARE(e.info.first(), u"Compressed Folder"_s);

        SearchEngine song(m_db, mask(u"hard"_s));
        song.search(m_root);
        e = song.hits()->entry(0, u"MP3 audio"_s, 8);
        QCOMPARE(e.info, QStringList({u"Type: MP3 audio"_s, u"Path: Rock Disc:\\ROCK\\"_s, u"Size: 1.00 KB"_s,
                                      u"IntSize: 1024"_s, u"Date: "_s + date(2024, 3, 4, 10), u"SN: AAAA0001"_s,
                                      u"Title: Loud"_s, u"Duration: 00:03:00"_s}));
        QCOMPARE(e.columns.mid(4), QStringList({u"Title: Loud"_s, u"Duration: 00:03:00"_s}));
        QCOMPARE(song.foundFiles(), 1);
        QCOMPARE(song.foundSize(), 1024);
    }

    void hitsAreListedAndSortedByTheListing()
    {
        SearchEngine engine(m_db, mask(u"a"_s));
        engine.search(m_root);
        ExtensionIconCache icons;
        ContentsListing listing(&icons);
        listing.setHits(engine.hits());
        QCOMPARE(listing.count(), engine.hits()->count());
        QCOMPARE(listing.totalSize(), engine.foundSize());
        // Folders stay on top whatever the order; the rest by size, then by path.
        listing.sort(ExplorerColumn::Size, false);
        QCOMPARE(listing.kind(0), ContentsEntry::Folder);
        for (int r = 1; r < listing.count(); ++r) {
            if (listing.kind(r - 1) != ContentsEntry::Folder && listing.kind(r) != ContentsEntry::Folder)
                QVERIFY(listing.intSize(r - 1) >= listing.intSize(r));
        }
        listing.sort(ExplorerColumn::Path, true);
        QStringList paths;
        for (int r = 0; r < listing.count(); ++r) {
            // The row's texts are its entry's.
            const ContentsEntry e = listing.entry(r);
            QCOMPARE(listing.text(r, 0), e.caption);
            for (int c = 1; c < 5; ++c)
                QCOMPARE(listing.text(r, c), e.column(c - 1));
            if (e.kind != ContentsEntry::Folder)
                paths << e.column(1);
        }
        QStringList sorted = paths;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(paths, sorted);
        // An archive is listed with its archive image and type.
        int zip = -1;
        for (int r = 0; r < listing.count(); ++r)
            if (listing.caption(r) == u"PACK.ZIP"_s)
                zip = r;
        QVERIFY(zip >= 0);
        QCOMPARE(listing.image(zip), int(ExtensionIconCache::ImageArchive));
        QCOMPARE(listing.text(zip, 1), u"Compressed Folder"_s);
    }

    void scopes()
    {
        // A disc alone; a group at any depth; the lent disc like any other.
        QCOMPARE(find(mask(u"rock"_s), FindGroup(m_root, u"Music"_s)).size(), 2);
        QCOMPARE(find(mask(u"rock"_s), FindCD(m_root, u"AAAA0003"_s)), QStringList({u"rock.ogg|Lent:\\"_s}));
        QCOMPARE(find(mask(u"rock"_s), FindGroup(m_root, u"Empty"_s)), QStringList());
    }

    void limitStopsAtExactlyThatMany_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("last");
        // The 2nd hit is a folder, the 3rd a file; discs not reached give nothing.
        QTest::newRow("folder") << 2 << u"OLD.MP3"_s;
        QTest::newRow("file") << 3 << u"Hard Rock.mp3"_s;
        QTest::newRow("none") << 0 << u"rock.ogg"_s;
    }
    void limitStopsAtExactlyThatMany()
    {
        QFETCH(int, limit);
        QFETCH(QString, last);
        SearchCriteria c = mask(QString());
        c.limit = limit;
        const QStringList hits = find(c);
        QCOMPARE(hits.size(), limit ? limit : 12);
        QCOMPARE(hits.last().section(u'|', 0, 0), last);
    }

    void stopFromTheProgressCallback()
    {
        // A disc large enough that the walk reports progress at least once.
        const QString db = m_dir.path() + u"/Big/"_s;
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"All"_s, KindRoot);
        for (int d = 0; d < 3; ++d) {
            TCD cd;
            cd.Title = u"Disc %1"_s.arg(d);
            cd.Serial = u"B000000%1"_s.arg(d);
            tree.addDisc(root, cd);
            TestCatalogue::packDisc(db, cd.Serial, [](ContentsListWriter &, ContentsListWriter &files) {
                for (int i = 0; i < 200000; ++i)
                    files.writeFileRecord(u"file%1.dat"_s.arg(i), u"\\"_s, i, u"01/01/2020"_s);
            });
        }
        SearchEngine engine(db, mask(QString()));
        int calls = 0;
        QStringList discs;
        engine.setDiscStarted([&](const TCD &cd) { discs << cd.Title; });
        engine.setProgress([&] {
            ++calls;
            engine.stop();
        });
        engine.search(root);
        QVERIFY(engine.isStopped());
        QCOMPARE(calls, 1);
        QVERIFY(engine.hits()->count() < 600000);
        QCOMPARE(engine.foundFiles(), engine.hits()->count());
        QVERIFY(discs.size() < 3);
    }

    void badValuesEndOnlyTheirDisc()
    {
        const QString db = m_dir.path() + u"/Bad/"_s;
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"All"_s, KindRoot);
        for (const QString &s : {u"C0000001"_s, u"C0000002"_s, u"C0000003"_s}) {
            TCD cd;
            cd.Title = s;
            cd.Serial = s;
            tree.addDisc(root, cd);
        }
        // A folder whose size is no number ends its disc before the files.
        TestCatalogue::packDisc(db, u"C0000001"_s, [](ContentsListWriter &folders, ContentsListWriter &files) {
            folders.writeFolderRecord(u"a1"_s, u"\\"_s, 1, date(2020, 1, 1));
            folders.writeRecord({u"a2\\"_s, u"\\"_s, u"12x"_s, date(2020, 1, 1)});
            folders.writeFolderRecord(u"a3"_s, u"\\"_s, 1, date(2020, 1, 1));
            files.writeFileRecord(u"a4"_s, u"\\"_s, 1, date(2020, 1, 1));
        });
        // A file whose date is no date: only matters with a date bound.
        TestCatalogue::packDisc(db, u"C0000002"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"a5"_s, u"\\"_s, 1, date(2020, 1, 1));
            files.writeFileRecord(u"a6"_s, u"\\"_s, 1, u"yesterday"_s);
            files.writeFileRecord(u"a7"_s, u"\\"_s, 1, date(2020, 1, 1));
        });
        // C0000003 has no contents file: told, and the search goes on.
        auto names = [&](const SearchCriteria &c, QStringList *problems = nullptr) {
            SearchEngine engine(db, c);
            engine.search(root);
            QStringList out;
            for (int i = 0; i < engine.hits()->count(); ++i)
                out << QString::fromUtf8(engine.hits()->name(i));
            if (problems)
                *problems = engine.problems();
            return out;
        };
        QStringList problems;
        QCOMPARE(names(mask(u"a"_s), &problems), QStringList({u"a1"_s, u"a5"_s, u"a6"_s, u"a7"_s}));
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems.first().contains(u"C0000003"_s));
        // Files only: the bad folder is never read.
        QCOMPARE(names(mask(u"a"_s, SearchCriteria::AllFiles)), QStringList({u"a4"_s, u"a5"_s, u"a6"_s, u"a7"_s}));
        SearchCriteria dated = mask(u"a"_s, SearchCriteria::AllFiles);
        dated.newerOn = true;
        dated.newerThan = QDateTime(QDate(2000, 1, 1), QTime(0, 0));
        QCOMPARE(names(dated), QStringList({u"a4"_s, u"a5"_s}));
    }
};

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
