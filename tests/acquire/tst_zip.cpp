#include "ScanFixture.h"

#include "acquire/TZipFile.h"
#include "core/QuilloryError.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// ZIP archives made by Info-ZIP's zip, Python's zipfile, fastjar and the JDK's jar, listed as
// Python's own reading of each archive lists them; damaged and hostile archives; and, once, an
// archive as the scan writes it into the file list.
class TestZip : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work; // where archives are made
    QString m_root; // the volume that is scanned
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 30)};

    struct Entry {
        QString name;
        quint64 compressed = 0;
        QDateTime when;
        bool operator==(const Entry &) const = default;
    };
    friend QDebug operator<<(QDebug d, const Entry &e) { return d << e.name << e.compressed << e.when; }

    // Python's view of the archive, in local-header order.
    QList<Entry> reference(const QString &zipPath)
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
        QList<Entry> list;
        for (const QByteArray &line : out.split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() == 3)
                list << Entry{QString::fromUtf8(f[0]), f[1].toULongLong(),
                              QDateTime::fromString(QString::fromLatin1(f[2]), u"yyyy M d H m s"_s)};
        }
        return list;
    }

    static QList<Entry> listed(const QByteArray &bytes)
    {
        QByteArray copy = bytes;
        QBuffer b(&copy);
        b.open(QIODevice::ReadOnly);
        TZipFile zip;
        QList<Entry> seen;
        zip.OnReadFile = [&seen](const ZipFile &e) {
            seen << Entry{e.EntryName, e.CompressedSize, ZipDateTime(e.ModDate, e.ModTime)};
        };
        zip.read(b);
        return seen;
    }

    static QStringList names(const QByteArray &bytes)
    {
        QStringList out;
        for (const Entry &e : listed(bytes))
            out << e.name;
        return out;
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    bool python(const QString &script) { return run(m_work, u"python3"_s, {u"-c"_s, script}); }

    // Two entries, each with its sizes in its local header.
    QByteArray smallArchive()
    {
        if (!python(u"import zipfile\nwith zipfile.ZipFile('ok.zip', 'w') as z:\n"
                    "    z.writestr('a.txt', b'aaaa')\n    z.writestr('b/c.txt', b'cccccccc')\n"_s))
            return QByteArray();
        return readAll(m_work + u"ok.zip"_s);
    }

    QByteArray scanOne(const QByteArray &archive, bool filterOn = true)
    {
        if (!writeFile(m_root + u"PACK.ZIP"_s, archive, m_when))
            return QByteArray();
        ScanOptions options;
        options.filters[0] = filterOn;
        return scan(options, m_root).files;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
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

    // An archive made here, and archives whose local headers defer their sizes to data descriptors
    // (streaming writers, the JDK's jar) or to ZIP64 fields, and ZIP64 end records, listed from
    // the central directory (tests/data/zip/make-fixtures.sh made them; fastjar states its sizes
    // and is walked).
    void listing_data()
    {
        QTest::addColumn<QString>("file"); // in tests/data/zip, or made here by "make"
        QTest::addColumn<QString>("make"); // a Python script
        const QString python = uR"(
import zipfile
with zipfile.ZipFile('made.zip', 'w') as z:
    z.writestr(zipfile.ZipInfo('folder/', (2004, 3, 1, 10, 20, 30)), b'')
    z.writestr(zipfile.ZipInfo('folder/a.txt', (2004, 3, 1, 10, 20, 30)), b'0123456789')
    i = zipfile.ZipInfo('folder/deep/b.txt', (1999, 12, 31, 0, 0, 0))
    i.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(i, b'b' * 4000)
    z.writestr(zipfile.ZipInfo('Caf\u00e9.txt', (2020, 2, 29, 23, 59, 58)), b'x')
    # a name longer than the walk's buffers must not derail it
    z.writestr('d/' + 'n' * 300 + '.txt', b'1234')
    z.writestr('after.txt', b'5678')
)"_s;
        QTest::newRow("Python") << QString() << python;
        QTest::newRow("zip to a pipe") << u"infozip-pipe.zip"_s << QString();
        QTest::newRow("zip from standard input") << u"infozip-stdin.zip"_s << QString();
        QTest::newRow("zip -fz with a comment") << u"infozip-zip64.zip"_s << QString();
        QTest::newRow("fastjar") << u"fastjar.jar"_s << QString();
        QTest::newRow("jar") << u"openjdk.jar"_s << QString();
        QTest::newRow("Python to a stream") << u"python-stream.zip"_s << QString();
        QTest::newRow("Python ZIP64") << u"python-zip64.zip"_s << QString();
        QTest::newRow("sizes above 4 GB") << u"python-over4g.zip"_s << QString();
    }

    void listing()
    {
        QFETCH(QString, file);
        QFETCH(QString, make);
        QString path = QStringLiteral(QUILLORY_TEST_DATA "/zip/") + file;
        if (!make.isEmpty()) {
            QVERIFY(python(make));
            path = m_work + u"made.zip"_s;
        }
        const QList<Entry> expected = reference(path);
        QVERIFY2(!expected.isEmpty(), "python3 could not read the archive");
        const QByteArray bytes = readAll(path);
        QCOMPARE(listed(bytes), expected);
        // With data in front of it (a self-extractor) the archive lists the same entries.
        QCOMPARE(listed(QByteArray(1001, '\x90') + bytes), expected);
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
        QCOMPARE(zip.entries().back().EntryName, u"f65536"_s);

        // Writers that predate ZIP64 wrote no ZIP64 records and let the count wrap at 65,536.
        QByteArray bytes = readAll(m_work + u"many.zip"_s);
        const qsizetype end = bytes.lastIndexOf("PK\5\6");
        QVERIFY(end > 76 && bytes.mid(end - 76, 4) == "PK\6\6");
        QByteArray endRecord = bytes.mid(end);
        endRecord.replace(8, 4, QByteArray("\x01\x00\x01\x00", 4));
        bytes = bytes.left(end - 76) + endRecord;
        QCOMPARE(names(bytes).size(), 65537);
        // A missing archive is an error, and the archive keeps no name.
        TZipFile missing;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, missing.setFileName(m_work + u"none.zip"_s));
        QVERIFY(missing.FileName().isEmpty());
    }

    // Hostile bytes on the walk: how many entries are listed.
    void hostileWalk_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("offset"); // written at, from the start; -1: the bytes are the archive
        QTest::addColumn<int>("entries");
        // A name length and a data size far beyond the end of the file derail the walk; the count
        // the end record gives then sends the listing to the central directory.
        QTest::newRow("name length") << QByteArray("\xFF\xFF") << 26 << 2;
        QTest::newRow("data size") << QByteArray("\xFF\xFF\xFF\xFF") << 18 << 2;
        QTest::newRow("empty archive") << "PK\5\6" + QByteArray(18, '\0') << -1 << 0;
    }

    void hostileWalk()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, offset);
        QFETCH(int, entries);
        QByteArray archive = bytes;
        if (offset >= 0) {
            archive = smallArchive();
            archive.replace(offset, bytes.size(), bytes);
        }
        QCOMPARE(names(archive).size(), entries);
    }

    // When every local header states its sizes the walk's listing stands, even where the central
    // directory says otherwise (here: another date).
    void walkOverDirectory()
    {
        const QByteArray whole = smallArchive();
        QByteArray otherDate = whole;
        otherDate.replace(otherDate.indexOf("PK\1\2") + 14, 2, "\x21\x00");
        QCOMPARE(listed(otherDate), listed(whole));
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
        const QStringList listedNames = names(damaged);
        QCOMPARE(listedNames, names(noEnd));
        QVERIFY(listedNames != names(whole));
    }

    // The scan end to end: the archive's own record, one record per file entry (folders give
    // none), an impossible stored date (month 13) written empty; with the filter off a plain file.
    void scanned()
    {
        QByteArray archive = smallArchive();
        archive[12] = char(0xA0 | (archive[12] & 0x1F)); // the first entry's month bits: 13
        archive[13] = char((archive[13] & ~1) | 1);
        const QString size = QString::number(archive.size());
        const QString date = CatalogueLocale().formatListDate(m_when);
        const QByteArray entries =
            record({u"a.txt"_s, u"\\PACK.ZIP\\"_s, u"4"_s, QString(), u"Archive path: \\"_s}) +
            record({u"c.txt"_s, u"\\PACK.ZIP\\"_s, u"8"_s, CatalogueLocale().formatListDate(listed(archive).at(1).when),
                    u"Archive path: \\b\\"_s});
        QCOMPARE(scanOne(archive), record({u"PACK.ZIP"_s, u"\\"_s, size, date, u"Compressed Folder"_s}) + entries);
        QCOMPARE(scanOne(archive, false), record({u"PACK.ZIP"_s, u"\\"_s, size, date}));
    }
};

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"
