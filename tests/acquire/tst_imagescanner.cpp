#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "acquire/ImageScanner.h"
#include "acquire/VolumeProbe.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/TreeFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// A disc image catalogued without mounting it, against images made by xorriso and genisoimage
// from a real folder tree: its lists hold what a scan of that tree holds, in the order a scan
// of the burned disc gives, under the serial the probe reads; a damaged image changes nothing.
class TestImageScanner : public QObject
{
    Q_OBJECT

    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 31)};
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_tree;

    QString path(const QString &rel) const { return m_dir->path() + u'/' + rel; }

    // Every record as one text, sorted: the lists compared whatever order each folder gives.
    static QStringList records(const QByteArray &list)
    {
        const ContentsList l = ContentsList::fromBytes(list);
        QStringList all;
        for (int i = 0; i < l.recordCount(); ++i) {
            QStringList lines;
            for (int k = 0; k < l.lineCount(i); ++k)
                lines << l.line(i, k);
            all << lines.join(u'|');
        }
        all.sort();
        return all;
    }
    static QStringList firstLines(const QByteArray &list)
    {
        const ContentsList l = ContentsList::fromBytes(list);
        QStringList names;
        for (int i = 0; i < l.recordCount(); ++i)
            names << l.line(i, 0);
        return names;
    }

    // tool: "joliet", "rockridge" or "udf"; false when the tool is missing.
    bool makeImage(const QString &tool, const QString &image)
    {
        const QStringList common{u"-V"_s, u"MY_DISC"_s, u"-o"_s, image, m_tree};
        if (tool == u"udf")
            return run(m_dir->path(), u"genisoimage"_s, QStringList{u"-quiet"_s, u"-udf"_s, u"-J"_s} + common);
        QStringList args{u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-J"_s, u"-joliet-long"_s};
        if (tool == u"rockridge")
            args << u"-R"_s;
        return run(m_dir->path(), u"xorriso"_s, args + common);
    }

    static ScanResult scanImage(const ScanOptions &options, const QString &image)
    {
        ScanResult r;
        QBuffer files(&r.files), folders(&r.folders);
        files.open(QIODevice::WriteOnly);
        folders.open(QIODevice::WriteOnly);
        Scanner s(options, &files, &folders);
        r.total = ImageScanner(s).Scan(image);
        for (const ScanProblem &p : s.problems())
            r.problems << p.text();
        return r;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_tree = path(u"tree"_s);
        const QString t = m_tree + u'/';
        QVERIFY(writeFile(t + u"a.txt"_s, "12345", m_when));
        QVERIFY(writeFile(t + u"Ünïcödé – ‹name›.txt"_s, "abc", m_when.addDays(3)));
        QVERIFY(writeFile(t + u"empty.txt"_s, QByteArray(), m_when));
        QVERIFY(writeFile(t + u".hidden"_s, "h", m_when));
        QVERIFY(writeFile(t + u"Docs/readme.TXT"_s, QByteArray(10, 'r'), m_when.addYears(10)));
        QVERIFY(writeFile(t + u"Docs/Deep/x.bin"_s, QByteArray(5000, 'x'), m_when));
        QVERIFY(writeFile(t + u"Docs/Deep/中文名.txt"_s, "zh", m_when));
        QVERIFY(QDir().mkpath(t + u"Empty"_s));
        QVERIFY(QDir().mkpath(t + u"Arch"_s));
        QVERIFY(run(t + u"Arch"_s, u"python3"_s,
                    {u"-c"_s, u"import zipfile\n"
                              "with zipfile.ZipFile('pack.zip', 'w') as z:\n"
                              "    z.writestr(zipfile.ZipInfo('one.txt', (2004, 3, 1, 10, 20, 30)), 'one')\n"
                              "    z.writestr(zipfile.ZipInfo('in/two.txt', (2005, 6, 7, 8, 9, 10)), 'two!')\n"_s}));
        QVERIFY(setMtime(t + u"Arch/pack.zip"_s, m_when));
        QVERIFY(QDir().mkpath(t + u"Music"_s));
        QVERIFY(run(t + u"Music"_s, u"sox"_s,
                    {u"-n"_s, u"-r"_s, u"8000"_s, u"tone.flac"_s, u"synth"_s, u"1"_s, u"sine"_s, u"440"_s}));
        QVERIFY(setMtime(t + u"Music/tone.flac"_s, m_when));
        for (const QString &folder : {u"Docs/Deep"_s, u"Docs"_s, u"Empty"_s, u"Arch"_s, u"Music"_s})
            QVERIFY(setMtime(t + folder, m_when.addMonths(1)));
    }

    void sameAsScanOfTree_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("leaveOut"); // hidden, empty files and folders, and exclusions
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<QStringList>("serialArgs"); // volume_serial.py's, after the image
        QTest::newRow("ISO 9660 + Joliet") << u"joliet"_s << false << u"CDFS"_s << QStringList{u"iso"_s};
        QTest::newRow("Rock Ridge + Joliet") << u"rockridge"_s << false << u"CDFS"_s << QStringList{u"iso"_s};
        QTest::newRow("UDF bridge") << u"udf"_s << false << u"UDF"_s << QStringList{u"udf"_s, u"2048"_s};
        QTest::newRow("leaving out") << u"joliet"_s << true << u"CDFS"_s << QStringList{u"iso"_s};
    }
    void sameAsScanOfTree()
    {
        QFETCH(QString, tool);
        QFETCH(bool, leaveOut);
        QFETCH(QString, fileSystem);
        QFETCH(QStringList, serialArgs);
        const QString image = path(tool + u".iso"_s);
        if (!QFile::exists(image) && !makeImage(tool, image))
            QSKIP("the image tool is missing or failed");

        ScanOptions options;
        options.filters.fill(true); // the readers look at the bytes inside the image
        if (leaveOut) {
            options.skipHidden = options.skipEmptyFiles = options.skipEmptyFolders = true;
            options.exclusions = {u"*.bin"_s, u"Arch\\"_s};
        }
        const ScanResult tree = scan(options, m_tree);
        const ScanResult disc = scanImage(options, image);
        QCOMPARE(records(disc.files), records(tree.files));
        QCOMPARE(records(disc.folders), records(tree.folders));
        QCOMPARE(disc.total, tree.total);
        QCOMPARE(disc.problems, QStringList());
        if (!leaveOut) {
            QVERIFY(records(disc.files).contains(u"a.txt|\\|5|3/1/2004 10:20:30 AM"_s));
            // A folder's files, then its subfolders; a folder's record after its subfolders'.
            QCOMPARE(firstLines(disc.folders),
                     (QStringList{u"Arch\\"_s, u"Deep\\"_s, u"Docs\\"_s, u"Empty\\"_s, u"Music\\"_s}));
            QVERIFY(records(disc.files).filter(u"tone.flac|"_s).value(0).contains(u"|Duration: "_s));
            QCOMPARE(firstLines(disc.files),
                     (QStringList{u".hidden"_s, u"a.txt"_s, u"empty.txt"_s, u"Ünïcödé – ‹name›.txt"_s, u"pack.zip"_s,
                                  u"one.txt"_s, u"two.txt"_s, u"readme.TXT"_s, u"x.bin"_s, u"中文名.txt"_s,
                                  u"tone.flac"_s}));
        }

        const DiscVolume volume = ImageScanner::volumeOf(image);
        QByteArray serial;
        QVERIFY(run(
            m_dir->path(), u"python3"_s,
            QStringList{QStringLiteral(QUILLORY_SOURCE_DIR "/tests/acquire/volume_serial.py"), serialArgs[0], image} +
                serialArgs.mid(1),
            {}, &serial));
        QCOMPARE(volume.serial, QString::fromLatin1(serial.trimmed()));
        QCOMPARE(volume.fileSystem, fileSystem);
        QCOMPARE(volume.label, u"MY_DISC"_s);
        QCOMPARE(volume.image, image);
    }

    // Rock Ridge links as the mounted disc shows them: one to a file stands for it (through a
    // linked folder too), one to a folder or to nothing is left out.
    void linksAsOnTheDisc()
    {
        const QString tree = path(u"links"_s), image = path(u"links.iso"_s);
        QVERIFY(writeFile(tree + u"/a.txt"_s, "12345", m_when));
        QVERIFY(writeFile(tree + u"/Sub/f.txt"_s, "ff", m_when));
        for (const auto &[link, target] : {std::pair{u"Sub/up.txt"_s, u"../a.txt"_s},
                                           {u"Alias"_s, u"Sub"_s},
                                           {u"thru.txt"_s, u"Alias/f.txt"_s},
                                           {u"gone.txt"_s, u"nothing"_s},
                                           {u"Sub/loop"_s, u"loop"_s}})
            QVERIFY(QFile::link(target, tree + u'/' + link));
        QVERIFY(setMtime(tree + u"/Sub"_s, m_when));
        if (!run(m_dir->path(), u"xorriso"_s, {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-R"_s, u"-o"_s, image, tree}))
            QSKIP("xorriso is missing or failed");
        const ScanResult disc = scanImage(ScanOptions(), image);
        QCOMPARE(records(disc.files), records(scan(ScanOptions(), tree).files));
        QCOMPARE(firstLines(disc.files), (QStringList{u"a.txt"_s, u"thru.txt"_s, u"f.txt"_s, u"up.txt"_s}));
    }

    // Fault: an image cut short must not become a disc with files whose bytes are missing.
    void damagedImageChangesNothing_data()
    {
        QTest::addColumn<qint64>("keep"); // bytes of the image kept; -1: not an image at all
        QTest::newRow("cut inside a file's data") << qint64(33 * 2048 + 100);
        QTest::newRow("cut inside the folders") << qint64(20 * 2048);
        QTest::newRow("no volume") << qint64(-1);
    }
    void damagedImageChangesNothing()
    {
        QFETCH(qint64, keep);
        const QString whole = path(u"joliet.iso"_s);
        if (!QFile::exists(whole) && !makeImage(u"joliet"_s, whole))
            QSKIP("xorriso is missing or failed");
        QFile source(whole);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString image = path(u"damaged.iso"_s);
        QVERIFY(writeFile(image, keep < 0 ? QByteArray(100000, 'z') : source.read(keep)));

        Catalogue cat(path(u"data"_s));
        cat.load([](const QString &) {});
        DiscAdder adder(cat);
        const QStringList before = TreeToLines(cat.tree());
        try {
            DiscVolume volume = ImageScanner::volumeOf(image);
            DiscDetails details;
            details.title = u"Cut"_s;
            adder.add(volume, details, nullptr);
            QFAIL("the damaged image was added");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().startsWith(u"Cannot read the disc image \""_s + image + u"\": "_s),
                     qPrintable(e.message()));
        }
        QCOMPARE(TreeToLines(cat.tree()), before);
        QCOMPARE(QDir(cat.dbFolder()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestImageScanner)
#include "tst_imagescanner.moc"
