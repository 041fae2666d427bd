#include "ScanFixture.h"

#include "acquire/TZipFile.h"
#include "core/QuilloryError.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// ZIP archives made by Info-ZIP's zip, Python's zipfile, fastjar and the JDK's jar, listed
// and written into the file list; Python's own reading of each archive is the reference.
class TestZip : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work; // where archives are made
    QString m_root; // the volume that is scanned
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 30)};

    struct RefEntry {
        QString name;
        quint64 compressed = 0;
        QDateTime when;
    };

    // Python's view of the archive, in local-header order.
    QList<RefEntry> reference(const QString &zipPath)
    {
        const QByteArray script = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in sorted(z.infolist(), key=lambda i: i.header_offset):
    y, mo, d, hh, mi, s = i.date_time
    sys.stdout.buffer.write(b'%s\t%d\t%d %d %d %d %d %d\n' % (i.filename.encode(), i.compress_size,
        y, mo, d, hh, mi, s))
)";
        QByteArray out;
        if (!run(m_work, u"python3"_s, {u"-c"_s, QString::fromUtf8(script), zipPath}, {}, &out))
            return {};
        QList<RefEntry> list;
        for (const QByteArray &line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> f = line.split('\t');
            const QList<QByteArray> t = f[2].split(' ');
            RefEntry e;
            e.name = QString::fromUtf8(f[0]);
            e.compressed = f[1].toULongLong();
            e.when = QDateTime(QDate(t[0].toInt(), t[1].toInt(), t[2].toInt()),
                               QTime(t[3].toInt(), t[4].toInt(), t[5].toInt()));
            list << e;
        }
        return list;
    }

    static QString dateText(const QDateTime &dt) { return CatalogueLocale().formatListDate(dt); }

    // The archive's own record and one record per listed file entry.
    QByteArray expectedRecords(const QString &archiveName, const QString &folder, qint64 size,
                               const QList<RefEntry> &entries, const QString &archiveDate)
    {
        QByteArray out = record({archiveName, folder, QString::number(size), archiveDate, u"Compressed Folder"_s});
        for (const RefEntry &e : entries) {
            const qsizetype slash = e.name.lastIndexOf(u'/');
            const QString leaf = e.name.mid(slash + 1);
            if (leaf.isEmpty())
                continue;
            QString dir = e.name.left(slash + 1);
            dir.replace(u'/', u'\\');
            out += record({leaf, folder + archiveName + u'\\', QString::number(e.compressed), dateText(e.when),
                           u"Archive path: \\"_s + dir});
        }
        return out;
    }

    QByteArray scanOne(const QString &zipPath, bool filterOn = true)
    {
        QFile::remove(m_root + u"PACK.ZIP"_s);
        if (!QFile::copy(zipPath, m_root + u"PACK.ZIP"_s))
            return QByteArray();
        setMtime(m_root + u"PACK.ZIP"_s, m_when);
        Preferences prefs;
        prefs.setFilter(0, filterOn);
        return scan(prefs, m_root).files;
    }

    bool python(const QString &script) { return run(m_work, u"python3"_s, {u"-c"_s, script}); }

    // The scan writes exactly the entries Python lists, with their names, sizes and dates.
    void checkArchive(const QString &zipPath)
    {
        const QList<RefEntry> ref = reference(zipPath);
        QVERIFY2(!ref.isEmpty(), "python3 could not read the archive");
        const QByteArray got = scanOne(zipPath);
        const QByteArray want =
            expectedRecords(u"PACK.ZIP"_s, u"\\"_s, QFileInfo(zipPath).size(), ref, dateText(m_when));
        QCOMPARE(QString::fromUtf8(got), QString::fromUtf8(want));
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static QStringList names(const QByteArray &bytes)
    {
        QByteArray copy = bytes;
        QBuffer b(&copy);
        b.open(QIODevice::ReadOnly);
        TZipFile zip;
        QStringList seen;
        zip.OnReadFile = [&seen](const ZipFile &e) { seen << e.EntryName; };
        zip.read(b);
        return seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(!QStandardPaths::findExecutable(u"zip"_s).isEmpty(), "zip is needed (install-deps)");
        QVERIFY2(!QStandardPaths::findExecutable(u"python3"_s).isEmpty(), "python3 is needed (install-deps)");
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_work = m_dir->path() + u"/work/"_s;
        m_root = m_dir->path() + u"/vol/"_s;
        QVERIFY(QDir().mkpath(m_work));
        QVERIFY(QDir().mkpath(m_root));
    }

    void infoZipStoredAndDeflatedWithFolders()
    {
        QVERIFY(writeFile(m_work + u"src/docs/readme.txt"_s, QByteArray(500, 'r'), m_when));
        QVERIFY(
            writeFile(m_work + u"src/docs/img/icon.bin"_s, "0123456789", QDateTime(QDate(2001, 9, 9), QTime(0, 0, 0))));
        QVERIFY(writeFile(m_work + u"src/top.txt"_s, "top level text, odd length", m_when));
        QVERIFY(QDir().mkpath(m_work + u"src/empty"_s));
        QVERIFY(run(m_work + u"src"_s, u"zip"_s, {u"-q"_s, u"-r"_s, u"../deflated.zip"_s, u"."_s}));
        QVERIFY(run(m_work + u"src"_s, u"zip"_s, {u"-q"_s, u"-r"_s, u"-0"_s, u"../stored.zip"_s, u"."_s}));
        checkArchive(m_work + u"deflated.zip"_s);
        checkArchive(m_work + u"stored.zip"_s);

        // Spot checks that do not lean on the reference: folders give no record, a stored
        // 10-byte file gives 10, the midnight entry has no time.
        const QByteArray got = scanOne(m_work + u"stored.zip"_s);
        QVERIFY(got.contains("icon.bin\r\n\\PACK.ZIP\\\r\n10\r\n9/9/2001\r\nArchive path: \\docs\\img\\\r\n-\r\n"));
        QVERIFY(got.contains("top.txt\r\n\\PACK.ZIP\\\r\n26\r\n3/1/2004 10:20:30 AM\r\nArchive path: \\\r\n-\r\n"));
        QVERIFY(!got.contains("empty"));
    }

    void pythonStoredAndDeflated()
    {
        QVERIFY(python(QStringLiteral(R"(
import zipfile
with zipfile.ZipFile('py.zip', 'w') as z:
    z.writestr(zipfile.ZipInfo('folder/', (2004, 3, 1, 10, 20, 30)), b'')
    z.writestr(zipfile.ZipInfo('folder/a.txt', (2004, 3, 1, 10, 20, 30)), b'0123456789')
    i = zipfile.ZipInfo('folder/deep/b.txt', (1999, 12, 31, 0, 0, 0))
    i.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(i, b'b' * 4000)
    z.writestr(zipfile.ZipInfo('Caf\u00e9.txt', (2020, 2, 29, 23, 59, 58)), b'x')
)")));
        checkArchive(m_work + u"py.zip"_s);
        const QByteArray got = scanOne(m_work + u"py.zip"_s);
        QVERIFY(
            got.contains("a.txt\r\n\\PACK.ZIP\\\r\n10\r\n3/1/2004 10:20:30 AM\r\nArchive path: \\folder\\\r\n-\r\n"));
        QVERIFY(got.contains("b.txt\r\n\\PACK.ZIP\\\r\n"));
        QVERIFY(got.contains("12/31/1999\r\nArchive path: \\folder\\deep\\\r\n"));
        QVERIFY(got.contains(u"Café.txt\r\n"_s.toUtf8()));
        QVERIFY(!got.contains("folder\\\r\n\\PACK.ZIP"));
    }

    // Archives whose local headers defer their sizes to data descriptors (streaming writers,
    // the JDK's jar) or to ZIP64 fields, and ZIP64 end records: listed from the central
    // directory. fastjar states its sizes and is walked. tests/data/zip/make-fixtures.sh made them.
    void otherWriters_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("files");
        QTest::addColumn<QByteArray>("sample");
        const QByteArray longTxt =
            "long.txt\r\n\\PACK.ZIP\\\r\n40\r\n3/1/2004 10:20:30 AM\r\nArchive path: \\docs\\\r\n-\r\n";
        QTest::newRow("zip to a pipe")
            << u"infozip-pipe.zip"_s << 4
            << QByteArray(
                   "icon.bin\r\n\\PACK.ZIP\\\r\n12\r\n9/9/2001 1:46:40 AM\r\nArchive path: \\docs\\img\\\r\n-\r\n");
        QTest::newRow("zip from standard input")
            << u"infozip-stdin.zip"_s << 1 << QByteArray("-\r\n\\PACK.ZIP\\\r\n27\r\n");
        QTest::newRow("zip -fz with a comment")
            << u"infozip-zip64.zip"_s << 4
            << QByteArray("a.txt\r\n\\PACK.ZIP\\\r\n6\r\n3/1/2004 10:20:30 AM\r\nArchive path: \\\r\n-\r\n");
        QTest::newRow("fastjar") << u"fastjar.jar"_s << 5 << longTxt;
        QTest::newRow("jar") << u"openjdk.jar"_s << 5 << longTxt;
        QTest::newRow("python to a stream")
            << u"python-stream.zip"_s << 4
            << u"Café.txt\r\n\\PACK.ZIP\\\r\n1\r\n2/29/2020 11:59:58 PM\r\nArchive path: \\\r\n-\r\n"_s.toUtf8();
        QTest::newRow("python zip64")
            << u"python-zip64.zip"_s << 4
            << QByteArray("top.bin\r\n\\PACK.ZIP\\\r\n278\r\n6/15/2010 8:09:10 AM\r\nArchive path: \\\r\n-\r\n");
        QTest::newRow("sizes above 4 GB")
            << u"python-over4g.zip"_s << 2
            << QByteArray(
                   "long.txt\r\n\\PACK.ZIP\\\r\n4294967419\r\n12/31/1999\r\nArchive path: \\folder\\deep\\\r\n-\r\n");
    }

    void otherWriters()
    {
        QFETCH(QString, file);
        QFETCH(int, files);
        QFETCH(QByteArray, sample);
        const QString path = QStringLiteral(QUILLORY_TEST_DATA "/zip/") + file;
        checkArchive(path);
        const QByteArray got = scanOne(path);
        QCOMPARE(got.count("Archive path: "), files);
        QVERIFY2(got.contains(sample), got.constData());

        // With data in front of it (a self-extractor) the archive lists the same entries.
        QVERIFY(writeFile(m_work + u"sfx.zip"_s, QByteArray(1001, '\x90') + readAll(path)));
        QCOMPARE(names(readAll(m_work + u"sfx.zip"_s)), names(readAll(path)));
    }

    void moreThan65535Entries()
    {
        // Streamed, so the walk defers to the directory, whose count only the ZIP64 end record holds.
        QVERIFY(python(QStringLiteral(R"(
import zipfile
class Stream:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
    def tell(self): return self.f.tell()
    def seekable(self): return False
with open('many.zip', 'wb') as f:
    with zipfile.ZipFile(Stream(f), 'w') as z:
        for k in range(65537):
            z.writestr(zipfile.ZipInfo('f%05d' % k, (2004, 3, 1, 10, 20, 30)), b'%d' % k)
)")));
        TZipFile zip;
        zip.setFileName(m_work + u"many.zip"_s);
        QCOMPARE(zip.FileCount(), 65537);
        QCOMPARE(zip.entries().front().EntryName, u"f00000"_s);
        QCOMPARE(zip.entries().back().EntryName, u"f65536"_s);
        QCOMPARE(zip.entries().back().CompressedSize, 5u);

        // Writers that predate ZIP64 wrote no ZIP64 records and let the count wrap at 65,536.
        QByteArray bytes = readAll(m_work + u"many.zip"_s);
        const qsizetype end = bytes.lastIndexOf("PK\5\6");
        QVERIFY(end > 76 && bytes.mid(end - 76, 4) == "PK\6\6");
        QByteArray endRecord = bytes.mid(end);
        endRecord.replace(8, 4, QByteArray("\x01\x00\x01\x00", 4));
        bytes = bytes.left(end - 76) + endRecord;
        QCOMPARE(names(bytes).size(), 65537);
    }

    void emptyArchiveAndFilterOff()
    {
        QVERIFY(python(u"import zipfile\nzipfile.ZipFile('empty.zip', 'w').close()"_s));
        QCOMPARE(QFileInfo(m_work + u"empty.zip"_s).size(), 22);
        QCOMPARE(scanOne(m_work + u"empty.zip"_s),
                 record({u"PACK.ZIP"_s, u"\\"_s, u"22"_s, dateText(m_when), u"Compressed Folder"_s}));

        QVERIFY(python(QStringLiteral("import zipfile\nwith zipfile.ZipFile('one.zip', 'w') as z: "
                                      "z.writestr('a.txt', b'a')")));
        const QByteArray off = scanOne(m_work + u"one.zip"_s, false);
        QCOMPARE(off, record({u"PACK.ZIP"_s, u"\\"_s, QString::number(QFileInfo(m_work + u"one.zip"_s).size()),
                              dateText(m_when)}));
    }

    void longNamesDoNotDerailTheWalk()
    {
        const QString longName = u"d/"_s + QString(300, u'n') + u".txt"_s;
        QVERIFY(python(QStringLiteral("import zipfile\nwith zipfile.ZipFile('long.zip', 'w') as z:\n"
                                      "    z.writestr('%1', b'1234')\n    z.writestr('after.txt', b'5678')\n")
                           .arg(longName)));
        TZipFile zip;
        QList<QString> seen;
        zip.OnReadFile = [&seen](const ZipFile &e) { seen << e.EntryName; };
        zip.setFileName(m_work + u"long.zip"_s);
        QCOMPARE(seen, (QList<QString>{longName, u"after.txt"_s}));
        QCOMPARE(zip.FileCount(), 2);
        QCOMPARE(zip.entries()[0].NameLength, quint16(longName.size()));
        QCOMPARE(zip.FileName(), m_work + u"long.zip"_s);
        // A missing archive is an error, and names no file.
        TZipFile missing;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, missing.setFileName(m_work + u"none.zip"_s));
        QVERIFY(missing.FileName().isEmpty());
    }

    void damagedAndHostileArchives()
    {
        QVERIFY(python(QStringLiteral("import zipfile\nwith zipfile.ZipFile('ok.zip', 'w') as z:\n"
                                      "    z.writestr('a.txt', b'aaaa')\n    z.writestr('b/c.txt', b'cccccccc')\n")));
        QFile f(m_work + u"ok.zip"_s);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();

        auto walk = [](const QByteArray &bytes) {
            QByteArray copy = bytes;
            QBuffer b(&copy);
            b.open(QIODevice::ReadOnly);
            TZipFile zip;
            zip.read(b);
            return zip.FileCount();
        };
        QCOMPARE(walk(whole), 2);
        // Cut anywhere: never more than the whole, never a failure.
        for (qsizetype n = 0; n < whole.size(); ++n)
            QVERIFY(walk(whole.left(n)) <= 2);

        // A name length and a data size far beyond the end of the file derail the walk; the
        // count the end record gives then sends the listing to the central directory.
        QByteArray huge = whole;
        huge[26] = char(0xFF);
        huge[27] = char(0xFF);
        QCOMPARE(walk(huge), 2);
        huge = whole;
        for (int i = 18; i < 22; ++i)
            huge[i] = char(0xFF);
        QCOMPARE(walk(huge), 2);

        // When every local header states its sizes the walk's listing stands, even where the
        // central directory says otherwise (here: another date).
        QByteArray otherDate = whole;
        otherDate.replace(otherDate.indexOf("PK\1\2") + 14, 2, "\x21\x00");
        QVERIFY(writeFile(m_work + u"other.zip"_s, otherDate));
        TZipFile zip;
        zip.setFileName(m_work + u"other.zip"_s);
        QCOMPARE(zip.FileCount(), 2);
        QCOMPARE(zip.entries()[0].ModDate, quint16(quint8(whole[12]) | quint8(whole[13]) << 8));

        // Noise, with and without a stray signature on a 4-byte step.
        QByteArray noise(4096, '\0');
        QRandomGenerator rng(7);
        for (char &c : noise)
            c = char(rng.bounded(256));
        noise.replace("PK\3\4", "PK\3\5");
        QCOMPARE(walk(noise), 0);
        QCOMPARE(walk(QByteArray("PK\3\4")), 0);

        // An impossible stored date (month 13) writes an empty date rather than failing.
        QByteArray badDate = whole;
        badDate[12] = char(0xA0 | (badDate[12] & 0x1F)); // month bits: 13
        badDate[13] = char((badDate[13] & ~1) | 1);
        QVERIFY(writeFile(m_work + u"bad.zip"_s, badDate));
        const QByteArray got = scanOne(m_work + u"bad.zip"_s);
        QVERIFY(got.contains("a.txt\r\n\\PACK.ZIP\\\r\n4\r\n\r\nArchive path: \\\r\n-\r\n"));
        QVERIFY(got.contains("c.txt\r\n"));
    }

    // A central directory that does not hold together leaves the walk's listing: the same as
    // when the archive has no end record at all.
    void damagedDirectory_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("anchor"); // a signature
        QTest::addColumn<bool>("last");         // its last occurrence, else its first
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes"); // written there
        const QString stream = u"python-stream.zip"_s;
        const QString zip64 = u"infozip-zip64.zip"_s;
        const QByteArray header("PK\1\2"), end("PK\5\6"), end64("PK\6\6");
        QTest::newRow("first header's signature") << stream << header << false << 0 << QByteArray("PK\1\3");
        QTest::newRow("last header's signature") << stream << header << true << 0 << QByteArray("PK\0\0", 4);
        QTest::newRow("name past the directory") << stream << header << true << 28 << QByteArray("\xFF\xFF");
        QTest::newRow("extra past the directory") << stream << header << false << 30 << QByteArray("\xFF\xFF");
        QTest::newRow("directory past the start") << stream << end << true << 12 << QByteArray("\xF0\xFF\xFF\xFF");
        QTest::newRow("empty directory") << stream << end << true << 12 << QByteArray(4, '\0');
        QTest::newRow("count too high") << stream << end << true << 10 << QByteArray("\x09\x00", 2);
        QTest::newRow("ZIP64 directory past the start")
            << zip64 << end64 << true << 40 << QByteArray("\0\0\0\0\0\0\0\x40", 8);
        QTest::newRow("ZIP64 count too high") << zip64 << end64 << true << 32 << QByteArray("\0\0\0\0\0\x01\0\0", 8);
        // The 4 GB entry's ZIP64 field cut to 8 bytes: its compressed size is missing.
        QTest::newRow("ZIP64 field too short")
            << u"python-over4g.zip"_s << header << true << 46 + 20 + 2 << QByteArray("\x08\x00", 2);
    }

    void damagedDirectory()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, anchor);
        QFETCH(bool, last);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        const QByteArray whole = readAll(QStringLiteral(QUILLORY_TEST_DATA "/zip/") + file);
        const qsizetype at = last ? whole.lastIndexOf(anchor) : whole.indexOf(anchor);
        QVERIFY(at >= 0);
        QByteArray damaged = whole;
        damaged.replace(at + offset, bytes.size(), bytes);
        QByteArray noEnd = damaged;
        noEnd.replace(noEnd.lastIndexOf("PK\5\6"), 4, "PK\5\7");
        const QStringList listed = names(damaged);
        QCOMPARE(listed, names(noEnd));
        QVERIFY(listed != names(whole));
        // Cut anywhere: never a failure, never more than the whole.
        for (qsizetype n = 0; n < damaged.size(); n += 7)
            QVERIFY(names(damaged.left(n)).size() <= names(whole).size());
    }
};

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"
