#include "CabTestUtil.h"
#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "acquire/DiscVerifier.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/CatalogueSwitch.h"
#include "store/ContentsFile.h"
#include "store/GroupTree.h"
#include "store/TreeFile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// Adding a disc (a scan that fails or is stopped must change nothing; checksums as xxhsum gives them), and Verify
// Disc's rules: real files catalogued as Add Disc scans them, then changed on the "medium" and compared again.
class TestDiscAdder : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Catalogue> m_cat;
    QString m_vol, m_root; // Add Disc's volume, Verify Disc's medium
    QByteArray m_zip;      // the medium's archive: one entry, "in.txt"
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 30)};

    QString at(const QString &name) const { return m_root + u'/' + name; }
    DiscVolume volume(const QString &serial = u"0A1B2C3D"_s, const QString &root = {}) const
    {
        return {root.isEmpty() ? m_vol : root, {}, u"MISC_4"_s, serial, u"CDFS"_s, 1 << 20};
    }
    static DiscDetails details(const QString &title) { return {title, u"Rock"_s, u"first line\r\nsecond line"_s, 7}; }
    QStringList looseLists() const { return QDir(m_cat->dbFolder()).entryList({u"*.file"_s, u"*.dir"_s}, QDir::Files); }
    QByteArray contentsBytes() const
    {
        return CabTestUtil::readFile(ContentsFile::contentsFileName(m_cat->dbFolder(), volume().serial));
    }
    // "pack.zip" in the medium, written or appended to ("w", "a") with one entry by Python's zipfile.
    bool zip(const char *mode, const QString &entry, const QString &text)
    {
        return run(m_root, u"python3"_s,
                   {u"-c"_s, u"import zipfile\nwith zipfile.ZipFile('pack.zip', '%1') as z:\n"
                             u" z.writestr(zipfile.ZipInfo('%2', (2004, 3, 1, 10, 20, 30)), '%3')\n"_s.arg(
                                 QLatin1String(mode), entry, text)}) &&
               setMtime(at(u"pack.zip"_s), m_when);
    }
    // A disc's lists as DiscAdder packs them, from a real scan.
    static ContentsFile::Parsed catalogue(const QString &root, const ScanOptions &options)
    {
        ScanProblems problems;
        return DiscVerifier(options).scan(root, options.checksums, problems);
    }
    struct Added {
        ContentsFile::Lists lists;
        ContentsFile::Parsed parsed;
        ScanProblems problems;
        QStringList members;
    };
    Added add(bool checksums, const QString &dataFolder)
    {
        Catalogue cat(dataFolder);
        cat.load([](const QString &) {});
        ScanOptions options;
        options.filters[0] = true; // ZIP archives listed as folders
        options.checksums = checksums;
        DiscAdder adder(cat, options);
        adder.add(volume(), DiscDetails{u"Disc"_s, {}, {}, 1}, nullptr);
        cat.save();
        const QString serial = volume().serial;
        return {ContentsFile::read(cat.dbFolder(), serial), ContentsFile::load(cat.dbFolder(), serial),
                adder.unreadable(), CabTestUtil::cabextractNames(ContentsFile::contentsFileName(cat.dbFolder(), serial))};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // A disc's date is local time without a zone: in the hour clocks go back it names two
        // moments, and the check that it is the time of the scan would fail that night.
        qputenv("TZ", "UTC");
        const QTemporaryDir dir;
        m_root = dir.path();
        QFile made(at(u"pack.zip"_s));
        QVERIFY(zip("w", u"in.txt"_s, u"x"_s) && made.open(QIODevice::ReadOnly));
        m_zip = made.readAll();
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_cat = std::make_unique<Catalogue>(m_dir->path() + u"/data"_s);
        m_cat->load([](const QString &) {});
        m_vol = m_dir->path() + u"/vol/"_s;
        QVERIFY(writeFile(m_vol + u"a.txt"_s, "12345", m_when));
        QVERIFY(writeFile(m_vol + u"MUSIC/b.wav"_s, QByteArray(100, 'w'), m_when));
        QVERIFY(writeFile(m_vol + u"MUSIC/LIVE/c.txt"_s, "c", m_when));
        QVERIFY(setMtime(m_vol + u"MUSIC/LIVE"_s, m_when));
        QVERIFY(setMtime(m_vol + u"MUSIC"_s, m_when));
        m_root = m_dir->path() + u"/medium"_s;
        for (const char *name : {"a.txt", "b.bin", "DOCS/c.txt", "DOCS/OLD/d.txt"})
            QVERIFY(writeFile(at(QLatin1String(name)), QByteArray(name) + " holds these bytes", m_when));
        QVERIFY(writeFile(at(u"pack.zip"_s), m_zip, m_when));
    }

    void addsRecordAndContents()
    {
        DiscAdder adder(*m_cat);
        QCOMPARE(adder.nextNumber(), 1);
        TreeNode *root = m_cat->tree().root();
        TreeNode *music = m_cat->tree().addChild(root, u"Music"_s, KindGroup);
        int folders = 0;
        adder.setProcessEvents([&folders] { ++folders; });

        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        TreeNode *node = adder.add(volume(), details(u"Concert"_s), music);
        QVERIFY(folders >= 3); // every folder, and between files on a slow machine
        QCOMPARE(node->parent(), music);
        QCOMPARE(node->row(), music->childCount() - 1);
        // Where the next disc goes (beside a selected disc), and its number.
        QCOMPARE(adder.parentFor(nullptr), root);
        QCOMPARE(adder.parentFor(node), music);
        QCOMPARE(adder.nextNumber(), 2);
        // The record as "groups.tree" keeps it, its date the time of the scan.
        const TCD &cd = *node->cd();
        QCOMPARE(CDToStr(cd), u"Concert|MISC_4|0A1B2C3D|CDFS|106|first line~!second line|Rock|7|"_s + cd.Date + u'|');
        const QDateTime stamped = CatalogueLocale().parseDateTime(cd.Date);
        QVERIFY2(stamped >= before && stamped <= QDateTime::currentDateTime(), qPrintable(cd.Date));

        // The cabinet holds exactly what a scan of the volume writes, and no list is left loose.
        QVERIFY(looseLists().isEmpty());
        const ContentsFile::Lists lists = ContentsFile::read(m_cat->dbFolder(), cd.Serial);
        const ScanResult direct = scan({}, m_vol);
        QCOMPARE(lists.fileList, direct.files);
        QCOMPARE(lists.folderList, direct.folders);
    }

    // A failure after the switch's deciding step leaves the disc added, in memory as in DB, and
    // says what is finished at the next start; one before it leaves both as they were.
    void aFailureAfterTheCommitKeepsTheDisc()
    {
        DiscAdder adder(*m_cat);
        bool decided = false;
        CatalogueSwitch::setStepHook([&](const char *what) {
            if (QByteArrayView(what) == "write journal")
                decided = true;
            else if (decided && QByteArrayView(what) == "rmdir")
                throw QuilloryError(u"staging stuck"_s);
        });
        const auto noHook = qScopeGuard([] { CatalogueSwitch::setStepHook({}); });
        TreeNode *node = adder.add(volume(), details(u"Concert"_s), m_cat->tree().root());
        QVERIFY(node && FindCD(m_cat->tree().root(), u"0A1B2C3D"_s) == node);
        QVERIFY2(adder.unfinished().endsWith(u"\nstaging stuck"_s), qPrintable(adder.unfinished()));
        CatalogueSwitch::setStepHook({});
        Catalogue again(m_cat->dataFolder());
        again.load({}, TreeWrite::Never);
        QVERIFY(FindCD(again.tree().root(), u"0A1B2C3D"_s));
    }

    // A lent disc: Edit Disc Entry's change takes the details and leaves it lent; a scan of it that fails changes
    // nothing, one that succeeds replaces it.
    void changedFailedAndReplacedLentDisc()
    {
        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        TreeNode *old = adder.add(volume(), details(u"Old title"_s), root);
        TCD lent = *old->cd();
        lent.BorrowedTo = u"Eve"_s;
        m_cat->tree().setCD(old, lent);
        QVERIFY(!DiscAdder::changeDisc(m_cat->tree(), old, details(u"x|y"_s)).isNull());
        DiscDetails d = details(u"New"_s);
        d.number = -9;
        d.description = u"a\nb"_s;
        QVERIFY(DiscAdder::changeDisc(m_cat->tree(), old, d).isNull());
        lent.Title = u"New"_s;
        lent.Number = -9;
        lent.Description = u"a~!b"_s;
        QCOMPARE(*old->cd(), lent);
        QCOMPARE(old->text(), u"New"_s);
        QCOMPARE(old->kind(), int(KindLent));

        // The medium fails while the second folder is read.
        const QByteArray oldContents = contentsBytes();
        int folders = 0;
        adder.setProcessEvents([&folders] {
            if (++folders == 2)
                throw QuilloryError(u"Cannot read the medium"_s);
        });
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(u"Lost"_s), root, old));
        QVERIFY(root->childCount() == 1 && root->child(0) == old);
        QCOMPARE(*old->cd(), lent);
        QCOMPARE(contentsBytes(), oldContents);
        QVERIFY(looseLists().isEmpty());
        adder.setProcessEvents({});

        QVERIFY(writeFile(m_vol + u"new.txt"_s, QByteArray(1000, 'n'), m_when));
        TreeNode *elsewhere = m_cat->tree().addChild(root, u"Archive"_s, KindGroup);
        QCOMPARE(adder.existing(u"0A1B2C3D"_s), old);
        TreeNode *fresh = adder.add(volume(), details(u"New title"_s), elsewhere, old);

        QCOMPARE(adder.existing(u"0A1B2C3D"_s), fresh);
        QCOMPARE(fresh->parent(), elsewhere);
        QCOMPARE(root->childCount(), 1);        // only the group: the old entry is gone
        QCOMPARE(fresh->kind(), int(KindDisc)); // no longer lent
        QCOMPARE(fresh->cd()->Size, qint64(1106));
        QVERIFY(ContentsFile::read(m_cat->dbFolder(), lent.Serial).fileList.contains("new.txt\r\n"));
    }

    // The title's own rule is the tree's name rule, tested with the tree; here what the adder adds to it.
    void checksAndRefusals()
    {
        DiscDetails d = details(u"T"_s);
        d.genre = u"Rock|Pop"_s;
        QVERIFY(!DiscAdder::CheckDetails(d).isNull());
        d = details(u"T"_s);
        d.description = u"50%~!done"_s; // read back, it would be two lines
        QVERIFY(!DiscAdder::CheckDetails(d).isNull());
        d.description = u"a~\n!b"_s;
        QVERIFY(DiscAdder::CheckDetails(d).isNull());
        DiscAdder adder(*m_cat);
        TreeNode *root = m_cat->tree().root();
        // The serial names files in the database folder.
        for (const QString &bad : {u"../../x"_s, u"0a1b2c3d"_s, QString()})
            QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(bad), details(u"T"_s), root));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(u"  Leading"_s), root));
        // A group as deep as a tree file nests holds no disc: the tree would not load again.
        TreeNode *deep = root;
        while (deep->level() < TreeLimits::MaxDepth)
            deep = m_cat->tree().addChild(deep, u"G%1"_s.arg(deep->level()), KindGroup);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(volume(), details(u"Deep"_s), deep));
        m_cat->tree().removeNode(root->child(0));
        QCOMPARE(root->childCount(), 0);
        QVERIFY(QDir(m_cat->dbFolder()).entryList(QDir::Files).filter(u".dat"_s).isEmpty());

        // A "|" or a line break reported by the system cannot split the record.
        DiscVolume v = volume();
        v.label = u"A|B\nC"_s;
        TreeNode *n = adder.add(v, details(u"T"_s), root);
        QCOMPARE(n->cd()->VolumeLabel, u"A_B?C"_s);
        QCOMPARE(StrToCD(CDToStr(*n->cd())), *n->cd());
        QCOMPARE(DiscAdder::CorrectLabel(u"MY_HOLIDAY_2003"_s), u"My Holiday 2003"_s);
        // Only a to z change case.
        QCOMPARE(DiscAdder::CorrectLabel(u"ÉCOLE_A"_s), u"École A"_s);
    }
    // A new disc stopped while a large file is read (the window's events come every tenth of a second of reading):
    // no contents file, no loose list, no record, and the file is closed.
    void stopWhileReadingChangesNothing()
    {
        const QString vol = m_dir->path() + u"/sparse/"_s;
        QFile big(vol + u"big.img"_s);
        QVERIFY(QDir().mkpath(vol) && big.open(QIODevice::WriteOnly) && big.resize(qint64(4) << 30)); // holes
        big.close();
        ScanOptions options;
        options.checksums = true;
        DiscAdder adder(*m_cat, options);
        int calls = 0;
        quint64 readWhenStopped = 0;
        adder.setGauge([&](quint64 kilobytes) { readWhenStopped = kilobytes; });
        adder.setProcessEvents([&] {
            if (++calls == 2) // the first is the root folder's, before its files
                throw QuilloryError(u"The scan was stopped."_s);
        });
        const qsizetype descriptors = QDir(u"/proc/self/fd"_s).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
        DiscVolume v = volume(u"0A1B2C3D"_s, vol);
        v.totalSize = quint64(4) << 30;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(v, details(u"Disc"_s), nullptr));
        QVERIFY(readWhenStopped > 0 && readWhenStopped < (quint64(4) << 20));
        QCOMPARE(QDir(u"/proc/self/fd"_s).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), descriptors);
        QCOMPARE(QDir(m_cat->dbFolder()).entryList(QDir::Files), QStringList{});
        QCOMPARE(m_cat->tree().root()->childCount(), 0);
    }

    // The busy window's line: sizes as everywhere else, the rate and the time left once a second is read.
    void readingText_data()
    {
        QTest::addColumn<quint64>("read");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("text");
        constexpr quint64 MB = 1 << 20, GB = MB << 10;
        QTest::newRow("starting") << quint64(500) << quint64(900) << qint64(0) << u"500.00 Bytes of 900.00 Bytes"_s;
        QTest::newRow("minutes") << GB << 4 * GB << qint64(10000) << u"1.00 GB of 4.00 GB, 102.40 MB/s, 0:30 left"_s;
        QTest::newRow("hours") << MB << 4 * GB << qint64(1000) << u"1.00 MB of 4.00 GB, 1.00 MB/s, 1:08:15 left"_s;
        QTest::newRow("more than the estimate")
            << 5 * GB << 4 * GB << qint64(50000) << u"5.00 GB of 5.00 GB, 102.40 MB/s"_s;
    }
    void readingText()
    {
        QFETCH(quint64, read);
        QFETCH(quint64, total);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, text);
        QCOMPARE(DiscAdder::readingText(read, total, elapsedMs), text);
    }

    // Every file's XXH3-128 as xxhsum gives it, an unreadable file catalogued without one and named, and the lists as
    // a scan without checksums makes them. An export carries the contents file whole, ".sum" and all: the backup's.
    void checksumsAsXxhsumGivesThem()
    {
        m_vol = m_dir->path() + u"/sums/"_s;
        QByteArray big(3 * 1024 * 1024 + 17, Qt::Uninitialized); // more than one read block
        QRandomGenerator(28).fillRange(reinterpret_cast<quint32 *>(big.data()), big.size() / 4);
        QVERIFY(writeFile(m_vol + u"big.bin"_s, big) && writeFile(m_vol + u"empty.txt"_s, QByteArray()));
        QVERIFY(writeFile(m_vol + u"docs/R\u00e9sum\u00e9.txt"_s, "hello"));
        QVERIFY(writeFile(m_vol + u"pack/one.txt"_s, "one") && writeFile(m_vol + u"pack/two.txt"_s, "two"));
        QVERIFY(run(m_vol + u"pack"_s, u"zip"_s, {u"-q"_s, u"../docs/pack.zip"_s, u"one.txt"_s, u"two.txt"_s}));
        QVERIFY(QDir(m_vol + u"pack"_s).removeRecursively());
        // A file whose read fails even for root: the kernel answers a read of this process's
        // memory at address 0 with EIO. The scan meets it through a link, which stands for the file.
        QVERIFY(QFile::link(u"/proc/self/mem"_s, m_vol + u"docs/mem"_s));

        const QString serial = volume().serial;
        const Added with = add(true, m_dir->path() + u"/with"_s);
        QCOMPARE(with.members, (QStringList{serial + u".dir"_s, serial + u".file"_s, serial + u".sum"_s}));
        QVERIFY(with.parsed.checksumProblem.isEmpty());
        const ContentsList &files = with.parsed.files;
        QCOMPARE(with.parsed.checksums.size(), files.recordCount());

        // Every record's digits by its place on the volume; entries inside the archive have none.
        QMap<QString, QByteArray> stored;
        for (int r = 0; r < files.recordCount(); ++r) {
            QString place = files.line(r, 1).mid(1).replace(u'\\', u'/') + files.line(r, 0);
            if (!files.folderInArchive(r).isEmpty() || files.line(r, 1).endsWith(u".zip\\"_s))
                place = u"(in the archive) "_s + place;
            stored.insert(place, with.parsed.checksums.hex(r).toByteArray());
        }
        QByteArray xxhsum;
        const QStringList readable{u"big.bin"_s, u"empty.txt"_s, u"docs/R\u00e9sum\u00e9.txt"_s, u"docs/pack.zip"_s};
        QVERIFY(run(m_vol, u"xxhsum"_s, QStringList{u"-H2"_s} + readable, {}, &xxhsum));
        QMap<QString, QByteArray> expected{{u"docs/mem"_s, QByteArray()},
                                           {u"(in the archive) docs/pack.zip/one.txt"_s, QByteArray()},
                                           {u"(in the archive) docs/pack.zip/two.txt"_s, QByteArray()}};
        for (const QByteArray &line : xxhsum.trimmed().split('\n'))
            expected.insert(QString::fromUtf8(line.mid(34)), line.left(32));
        QCOMPARE(stored, expected);

        QCOMPARE(with.problems.size(), 1);
        QCOMPARE(with.problems[0].text(), u"Cannot read \"%1docs/mem\": Input/output error"_s.arg(m_vol));

        // The lists are those a scan without checksums writes, and its cabinet has no third member.
        const Added without = add(false, m_dir->path() + u"/without"_s);
        QCOMPARE(without.members.size(), 2);
        QCOMPARE(without.lists.fileList, with.lists.fileList);
        QCOMPARE(without.lists.folderList, with.lists.folderList);
        QVERIFY(without.parsed.checksums.isEmpty());
    }
    void rules_data()
    {
        QTest::addColumn<bool>("checksums");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("detail"); // a part of the first difference's detail
        QTest::addColumn<int>("matched");

        const auto row = [](const char *name, bool sums, const char *change, const QStringList &expected,
                            const QString &detail, int matched) {
            QTest::newRow(name) << sums << QString::fromUtf8(change) << expected << detail << matched;
        };
        row("as catalogued", true, "", {}, {}, 6);
        row("file removed", true, "rm a.txt", {u"missing\t\\a.txt in \\"_s}, u"23 bytes, dated "_s, 5);
        row("file added", true, "add e.txt", {u"new\t\\e.txt in \\"_s}, u"3 bytes"_s, 6);
        // The folder and what was in it, each once; what was in it is placed in its catalogued folder.
        row("folder removed", true, "rmdir DOCS/OLD",
            {u"missing\t\\DOCS\\OLD\\ in \\DOCS\\"_s, u"missing\t\\DOCS\\OLD\\d.txt in \\DOCS\\OLD\\"_s}, u"folder"_s,
            5);
        // What is new in a new folder is placed in the nearest folder the catalogue knows.
        row("folders added", true, "add DOCS/NEW/DEEP/e.txt",
            {u"new\t\\DOCS\\NEW\\ in \\DOCS\\"_s, u"new\t\\DOCS\\NEW\\DEEP\\ in \\DOCS\\"_s,
             u"new\t\\DOCS\\NEW\\DEEP\\e.txt in \\DOCS\\"_s},
            u"folder"_s, 6);
        row("resized", true, "resize a.txt", {u"changed\t\\a.txt in \\"_s}, u"size 23 \u2192 24"_s, 5);
        row("touched", true, "touch a.txt", {u"changed\t\\a.txt in \\"_s},
            u"date 3/1/2004 10:20:30 AM \u2192 3/2/2004 10:20:30 AM"_s, 5);
        row("bytes flipped, same size and date", true, "flip DOCS/c.txt", {u"corrupt\t\\DOCS\\c.txt in \\DOCS\\"_s},
            u"checksum "_s, 5);
        row("flipped and touched: a change that says both", true, "flip+touch DOCS/c.txt",
            {u"changed\t\\DOCS\\c.txt in \\DOCS\\"_s}, u"; checksum "_s, 5);
        // The catalogue compares names as it always has: a-z without regard to case.
        row("a name in other case", true, "rename a.txt A.TXT", {}, {}, 6);
        // The archive is placed in its folder, its entry in the archive.
        row("archive entry added: the archive changed, the entry new", true, "zip add",
            {u"changed\t\\pack.zip in \\"_s, u"new\t\\pack.zip\\more.txt in \\pack.zip\\ (archive)"_s}, u"size "_s, 5);
        row("no stored checksums: flipped bytes go unseen", false, "flip DOCS/c.txt", {}, {}, 6);
        row("no stored checksums: sizes still compared", false, "resize a.txt", {u"changed\t\\a.txt in \\"_s},
            u"size"_s, 5);
        // Dates the locale in force cannot read are not compared (nor called changed); sizes are.
        row("catalogued under another date format", true, "german a.txt", {u"changed\t\\a.txt in \\"_s},
            u"size 23 \u2192 24"_s, 5);
    }
    void rules()
    {
        QFETCH(bool, checksums);
        QFETCH(QString, change);
        QFETCH(QStringList, expected);
        QFETCH(QString, detail);
        QFETCH(int, matched);

        ScanOptions options;
        options.filters[0] = true; // ZIP archives listed as folders
        options.checksums = checksums;
        const ContentsFile::Parsed before = catalogue(m_root, options);
        QCOMPARE(before.checksums.isEmpty(), !checksums);

        const QString verb = change.section(u' ', 0, 0), path = at(change.section(u' ', 1, 1));
        const auto english = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        if (verb == u"rm")
            QVERIFY(QFile::remove(path));
        else if (verb == u"rmdir")
            QVERIFY(QDir(path).removeRecursively());
        else if (verb == u"add")
            QVERIFY(writeFile(path, "new", m_when));
        else if (verb == u"resize")
            QVERIFY(writeFile(path, "a.txt holds these bytes!", m_when));
        else if (verb == u"touch")
            QVERIFY(setMtime(path, m_when.addDays(1)));
        else if (verb == u"german") { // the scan made under another locale, and a.txt resized
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            QVERIFY(writeFile(path, "a.txt holds these bytes!", m_when));
        } else if (verb.startsWith(u"flip")) // one bit of the first byte, the size kept
            QVERIFY(
                writeFile(path, "dOCS/c.txt holds these bytes", verb.endsWith(u"touch") ? m_when.addDays(1) : m_when));
        else if (verb == u"rename")
            QVERIFY(QFile::rename(path, at(change.section(u' ', 2, 2))));
        else if (verb == u"zip")
            QVERIFY(zip("a", u"more.txt"_s, u"y"_s));

        const VerifyReport report = DiscVerifier(options).verify(m_root, before, QString());
        QCOMPARE(report.datesNotCompared, verb == u"german" ? 6 : 0);
        QStringList found;
        for (const VerifyDifference &d : report.differences)
            found << d.line().section(u'\t', 0, 1) + u" in "_s + d.location + (d.inArchive ? u" (archive)"_s : u""_s);
        QCOMPARE(found, expected);
        if (!expected.isEmpty())
            QVERIFY2(report.differences.front().detail.contains(detail), qPrintable(report.differences.front().detail));
        QCOMPARE(report.matched, matched);
        QCOMPARE(report.allMatched(), expected.isEmpty());
        QCOMPARE(report.contentsChecked, checksums);
        QCOMPARE(report.summary().contains(u"Contents could not be checked"_s), !checksums);
    }

    // A long comparison serves the window every few thousand entries, and stops when told.
    void aLongComparisonCanBeStopped()
    {
        QByteArray files;
        for (int i = 0; i < 10000; ++i)
            files += ScanFixture::record({u"f%1.txt"_s.arg(i), u"\\"_s, u"1"_s, u"3/1/2004 10:20:30 AM"_s});
        ContentsFile::Parsed lists;
        lists.files = ContentsList::fromBytes(files);
        int ticks = 0;
        QCOMPARE(DiscVerifier::compare(lists, lists, {}, m_root, [&ticks] { ++ticks; }).matched, 10000);
        QVERIFY2(ticks >= 4, qPrintable(QString::number(ticks)));
        const QString why = CabTestUtil::refusal(
            [&] { DiscVerifier::compare(lists, lists, {}, m_root, [] { throw QuilloryError(u"stopped"_s); }); });
        QCOMPARE(why, u"stopped"_s);
    }

    // Every date moved alike by a whole number of quarter hours: listed as changed, and the
    // summary names the likely cause, a time zone changed since the disc was catalogued.
    void zoneShiftIsNamed()
    {
        const ContentsFile::Parsed before = catalogue(m_root, {});
        for (const char *name : {"a.txt", "b.bin", "DOCS/c.txt", "DOCS/OLD/d.txt", "pack.zip"})
            QVERIFY(setMtime(at(QLatin1String(name)), m_when.addSecs(-(5 * 3600 + 1800))));
        const VerifyReport shifted = DiscVerifier::compare(before, catalogue(m_root, {}), {}, m_root);
        QCOMPARE(shifted.count(VerifyDifference::Changed), 5);
        QVERIFY2(shifted.summary().endsWith(u"\nEvery changed date is 5 hours 30 minutes earlier than catalogued: the "
                                            u"disc may have been catalogued in another time zone."_s),
                 qPrintable(shifted.summary()));
        // One moved otherwise: no such guess.
        QVERIFY(setMtime(at(u"a.txt"_s), m_when.addDays(1)));
        QCOMPARE(DiscVerifier::compare(before, catalogue(m_root, {}), {}, m_root).zoneShift, 0);
        // One moved by an hour while the others kept theirs: no zone moves one file alone.
        const ContentsFile::Parsed kept = catalogue(m_root, {});
        QVERIFY(setMtime(at(u"b.bin"_s), m_when.addSecs(-(5 * 3600 + 1800) + 3600)));
        const VerifyReport one = DiscVerifier::compare(kept, catalogue(m_root, {}), {}, m_root);
        QVERIFY(one.count(VerifyDifference::Changed) == 1 && one.zoneShift == 0);
    }

    // A file the medium no longer gives and a folder that cannot be opened: said once each, and what lies below that
    // folder is not called missing (the scanner's problem list made here: a permission does not stop root).
    void unreadable()
    {
        ScanOptions options;
        options.checksums = true;
        const ContentsFile::Parsed before = catalogue(m_root, options);
        QVERIFY(QDir(at(u"DOCS/OLD"_s)).removeRecursively());
        QVERIFY(QDir().mkpath(at(u"DOCS/OLD"_s)));
        QVERIFY(setMtime(at(u"DOCS/OLD"_s), m_when));
        // A file whose inode is damaged is passed over by the scan: unreadable, not missing.
        QVERIFY(QFile::remove(at(u"a.txt"_s)));
        const ContentsFile::Parsed after = catalogue(m_root, options);
        const ScanProblems problems{{at(u"a.txt"_s), u"Structure needs cleaning"_s},
                                    {at(u"b.bin"_s), u"Input/output error"_s},
                                    {at(u"DOCS/OLD"_s), u"Permission denied"_s}};

        const VerifyReport report = DiscVerifier::compare(before, after, problems, m_root);
        QCOMPARE(report.text().section(u'\n', 0, 2),
                 u"unreadable\t\\a.txt\tStructure needs cleaning\nunreadable\t\\b.bin\tInput/output "
                 u"error\nunreadable\t\\DOCS\\OLD\\\tPermission denied"_s);
        QCOMPARE(report.summary(), u"2 files matched; 0 missing, 0 new, 0 changed, 0 corrupt, 3 unreadable."_s);
        QCOMPARE(report.differences.front().location, u"\\"_s);
    }
};

QTEST_GUILESS_MAIN(TestDiscAdder)
#include "tst_discadder.moc"
