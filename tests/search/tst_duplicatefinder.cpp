// Duplicates and single copies on real catalogues: lists written by the list writer, checksum
// members by the checksums' writer, packed into real cabinets; the answers held to a plain
// reference over a generated catalogue.

#include "TestCatalogue.h"
#include "listing/SearchHits.h"
#include "search/DuplicateFinder.h"
#include "search/NameIndex.h"
#include "search/SearchEngine.h"
#include "store/ContentsChecksums.h"
#include "store/GroupTree.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <set>
#include <xxhash.h>

using namespace Qt::Literals::StringLiterals;
using TestCatalogue::date;

namespace
{
// One file of a disc: "name|size|day|content", content empty for no checksum; a name with a
// folder part ("ZIP.ZIP\in.txt") is an entry of that archive in the disc's root.
struct File {
    QString folder, name, date, content;
    qint64 size = 0;
    bool inArchive = false;
};

File parseFile(const QString &spec)
{
    const QStringList p = spec.split(u'|');
    const qsizetype slash = p.at(0).lastIndexOf(u'\\');
    return {.folder = u"\\"_s + p.at(0).left(slash + 1), .name = p.at(0).mid(slash + 1),
            .date = date(2024, 1, p.at(2).toInt()), .content = p.value(3), .size = p.at(1).toLongLong(),
            .inArchive = slash >= 0};
}

// A disc's files from "title: file, file".
QList<File> filesOf(const QString &disc)
{
    QList<File> files;
    for (const QString &spec : disc.section(u':', 1).split(u',', Qt::SkipEmptyParts))
        files << parseFile(spec.trimmed());
    return files;
}

// Writes a disc whose files are given; with checksums, each file with a content has one.
void packDisc(const QString &db, const QString &serial, const QList<File> &files, bool sums)
{
    QByteArray sumList;
    TestCatalogue::packDisc(db, serial, [&](ContentsListWriter &, ContentsListWriter &fileWriter) {
        std::set<QString> archives;
        for (const File &f : files) {
            if (f.inArchive) {
                const QString zip = f.folder.mid(1).chopped(1);
                if (archives.insert(zip).second) {
                    fileWriter.writeFileRecord(zip, u"\\"_s, 0, f.date,
                                               {QString::fromLatin1(ContentsRecord::CompressedFolder)});
                    ContentsChecksums::appendLine(sumList, nullptr);
                }
                fileWriter.writeArchiveEntry(f.name, f.folder, quint64(f.size), f.date, QString());
            } else {
                fileWriter.writeFileRecord(f.name, f.folder, quint64(f.size), f.date, {});
            }
            const QByteArray content = f.content.toUtf8();
            const XXH128_hash_t hash = XXH3_128bits(content.constData(), size_t(content.size()));
            ContentsChecksums::appendLine(sumList, !f.inArchive && !content.isEmpty() ? &hash : nullptr);
        }
    }, sums ? &sumList : nullptr);
}

// The hits' places ("D1:\a.jpg"), from `first` on, `count` of them (all when below zero).
QStringList places(const SearchHits &hits, int first = 0, int count = -1)
{
    QStringList out;
    for (int i = first; i < (count < 0 ? hits.count() : first + count); ++i)
        out << hits.location(i) + QString::fromUtf8(hits.name(i));
    return out;
}
} // namespace

class TestDuplicateFinder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // A catalogue of its own: "All" with a disc for each "title: file, file", under "Group A"
    // for the first half of them and "Group B" for the rest; a disc whose title ends in "+" has
    // checksums.
    struct Cat {
        GroupTree tree;
        QString db;
        TreeNode *root = nullptr;
    };
    void make(Cat &c, const QString &name, const QStringList &discs)
    {
        c.db = m_dir.path() + u'/' + name + u"/DB/"_s;
        c.root = c.tree.addChild(c.tree.top(), u"All"_s, KindRoot);
        TreeNode *a = c.tree.addChild(c.root, u"Group A"_s, KindGroup);
        TreeNode *b = c.tree.addChild(c.root, u"Group B"_s, KindGroup);
        for (int d = 0; d < discs.size(); ++d) {
            TCD cd;
            cd.Title = discs[d].section(u':', 0, 0);
            cd.Serial = u"D%1"_s.arg(d, 7, 10, QChar(u'0'));
            c.tree.addDisc(d < (discs.size() + 1) / 2 ? a : b, cd);
            packDisc(c.db, cd.Serial, filesOf(discs[d]), cd.Title.endsWith(u'+'));
        }
    }

    // Groups as "size rule: place, place", most wasted first.
    static QStringList duplicates(const DuplicateFinder::Duplicates &d)
    {
        QStringList out;
        for (const DuplicateFinder::Group &g : d.groups)
            out << u"%1 %2: %3"_s.arg(g.size).arg(DuplicateFinder::ruleText(g.rule),
                                                  places(*d.hits, g.first, g.count).join(u", "_s));
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void rules_data()
    {
        QTest::addColumn<QStringList>("discs");
        QTest::addColumn<QString>("command"); // "duplicates" or "single", then the scope's name
        QTest::addColumn<qint64>("minSize");
        QTest::addColumn<QStringList>("answer");
        const auto row = [](const char *name, const QStringList &discs, const QString &command, qint64 minSize,
                            const QStringList &answer) {
            QTest::newRow(name) << discs << command << minSize << answer;
        };
        const QString dup = u"duplicates All"_s;

        row("checksums: contents, not names",
            {u"D1+: a.jpg|100|1|X, b.jpg|100|2|Y"_s, u"D2+: renamed.jpg|100|9|X, b.jpg|100|2|Z"_s}, dup, 1,
            {u"100 same checksum: D1+:\\a.jpg, D2+:\\renamed.jpg"_s});
        row("without checksums: name in any case, size and date",
            {u"D1: Song.mp3|300|1, other.mp3|300|1, late.mp3|300|1"_s,
             u"D2: SONG.MP3|300|1, other.mp3|301|1, late.mp3|300|2"_s},
            dup, 1, {u"300 same name, size and date: D1:\\Song.mp3, D2:\\SONG.MP3"_s});
        row("mixed: a copy without a checksum joins the checksum its name matches",
            {u"D1+: a.iso|700|1|X"_s, u"D2: a.iso|700|1"_s, u"D3+: b.iso|700|1|X"_s}, dup, 1,
            {u"700 same checksum, or name, size and date: D1+:\\a.iso, D2:\\a.iso, D3+:\\b.iso"_s});
        row("mixed: one checksum, so matched by name, size and date", {u"D1+: a.iso|700|1|X"_s, u"D2: a.iso|700|1"_s},
            dup, 1, {u"700 same name, size and date: D1+:\\a.iso, D2:\\a.iso"_s});
        // Two files of one name whose checksums differ: which one the copy is cannot be told.
        row("mixed: checksums that disagree leave the copy without one apart",
            {u"D1+: a.iso|700|1|X"_s, u"D2: a.iso|700|1, b|5|1"_s, u"D3+: a.iso|700|1|Y"_s, u"D4: a.iso|700|1"_s}, dup,
            1, {u"700 same name, size and date: D2:\\a.iso, D4:\\a.iso"_s});
        row("most wasted bytes first; copies on one disc count",
            {u"D1: small|10|1, big|1000|1, mid|400|1, ARC.ZIP\\mid|400|1"_s, u"D2: small|10|1, big|1000|1, mid|400|1"_s,
             u"D3: small|10|1"_s},
            dup, 1,
            {u"1000 same name, size and date: D1:\\big, D2:\\big"_s,
             u"400 same name, size and date: D1:\\mid, D1:\\ARC.ZIP\\mid, D2:\\mid"_s,
             u"10 same name, size and date: D1:\\small, D2:\\small, D3:\\small"_s});
        row("size bound", {u"D1: small|10|1, big|1000|1, empty|0|1"_s, u"D2: small|10|1, big|1000|1, empty|0|1"_s}, dup,
            11, {u"1000 same name, size and date: D1:\\big, D2:\\big"_s});
        row("duplicates within the scope only",
            {u"D1: x|10|1"_s, u"D2: y|10|1"_s, u"D3: x|10|1, y|10|1"_s, u"D4: y|10|1"_s}, u"duplicates Group B"_s, 1,
            {u"10 same name, size and date: D3:\\y, D4:\\y"_s});

        row("single copies: a copy on the same disc is none",
            {u"D1: kept|10|1, twice|20|1, twice|20|1, only|30|1"_s, u"D2: kept|10|1"_s}, u"single D1"_s, 1,
            {u"D1:\\twice"_s, u"D1:\\twice"_s, u"D1:\\only"_s});
        row("single copies: by checksum, and inside another disc's archive",
            {u"D1+: a|10|1|X, b|10|1|Y, c|30|1"_s, u"D2+: moved|10|5|X, b|10|1|Z"_s, u"D3: ARC.ZIP\\c|30|1"_s},
            u"single D1+"_s, 1, {u"D1+:\\b"_s});
        row("single copies of a group: another disc of it holds a copy",
            {u"D1: a|10|1, b|20|1"_s, u"D2: a|10|1"_s, u"D3: c|30|1"_s, u"D4: c|30|1"_s}, u"single Group A"_s, 1,
            {u"D1:\\b"_s});
        row("single copies: the bound", {u"D1: a|10|1, b|20|1"_s, u"D2:"_s}, u"single D1"_s, 15, {u"D1:\\b"_s});
        // Checksums that differ, and a third copy without one that matches both by name and date.
        row("single copies: a copy without a checksum matches each",
            {u"D1+: a|10|1|X"_s, u"D2+: a|10|1|Y"_s, u"D3: a|10|1"_s}, u"single All"_s, 1, {});
        row("single copies: a checksum found nowhere else, its name's copy of another date",
            {u"D1+: a|10|1|X"_s, u"D2: a|10|2"_s, u"D3+: a|10|1|Y, b|10|1|Y"_s}, u"single D1+"_s, 1, {u"D1+:\\a"_s});
    }
    void rules()
    {
        QFETCH(QStringList, discs);
        QFETCH(QString, command);
        QFETCH(qint64, minSize);
        QFETCH(QStringList, answer);
        Cat c;
        make(c, QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_').remove(u':').remove(u';'), discs);
        TreeNode *scope = FindGroup(c.root, command.section(u' ', 1));
        QVERIFY(scope);
        DuplicateFinder finder(c.db, minSize);
        if (command.startsWith(u"duplicates"_s)) {
            const DuplicateFinder::Duplicates d = finder.duplicates(scope);
            QCOMPARE(duplicates(d), answer);
            qint64 wasted = 0;
            for (const DuplicateFinder::Group &g : d.groups)
                wasted += g.wasted();
            QCOMPARE(d.wasted, wasted);
        } else {
            QCOMPARE(places(*finder.singleCopies(scope, c.root).hits), answer);
        }
        QCOMPARE(finder.problems(), QStringList());
    }

    // A generated catalogue of discs with and without checksums, few names, sizes, dates and
    // contents so that every rule meets every other, against the rules written out plainly;
    // read once from the lists and once more through the name index.
    void matchesThePlainReference()
    {
        QRandomGenerator rng(28);
        QStringList discs, titles;
        for (int d = 0; d < 8; ++d) {
            QStringList files;
            for (int i = 0; i < 120; ++i)
                files << u"%1%2|%3|%4|%5"_s.arg(rng.bounded(2) ? u"ARC.ZIP\\"_s : QString())
                             .arg(u"n%1"_s.arg(rng.bounded(40)))
                             .arg(rng.bounded(7))
                             .arg(1 + rng.bounded(3))
                             .arg(rng.bounded(3) ? u"c%1"_s.arg(rng.bounded(5)) : QString());
            titles << (d % 3 ? u"D%1+"_s : u"D%1"_s).arg(d);
            discs << titles.last() + u": "_s + files.join(u", "_s);
        }
        Cat c;
        make(c, u"generated"_s, discs);

        // The plain rules: an identity for each file, then copies by size and identity.
        struct Plain {
            int disc;
            QString place;
            qint64 size;
            QString name, date, sum, identity;
        };
        std::vector<Plain> all;
        for (int d = 0; d < discs.size(); ++d)
            for (const File &f : filesOf(discs[d]))
                if (f.size > 0)
                    all.push_back({d, titles[d] + u':' + f.folder + f.name, f.size, f.name.toUpper(), f.date,
                                   titles[d].endsWith(u'+') && !f.inArchive ? f.content : QString(), {}});
        std::map<std::pair<qint64, QString>, std::vector<const Plain *>> copies;
        for (Plain &p : all) {
            std::set<QString> agreeing;
            for (const Plain &q : all)
                if (!q.sum.isEmpty() && q.size == p.size && q.name == p.name && q.date == p.date)
                    agreeing.insert(q.sum);
            p.identity = !p.sum.isEmpty()        ? u"sum "_s + p.sum
                         : agreeing.size() == 1 ? u"sum "_s + *agreeing.begin()
                                                : u"name "_s + p.name + u' ' + p.date;
            copies[{p.size, p.identity}].push_back(&p);
        }
        std::multiset<QString> expectedGroups;
        for (const auto &[key, list] : copies) {
            QStringList sorted;
            for (const Plain *p : list)
                sorted << p->place;
            sorted.sort();
            if (list.size() > 1)
                expectedGroups.insert(u"%1: %2"_s.arg(key.first).arg(sorted.join(u", "_s)));
        }
        // A single copy by the rule itself, file against file.
        QStringList expectedSingles;
        for (const Plain &p : all) {
            const auto same = [&p](const Plain &q) {
                return q.size == p.size &&
                       (!p.sum.isEmpty() && !q.sum.isEmpty() ? q.sum == p.sum : q.name == p.name && q.date == p.date);
            };
            if (p.disc == 1 &&
                std::none_of(all.begin(), all.end(), [&](const Plain &q) { return q.disc != 1 && same(q); }))
                expectedSingles << p.place;
        }
        QVERIFY(expectedGroups.size() > 20);
        QVERIFY(!expectedSingles.isEmpty());

        QTemporaryDir cache;
        NameIndex index(c.db, NameIndex::DefaultMaxBytes, cache.path());
        for (NameIndex *way : {static_cast<NameIndex *>(nullptr), &index, &index}) {
            DuplicateFinder finder(c.db, 1, way);
            const DuplicateFinder::Duplicates d = finder.duplicates(c.root);
            std::multiset<QString> groups;
            qint64 lastWasted = std::numeric_limits<qint64>::max();
            for (const DuplicateFinder::Group &g : d.groups) {
                QVERIFY(g.wasted() <= lastWasted);
                lastWasted = g.wasted();
                QStringList sorted = places(*d.hits, g.first, g.count);
                sorted.sort();
                groups.insert(u"%1: %2"_s.arg(g.size).arg(sorted.join(u", "_s)));
            }
            QVERIFY(groups == expectedGroups);
            QCOMPARE(places(*finder.singleCopies(FindGroup(c.root, titles[1]), c.root).hits), expectedSingles);
            index.flush();
        }
        // The index a comparison fills stays under its bound, as after a search.
        const qint64 whole = TestCatalogue::bytesUnder(cache.path());
        NameIndex small(c.db, whole / 2, cache.path());
        DuplicateFinder(c.db, 1, &small).duplicates(c.root);
        small.flush();
        QVERIFY(TestCatalogue::bytesUnder(cache.path()) <= whole / 2);
        QVERIFY(TestCatalogue::bytesUnder(cache.path()) > 0);
    }

    // The answers, and the search's, carry each file's checksum to its object info, from the
    // disc's own member; a file of a disc without checksums has none.
    void resultsShowTheirChecksums()
    {
        Cat c;
        make(c, u"sums"_s, {u"D0+: a|5|1|x, b|6|1|y"_s, u"D1: a|5|1"_s});
        const auto hex = [](const char *content) {
            return QString::fromLatin1(ContentsChecksums::toHex(XXH3_128bits(content, std::strlen(content))));
        };
        const auto checksums = [](const SearchHits &hits) {
            QStringList out = places(hits);
            for (int i = 0; i < hits.count(); ++i)
                out[i] += u' ' + hits.entry(i, u"File"_s, 0).checksum;
            out.sort();
            return out;
        };
        DuplicateFinder finder(c.db, 1);
        QCOMPARE(checksums(*finder.duplicates(c.root).hits), (QStringList{u"D0+:\\a "_s + hex("x"), u"D1:\\a "_s}));
        QCOMPARE(checksums(*finder.singleCopies(FindGroup(c.root, u"D0+"_s), c.root).hits), QStringList{u"D0+:\\b "_s + hex("y")});
        SearchCriteria criteria;
        criteria.mask = u"b"_s;
        SearchEngine search(c.db, criteria);
        search.search(c.root);
        QCOMPARE(checksums(*search.hits()), QStringList{u"D0+:\\b "_s + hex("y")});
    }

    // Progress names each disc as the first pass reads it, then how many discs hold copies and
    // each of them as it is read again. Stopped anywhere, the finder gives no answer rather
    // than one made of what was read so far.
    void progressAndStop_data()
    {
        QTest::addColumn<int>("stopAt"); // the event at which stop() is called; -1 never
        QTest::newRow("never") << -1;
        QTest::newRow("in the first pass") << 1;
        QTest::newRow("reading back") << 4;
    }
    void progressAndStop()
    {
        QFETCH(int, stopAt);
        Cat c;
        make(c, u"progress"_s, {u"D1: a|10|1"_s, u"D2: a|10|1"_s, u"D3: b|10|1"_s});
        for (bool single : {false, true}) {
            DuplicateFinder finder(c.db, 1);
            QStringList events;
            const auto seen = [&](const QString &event) {
                events << event;
                if (events.size() - 1 == stopAt)
                    finder.stop();
            };
            finder.setDiscStarted([&](const TCD &cd) { seen(cd.Title); });
            finder.setReadingBack([&](int discs) { seen(u"back %1"_s.arg(discs)); });
            if (!single) {
                const DuplicateFinder::Duplicates d = finder.duplicates(c.root);
                QCOMPARE(d.groups.size(), stopAt < 0 ? 1u : 0u);
                QCOMPARE(d.hits->count(), stopAt < 0 ? 2 : 0);
                QCOMPARE(d.wasted, stopAt < 0 ? 10 : 0);
            } else {
                const DuplicateFinder::SingleCopies s = finder.singleCopies(c.root, c.root);
                QCOMPARE(s.hits->count(), stopAt < 0 ? 1 : 0);
                QCOMPARE(s.bytes, stopAt < 0 ? 10 : 0);
            }
            QCOMPARE(finder.isStopped(), stopAt >= 0);
            const QStringList all{u"D1"_s, u"D2"_s, u"D3"_s, single ? u"back 1"_s : u"back 2"_s};
            const QStringList back = single ? QStringList{u"D3"_s} : QStringList{u"D1"_s, u"D2"_s};
            QCOMPARE(events, stopAt < 0 ? all + back : (all + back).mid(0, stopAt + 1));
        }
    }

    // A checksum member that does not line up is not trusted: the disc is compared by names,
    // and the answer is still whole. A disc without its contents file, or read only up to a size
    // that is no number, leaves it incomplete, and says so.
    void checksumsThatDoNotLineUpAreIgnored()
    {
        Cat c;
        make(c, u"misaligned"_s, {u"D1: a|10|1|X"_s, u"D2+: a|10|1|Y"_s});
        const QString serial = u"D0000000"_s;
        ContentsFile::Lists lists = ContentsFile::read(c.db, serial);
        lists.checksumList = ContentsChecksums::toHex(XXH3_128bits("X", 1)) + "\r\n\r\n";
        ContentsFile::packBytes(c.db, serial, lists);
        DuplicateFinder finder(c.db, 1);
        QCOMPARE(duplicates(finder.duplicates(c.root)),
                 QStringList{u"10 same name, size and date: D1:\\a, D2+:\\a"_s});
        QCOMPARE(finder.problems().size(), 1);
        QVERIFY2(finder.problems().first().startsWith(u"The disc \"D1\": The checksums are ignored"_s),
                 qPrintable(finder.problems().first()));
        QVERIFY(!finder.missedDiscs());
        const QString other = u"D0000001"_s;
        ContentsFile::Lists cut = ContentsFile::read(c.db, other);
        QVERIFY(cut.fileList.contains("\r\n10\r\n"));
        cut.fileList.replace("\r\n10\r\n", "\r\n1O\r\n");
        ContentsFile::packBytes(c.db, other, cut);
        QCOMPARE(duplicates(finder.duplicates(c.root)), QStringList());
        QVERIFY(finder.problems().contains(DiscNames::badSizeMessage(u"D2+"_s)) && finder.missedDiscs());
        QVERIFY(QFile::remove(ContentsFile::contentsFileName(c.db, serial)));
        finder.duplicates(c.root);
        QVERIFY(finder.missedDiscs());
    }
};

QTEST_GUILESS_MAIN(TestDuplicateFinder)
#include "tst_duplicatefinder.moc"
