// Verify Disc's rules: real files in a folder, scanned as Add Disc scans them, then changed on
// the "medium" and compared again.
#include "ScanFixture.h"
#include "acquire/DiscVerifier.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace
{

const QDateTime When(QDate(2004, 3, 1), QTime(10, 20, 30));

// A disc's lists as DiscAdder packs them, from a real scan.
ContentsFile::Parsed catalogue(const QString &root, const ScanOptions &options)
{
    ScanProblems problems;
    return DiscVerifier(options).scan(root, options.checksums, problems);
}

QStringList kindsAndPaths(const VerifyReport &r)
{
    QStringList out;
    for (const VerifyDifference &d : r.differences)
        out << d.line().section(u'\t', 0, 1);
    return out;
}

} // namespace

class TestDiscVerifier : public QObject
{
    Q_OBJECT

    QString m_root;
    QByteArray m_zip; // one entry, "in.txt"
    std::unique_ptr<QTemporaryDir> m_dir;

    QString at(const QString &name) const { return m_root + u'/' + name; }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QTemporaryDir dir;
        QVERIFY(ScanFixture::run(dir.path(), u"python3"_s,
                                 {u"-c"_s, u"import zipfile\nwith zipfile.ZipFile('pack.zip', 'w') as z:\n"
                                           u" z.writestr(zipfile.ZipInfo('in.txt', (2004, 3, 1, 10, 20, 30)), 'x')\n"_s}));
        QFile zip(dir.filePath(u"pack.zip"_s));
        QVERIFY(zip.open(QIODevice::ReadOnly));
        m_zip = zip.readAll();
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + u"/medium"_s;
        for (const char *name : {"a.txt", "b.bin", "DOCS/c.txt", "DOCS/OLD/d.txt"})
            QVERIFY(ScanFixture::writeFile(at(QLatin1String(name)), QByteArray(name) + " holds these bytes", When));
        QVERIFY(ScanFixture::writeFile(at(u"pack.zip"_s), m_zip, When));
    }

    void rules_data()
    {
        QTest::addColumn<bool>("checksums");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("detail"); // a part of the first difference's detail
        QTest::addColumn<int>("matched");

        const bool sums = true;
        QTest::newRow("as catalogued") << sums << u""_s << QStringList() << u""_s << 6;
        QTest::newRow("file removed") << sums << u"rm a.txt"_s << QStringList{u"missing\t\\a.txt"_s}
                                      << u"23 bytes, dated "_s << 5;
        QTest::newRow("file added") << sums << u"add e.txt"_s << QStringList{u"new\t\\e.txt"_s} << u"3 bytes"_s << 6;
        // The folder and what was in it, each once.
        QTest::newRow("folder removed") << sums << u"rmdir DOCS/OLD"_s
                                        << QStringList{u"missing\t\\DOCS\\OLD\\"_s, u"missing\t\\DOCS\\OLD\\d.txt"_s}
                                        << u"folder"_s << 5;
        QTest::newRow("folder added") << sums << u"add NEW/e.txt"_s
                                      << QStringList{u"new\t\\NEW\\"_s, u"new\t\\NEW\\e.txt"_s} << u"folder"_s << 6;
        QTest::newRow("resized") << sums << u"resize a.txt"_s << QStringList{u"changed\t\\a.txt"_s}
                                 << u"size 23 \u2192 24"_s << 5;
        QTest::newRow("touched") << sums << u"touch a.txt"_s << QStringList{u"changed\t\\a.txt"_s}
                                 << u"date 3/1/2004 10:20:30 AM \u2192 3/2/2004 10:20:30 AM"_s << 5;
        QTest::newRow("bytes flipped, same size and date")
            << sums << u"flip DOCS/c.txt"_s << QStringList{u"corrupt\t\\DOCS\\c.txt"_s} << u"checksum "_s << 5;
        QTest::newRow("flipped and touched: a change that says both")
            << sums << u"flip+touch DOCS/c.txt"_s << QStringList{u"changed\t\\DOCS\\c.txt"_s} << u"; checksum "_s << 5;
        // The catalogue compares names as it always has: a-z without regard to case.
        QTest::newRow("a name in other case") << sums << u"rename a.txt A.TXT"_s << QStringList() << u""_s << 6;
        QTest::newRow("archive entry added: the archive changed, the entry new")
            << sums << u"zip add"_s << QStringList{u"changed\t\\pack.zip"_s, u"new\t\\pack.zip\\more.txt"_s}
            << u"size "_s << 5;
        QTest::newRow("no stored checksums: flipped bytes go unseen")
            << false << u"flip DOCS/c.txt"_s << QStringList() << u""_s << 6;
        QTest::newRow("no stored checksums: sizes still compared")
            << false << u"resize a.txt"_s << QStringList{u"changed\t\\a.txt"_s} << u"size"_s << 5;
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

        const QString verb = change.section(u' ', 0, 0), name = change.section(u' ', 1, 1);
        const QString path = at(name);
        if (verb == u"rm"_s) {
            QVERIFY(QFile::remove(path));
        } else if (verb == u"rmdir"_s) {
            QVERIFY(QDir(path).removeRecursively());
        } else if (verb == u"add"_s) {
            QVERIFY(ScanFixture::writeFile(path, "new", When));
        } else if (verb == u"resize"_s) {
            QVERIFY(ScanFixture::writeFile(path, "a.txt holds these bytes!", When));
        } else if (verb == u"touch"_s) {
            QVERIFY(ScanFixture::setMtime(path, When.addDays(1)));
        } else if (verb.startsWith(u"flip"_s)) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            bytes[0] = char(bytes[0] ^ 0x20);
            QVERIFY(f.seek(0) && f.write(bytes) == bytes.size());
            f.close();
            QVERIFY(ScanFixture::setMtime(path, verb.endsWith(u"touch"_s) ? When.addDays(1) : When));
        } else if (verb == u"rename"_s) {
            QVERIFY(QFile::rename(path, at(change.section(u' ', 2, 2))));
        } else if (verb == u"zip"_s) {
            QVERIFY(ScanFixture::run(m_root, u"python3"_s,
                                     {u"-c"_s, u"import zipfile\nwith zipfile.ZipFile('pack.zip', 'a') as z:\n"
                                               u" z.writestr(zipfile.ZipInfo('more.txt', (2004, 3, 1, 10, 20, 30)), "
                                               u"'y')\n"_s}));
            QVERIFY(ScanFixture::setMtime(at(u"pack.zip"_s), When));
        }

        const VerifyReport report = DiscVerifier(options).verify(m_root, before);
        QCOMPARE(kindsAndPaths(report), expected);
        if (!expected.isEmpty())
            QVERIFY2(report.differences.front().detail.contains(detail), qPrintable(report.differences.front().detail));
        QCOMPARE(report.matched, matched);
        QCOMPARE(report.allMatched(), expected.isEmpty());
        QCOMPARE(report.contentsChecked, checksums);
        QCOMPARE(report.summary().contains(u"Contents could not be checked"_s), !checksums);
    }

    // A file the medium no longer gives (a scratched disc: the scanner's reason) and a folder
    // that cannot be opened: said once each, and what the catalogue has below that folder is
    // not called missing. Made with the scanner's problem list, since a permission does not
    // stop root and a failing device is not at hand.
    void unreadable()
    {
        ScanOptions options;
        options.checksums = true;
        const ContentsFile::Parsed before = catalogue(m_root, options);
        QVERIFY(QDir(at(u"DOCS/OLD"_s)).removeRecursively());
        QVERIFY(QDir().mkpath(at(u"DOCS/OLD"_s)));
        QVERIFY(ScanFixture::setMtime(at(u"DOCS/OLD"_s), When));
        const ContentsFile::Parsed after = catalogue(m_root, options);
        const ScanProblems problems{{at(u"b.bin"_s), u"Input/output error"_s},
                                    {at(u"DOCS/OLD"_s), u"Permission denied"_s}};

        const VerifyReport report = DiscVerifier::compare(before, after, problems, m_root);
        QCOMPARE(report.text().section(u'\n', 0, 1),
                 u"unreadable\t\\b.bin\tInput/output error\nunreadable\t\\DOCS\\OLD\\\tPermission denied"_s);
        QCOMPARE(report.summary(), u"3 files matched; 0 missing, 0 new, 0 changed, 0 corrupt, 2 unreadable."_s);
        QCOMPARE(report.differences.front().location, u"\\"_s);
    }

    // Where "Switch to Location" goes: an entry's folder, the nearest one the catalogue has for
    // what is new in a new folder, the archive for an archive entry.
    void locations()
    {
        ScanOptions options;
        options.filters[0] = true;
        const ContentsFile::Parsed before = catalogue(m_root, options);
        QVERIFY(ScanFixture::writeFile(at(u"DOCS/NEW/DEEP/e.txt"_s), "e", When));
        QVERIFY(QFile::remove(at(u"DOCS/OLD/d.txt"_s)));
        QVERIFY(ScanFixture::run(m_root, u"python3"_s,
                                 {u"-c"_s, u"import zipfile\nwith zipfile.ZipFile('pack.zip', 'w') as z:\n"
                                           u" z.writestr(zipfile.ZipInfo('in.txt', (2004, 3, 1, 10, 20, 30)), 'zz')\n"_s}));
        QVERIFY(ScanFixture::setMtime(at(u"pack.zip"_s), When));

        QStringList places;
        for (const VerifyDifference &d : DiscVerifier(options).verify(m_root, before).differences)
            places << d.path + u" in "_s + d.location + (d.inArchive ? u" (archive)"_s : u""_s);
        QCOMPARE(places, (QStringList{u"\\DOCS\\NEW\\ in \\DOCS\\"_s, u"\\DOCS\\NEW\\DEEP\\ in \\DOCS\\"_s,
                                      u"\\DOCS\\NEW\\DEEP\\e.txt in \\DOCS\\"_s, u"\\DOCS\\OLD\\d.txt in \\DOCS\\OLD\\"_s,
                                      u"\\pack.zip in \\"_s, u"\\pack.zip\\in.txt in \\pack.zip\\ (archive)"_s}));
    }
};

QTEST_GUILESS_MAIN(TestDiscVerifier)
#include "tst_discverifier.moc"
