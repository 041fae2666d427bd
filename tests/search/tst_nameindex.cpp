// The name index against the plain walk: random catalogues searched with and without it,
// cold and warm, must give the same hits in the same order; an index is never used once its
// disc's contents file has changed, a damaged index file is ignored, and the cache stays
// within its bound.

#include "CabTestUtil.h"
#include "TestCatalogue.h"
#include "core/QuilloryError.h"
#include "listing/SearchHits.h"
#include "search/NameIndex.h"
#include "search/SearchEngine.h"
#include "store/GroupTree.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestNameIndex : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    QString m_cache;
    GroupTree m_tree;
    TreeNode *m_root = nullptr;

    static QString randomName(QRandomGenerator &rng)
    {
        static const char16_t letters[] = u"abcABCxX[]é. _";
        static const QString exts[] = {u".mp3"_s, u".MP3"_s, u".zip"_s, u".txt"_s, u".jpg"_s, u""_s, u".exe"_s};
        QString n;
        const int len = 1 + rng.bounded(6);
        for (int i = 0; i < len; ++i)
            n += QChar(letters[rng.bounded(int(std::size(letters)) - 1)]);
        return n + exts[rng.bounded(int(std::size(exts)))];
    }

    static QString randomDate(QRandomGenerator &rng)
    {
        if (rng.bounded(200) == 0)
            return u"not a date"_s;
        return TestCatalogue::date(2020 + rng.bounded(3), 1 + rng.bounded(12), 1 + rng.bounded(28), rng.bounded(24),
                                   rng.bounded(60));
    }

    // files: how many file records, a few hundred at random when below zero.
    void writeDisc(const QString &serial, quint32 seed, int fileCount = -1)
    {
        TestCatalogue::packDisc(m_db, serial, [=](ContentsListWriter &folders, ContentsListWriter &files) {
            QRandomGenerator rng(seed);
            const int nf = rng.bounded(30);
            for (int i = 0; i < nf; ++i) {
                if (rng.bounded(150) == 0)
                    folders.writeRecord({randomName(rng) + u'\\', u"\\"_s, u"-5x"_s, randomDate(rng)});
                else
                    folders.writeFolderRecord(randomName(rng), u"\\D%1\\"_s.arg(i % 4), rng.bounded(5000),
                                              randomDate(rng));
            }
            const int drawn = rng.bounded(400);
            const int n = fileCount < 0 ? drawn : fileCount;
            for (int i = 0; i < n; ++i) {
                const QString folder = u"\\D%1\\"_s.arg(rng.bounded(4));
                switch (rng.bounded(20)) {
                case 0:
                    files.writeFileRecord(randomName(rng) + u".zip"_s, folder, rng.bounded(100000), randomDate(rng),
                                          {QString::fromLatin1(ContentsRecord::CompressedFolder)});
                    break;
                case 1:
                    files.writeArchiveEntry(randomName(rng), folder + u"A.ZIP\\"_s, rng.bounded(100), randomDate(rng),
                                            u"in\\"_s);
                    break;
                case 2:
                    if (rng.bounded(10) == 0) {
                        files.writeRecord({randomName(rng), folder, u""_s, randomDate(rng)});
                        break;
                    }
                    [[fallthrough]];
                default:
                    files.writeFileRecord(randomName(rng), folder, rng.bounded(100000), randomDate(rng),
                                          rng.bounded(3) ? QStringList() : QStringList{u"Title: x"_s});
                }
            }
        });
    }

    static QStringList run(const QString &db, const SearchCriteria &c, const TreeNode *scope, NameIndex *index)
    {
        SearchEngine engine(db, c, index);
        engine.search(scope);
        // Index files are written behind the search; the tests look at them once they are there.
        if (index)
            index->flush();
        QStringList out;
        const SearchHits &h = *engine.hits();
        for (int i = 0; i < h.count(); ++i) {
            const ContentsEntry e = h.entry(i, u"T"_s, 0);
            out << e.caption + u'|' + e.columns.join(u'|') + u'|' + e.info.join(u'|');
        }
        out << u"%1 %2 %3"_s.arg(engine.foundDirs()).arg(engine.foundFiles()).arg(engine.foundSize());
        // The index's names were made apart from the parsed lists; they must agree on every record.
        if (engine.staleDiscs() != 0)
            out << u"stale"_s;
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        m_db = m_dir.path() + u"/DB/"_s;
        m_cache = m_dir.path() + u"/cache/"_s;
        m_root = m_tree.addChild(m_tree.top(), u"Root"_s, KindRoot);
        TreeNode *g = m_tree.addChild(m_root, u"G"_s, KindGroup);
        for (int d = 0; d < 12; ++d) {
            const TCD cd{.Title = u"Disc %1"_s.arg(d), .Serial = u"E%1"_s.arg(d, 7, 10, QChar(u'0'))};
            m_tree.addDisc(d % 3 ? m_root : g, cd);
            writeDisc(cd.Serial, 1000 + d);
        }
        // A list made on Windows: Windows-1252 bytes, not UTF-8, LF line ends.
        m_tree.addDisc(m_root, {.Title = u"Windows"_s, .Serial = u"F0000001"_s});
        const QByteArray date = TestCatalogue::date(2021, 6, 1).toUtf8();
        ContentsFile::packBytes(m_db, u"F0000001"_s, "Caf\xe9 \xc9t\xe9\\\n\\\n0\n" + date + "\n-\n",
                                "r\xe9sum\xe9.txt\n\\Caf\xe9 \xc9t\xe9\\\n12\n" + date + "\n-\nabc\n\\\n1\n" + date);
    }

    void indexAnswersEqualTheWalk()
    {
        QRandomGenerator rng(42);
        const QString masks[] = {u""_s,     u"*.*"_s,    u"a"_s, u"AB"_s, u"b.m"_s, u"*.mp3"_s,
                                 u"a?c*"_s, u"[a-c]*"_s, u"x"_s, u"é"_s,  u"[]"_s,  u"zzz"_s};
        NameIndex warm(m_db, NameIndex::DefaultMaxBytes, m_cache);
        int hits = 0, errors = 0, limited = 0;
        for (int round = 0; round < 120; ++round) {
            SearchCriteria c;
            c.mask = masks[rng.bounded(int(std::size(masks)))];
            c.category = rng.bounded(SearchCriteria::CategoryCount);
            c.largerOn = rng.bounded(3) == 0;
            c.minSize = rng.bounded(50000);
            c.smallerOn = rng.bounded(3) == 0;
            c.maxSize = rng.bounded(100000);
            c.newerOn = rng.bounded(4) == 0;
            c.newerThan = QDateTime(QDate(2021, 1 + rng.bounded(12), 1), QTime(0, 0));
            c.olderOn = rng.bounded(4) == 0;
            c.olderThan = QDateTime(QDate(2022, 1 + rng.bounded(12), 1), QTime(0, 0));
            c.limit = rng.bounded(4) == 0 ? rng.bounded(50) : 0;
            const TreeNode *scope = rng.bounded(2) ? m_root : FindGroup(m_root, u"G"_s);

            QStringList plain;
            QString error;
            try {
                plain = run(m_db, c, scope, nullptr);
            } catch (const QuilloryError &e) {
                error = e.message();
                ++errors;
            }
            hits += std::max(0, int(plain.size()) - 1);
            limited += c.limit > 0 && plain.size() - 1 == c.limit;
            // A fresh index object each time reads the files; the long-lived one its mapped copies.
            for (int pass = 0; pass < 2; ++pass) {
                NameIndex fresh(m_db, NameIndex::DefaultMaxBytes, m_cache);
                NameIndex *index = pass ? &warm : &fresh;
                try {
                    QCOMPARE(run(m_db, c, scope, index), plain);
                    QVERIFY2(error.isEmpty(), qPrintable(c.mask));
                } catch (const QuilloryError &e) {
                    QCOMPARE(e.message(), error);
                }
            }
        }
        QVERIFY(TestCatalogue::bytesUnder(m_cache) > 0);
        // The rounds reach every way out: hits, invalid masks, the limit.
        QVERIFY(hits > 1000);
        QVERIFY(errors > 0);
        QVERIFY(limited > 0);
    }

    // A list of a megabyte or more is scanned on a second thread as it unpacks, block by block.
    void aLargeListScannedAsItUnpacksAnswersAsTheWalk()
    {
        const TCD cd{.Title = u"Large"_s, .Serial = u"L0000001"_s};
        writeDisc(cd.Serial, 7, 30000);
        QVERIFY(ContentsFile::read(m_db, cd.Serial).fileList.size() >= qsizetype(1) << 20);
        GroupTree tree;
        TreeNode *disc = tree.addDisc(tree.addChild(tree.top(), u"Root"_s, KindRoot), cd);
        for (const QString &mask : {u"b.m"_s, u"*.zip"_s, u"a?c*"_s}) {
            SearchCriteria c;
            c.mask = mask;
            NameIndex cold(m_db, NameIndex::DefaultMaxBytes, m_dir.path() + u"/large-cache-"_s + QString::number(mask.size()));
            QCOMPARE(run(m_db, c, disc, &cold), run(m_db, c, disc, nullptr));
        }
        ContentsFile::remove(m_db, cd.Serial);
    }

    void aChangedContentsFileIsNeverAnsweredFromTheOldIndex()
    {
        NameIndex index(m_db, NameIndex::DefaultMaxBytes, m_cache);
        SearchCriteria c;
        c.mask = u"unique-name"_s;
        const TreeNode *disc = FindCD(m_root, u"E0000004"_s);
        QCOMPARE(run(m_db, c, disc, &index).size(), 1); // just the counts
        TestCatalogue::packDisc(m_db, u"E0000004"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"a unique-name.txt"_s, u"\\"_s, 1, TestCatalogue::date(2020, 1, 1));
        });
        QCOMPARE(run(m_db, c, disc, &index).size(), 2);
        NameIndex other(m_db, NameIndex::DefaultMaxBytes, m_cache);
        QCOMPARE(run(m_db, c, disc, &other).size(), 2);
        writeDisc(u"E0000004"_s, 1004);
    }

    void aDamagedIndexFileIsIgnored()
    {
        SearchCriteria c;
        c.mask = u"a"_s;
        const QStringList plain = run(m_db, c, m_root, nullptr);
        NameIndex first(m_db, NameIndex::DefaultMaxBytes, m_cache);
        run(m_db, c, m_root, &first);
        int damaged = 0; // every index file of the catalogue cut short or overwritten in the middle
        QDirIterator it(first.folder(), QDir::Files);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (damaged++ % 2) {
                f.resize(f.size() / 2);
            } else {
                f.seek(f.size() / 3);
                f.write(QByteArray(64, '\xff'));
            }
        }
        QVERIFY(damaged >= 12);
        NameIndex second(m_db, NameIndex::DefaultMaxBytes, m_cache);
        QCOMPARE(run(m_db, c, m_root, &second), plain);
    }

    // A search of thousands of discs keeps every disc's names mapped: with a descriptor each,
    // it ran out of the process's 1,024 at about the thousandth disc.
    void mappedNamesHoldNoDescriptors()
    {
        SearchCriteria c;
        c.mask = u"a"_s;
        NameIndex first(m_db, NameIndex::DefaultMaxBytes, m_cache);
        const QStringList plain = run(m_db, c, m_root, &first);
        const auto openDescriptors = [] { return QDir(u"/proc/self/fd"_s).entryList(QDir::NoDotAndDotDot).size(); };
        const qsizetype before = openDescriptors();
        NameIndex mapped(m_db, NameIndex::DefaultMaxBytes, m_cache);
        QCOMPARE(run(m_db, c, m_root, &mapped), plain);
        QVERIFY2(openDescriptors() - before < 5, qPrintable(QString::number(openDescriptors() - before)));
    }

    // The index keeps sizes in four bytes and date ids in two where they fit: sizes of 4 GiB and
    // more, below zero, right at the four-byte limit, and a disc of more distinct dates than two
    // bytes count must still answer as the lists do, made in memory and mapped from the file.
    void sizesAndDatesBeyondTheCompactColumns()
    {
        const TCD cd{.Title = u"Wide"_s, .Serial = u"W0000001"_s};
        const TreeNode *disc = m_tree.addDisc(m_tree.addChild(m_tree.top(), u"Apart"_s, KindRoot), cd);
        const QDateTime first(QDate(2020, 1, 1), QTime(0, 0));
        static const qint64 sizes[] = {4294967294, 4294967295, 4294967296, -7, 5000000000000, 12};
        const int count = 70000;
        TestCatalogue::packDisc(m_db, cd.Serial, [&](ContentsListWriter &folders, ContentsListWriter &files) {
            folders.writeRecord({u"HUGE\\"_s, u"\\"_s, u"6000000000"_s, TestCatalogue::date(2021, 5, 5)});
            folders.writeRecord({u"BELOW\\"_s, u"\\"_s, u"-2"_s, TestCatalogue::date(2021, 5, 6)});
            for (int i = 0; i < count; ++i) {
                const QDateTime t = first.addSecs(60 * qint64(i));
                files.writeRecord({u"f%1.txt"_s.arg(i), u"\\"_s, QString::number(sizes[i % 6]),
                                   TestCatalogue::date(t.date().year(), t.date().month(), t.date().day(),
                                                       t.time().hour(), t.time().minute())});
            }
        });
        // The count and total of the files from record `from` on of a size of `least` or more.
        auto filesFrom = [&](int from, qint64 least) {
            int n = 0;
            qint64 total = 0;
            for (int i = from; i < count; ++i)
                if (sizes[i % 6] >= least) {
                    ++n;
                    total += sizes[i % 6];
                }
            return u"0 %1 %2"_s.arg(n).arg(total);
        };
        // Each search gives the same hits from the walk, an index made in memory and one mapped.
        const QString root = m_dir.path() + u"/wide-cache/"_s;
        const auto check = [&](const SearchCriteria &c, const QString &counts) {
            const QStringList plain = run(m_db, c, disc, nullptr);
            QCOMPARE(plain.last(), counts);
            NameIndex made(m_db, NameIndex::DefaultMaxBytes, root);
            QCOMPARE(run(m_db, c, disc, &made), plain);
            NameIndex mapped(m_db, NameIndex::DefaultMaxBytes, root);
            QCOMPARE(run(m_db, c, disc, &mapped), plain);
        };
        SearchCriteria c;
        c.mask = u"f6999?.txt"_s; // the last records, whose dates have ids past two bytes
        check(c, filesFrom(69990, LLONG_MIN));
        c.mask = u"*.*"_s;
        c.category = SearchCriteria::AllFiles;
        c.largerOn = c.newerOn = true;
        c.minSize = 4294967000;
        c.newerThan = first.addSecs(60 * 69000 + 30);
        check(c, filesFrom(69001, c.minSize));
        c = {};
        c.mask = u"e"_s; // the two folders and nothing else
        check(c, u"2 0 5999999998"_s);
    }

    void theCacheStaysWithinItsBound()
    {
        const QString root = m_dir.path() + u"/small-cache/"_s;
        NameIndex big(m_db, NameIndex::DefaultMaxBytes, root);
        SearchCriteria c;
        run(m_db, c, m_root, &big);
        const qint64 all = TestCatalogue::bytesUnder(root);
        QVERIFY(all > 0);
        NameIndex small(m_db, all / 2, root);
        // What a killed search left is removed; a write of a program still running is not.
        const QString gone = small.folder() + u"/12345678.names.2147483646-7f00.part"_s;
        const QString running =
            small.folder() + u"/12345678.names.%1-7f00.part"_s.arg(QCoreApplication::applicationPid());
        CabTestUtil::writeFile(gone, "x");
        CabTestUtil::writeFile(running, "x");
        run(m_db, c, m_root, &small);
        QVERIFY(!QFile::exists(gone) && QFile::exists(running));
        QVERIFY(TestCatalogue::bytesUnder(root) <= all / 2);
        QVERIFY(TestCatalogue::bytesUnder(root) > 0);
        // Never inside DB.
        QVERIFY(!small.folder().startsWith(m_db));
    }
};

QTEST_GUILESS_MAIN(TestNameIndex)
#include "tst_nameindex.moc"
