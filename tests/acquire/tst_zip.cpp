#include "ScanFixture.h"

#include "acquire/TZipFile.h"
#include "core/QuilloryError.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// ZIP archives made by Info-ZIP's zip and by Python's zipfile, listed by the local-header
// walk and written into the file list; Python's own reading of each archive is the reference.
class TestZip : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work; // where archives are made
    QString m_root; // the volume that is scanned
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 30)};

    struct RefEntry {
        QString name;
        quint32 compressed = 0; // from the central directory
        QDateTime when;
        qint64 offset = 0;    // of the local header
        qint64 dataStart = 0; // after the local name and extra field
        quint32 localCompressed = 0;
    };

    // Python's view of the archive, in local-header order.
    QList<RefEntry> reference(const QString &zipPath)
    {
        const QByteArray script = R"(
import sys, struct, zipfile
z = zipfile.ZipFile(sys.argv[1])
f = open(sys.argv[1], 'rb')
for i in sorted(z.infolist(), key=lambda i: i.header_offset):
    f.seek(i.header_offset)
    h = f.read(30)
    csize, = struct.unpack('<I', h[18:22])
    n, e = struct.unpack('<HH', h[26:30])
    y, mo, d, hh, mi, s = i.date_time
    sys.stdout.buffer.write(b'%s\t%d\t%d %d %d %d %d %d\t%d\t%d\t%d\n' % (i.filename.encode(), i.compress_size,
        y, mo, d, hh, mi, s, i.header_offset, i.header_offset + 30 + n + e, csize))
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
            e.compressed = f[1].toUInt();
            e.when = QDateTime(QDate(t[0].toInt(), t[1].toInt(), t[2].toInt()),
                               QTime(t[3].toInt(), t[4].toInt(), t[5].toInt()));
            e.offset = f[3].toLongLong();
            e.dataStart = f[4].toLongLong();
            e.localCompressed = f[5].toUInt();
            list << e;
        }
        return list;
    }

    // The entries the walk reaches: a header is met only when it lies a whole number of
    // 4-byte steps after the point where the previous entry's stated data ends.
    static QList<RefEntry> reachable(const QList<RefEntry> &all)
    {
        QList<RefEntry> found;
        qint64 pos = 0;
        for (const RefEntry &e : all) {
            if (e.offset >= pos && (e.offset - pos) % 4 == 0) {
                found << e;
                pos = e.dataStart + e.localCompressed;
            }
        }
        return found;
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
            // The size is the one the local header states: 0 for an entry whose sizes follow its data.
            out += record({leaf, folder + archiveName + u'\\', QString::number(e.localCompressed), dateText(e.when),
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

    void checkArchive(const QString &zipPath, bool expectAll)
    {
        const QList<RefEntry> ref = reference(zipPath);
        QVERIFY2(!ref.isEmpty(), "python3 could not read the archive");
        const QList<RefEntry> found = reachable(ref);
        if (expectAll)
            QCOMPARE(found.size(), ref.size());
        for (const RefEntry &e : ref)
            if (e.localCompressed != 0)
                QCOMPARE(e.localCompressed, e.compressed);
        const QByteArray got = scanOne(zipPath);
        const QByteArray want =
            expectedRecords(u"PACK.ZIP"_s, u"\\"_s, QFileInfo(zipPath).size(), found, dateText(m_when));
        QCOMPARE(QString::fromUtf8(got), QString::fromUtf8(want));
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
        checkArchive(m_work + u"deflated.zip"_s, true);
        checkArchive(m_work + u"stored.zip"_s, true);

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
        checkArchive(m_work + u"py.zip"_s, true);
        const QByteArray got = scanOne(m_work + u"py.zip"_s);
        QVERIFY(
            got.contains("a.txt\r\n\\PACK.ZIP\\\r\n10\r\n3/1/2004 10:20:30 AM\r\nArchive path: \\folder\\\r\n-\r\n"));
        QVERIFY(got.contains("b.txt\r\n\\PACK.ZIP\\\r\n"));
        QVERIFY(got.contains("12/31/1999\r\nArchive path: \\folder\\deep\\\r\n"));
        QVERIFY(got.contains(u"Café.txt\r\n"_s.toUtf8()));
        QVERIFY(!got.contains("folder\\\r\n\\PACK.ZIP"));
    }

    void dataDescriptors()
    {
        // Writing to a stream that cannot seek defers every entry's sizes to a data descriptor.
        QVERIFY(python(QStringLiteral(R"(
import zipfile
class Stream:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
    def tell(self): return self.f.tell()
    def seekable(self): return False
def make(name, items):
    with open(name, 'wb') as f:
        with zipfile.ZipFile(Stream(f), 'w') as z:
            for n, data, method in items:
                i = zipfile.ZipInfo(n, (2004, 3, 1, 10, 20, 30))
                i.compress_type = method
                z.writestr(i, data)
S, D = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
make('aligned.zip', [('one.txt', b'abcdefgh', S), ('two.txt', b'ijklmnop' * 3, S), ('d/three.txt', b'q' * 12, S)])
make('misaligned.zip', [('one.txt', b'abcde', S), ('two.txt', b'fgh', S), ('three.txt', b'ijklmn', S)])
make('deflated.zip', [('a%d.txt' % k, (b'line %d\n' % k) * (k + 3), D) for k in range(12)])
)")));
        for (const char *name : {"aligned.zip", "misaligned.zip", "deflated.zip"}) {
            const QString path = m_work + QLatin1String(name);
            const QList<RefEntry> ref = reference(path);
            QVERIFY(!ref.isEmpty());
            for (const RefEntry &e : ref)
                QCOMPARE(e.localCompressed, 0u); // really deferred
            checkArchive(path, QByteArray(name) == "aligned.zip");
        }
        // 5 data bytes and a 16-byte descriptor put the second header off the 4-byte steps.
        QCOMPARE(reachable(reference(m_work + u"misaligned.zip"_s)).size(), 1);

        // Info-ZIP writing to a pipe uses descriptors as well.
        QVERIFY(writeFile(m_work + u"s1.txt"_s, "streamed text one", m_when));
        QVERIFY(writeFile(m_work + u"s2.txt"_s, QByteArray(3000, 's'), m_when));
        QVERIFY(run(m_work, u"sh"_s, {u"-c"_s, u"zip -q - s1.txt s2.txt | cat > streamed.zip"_s}));
        checkArchive(m_work + u"streamed.zip"_s, false);
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

        // A name length and a data size far beyond the end of the file.
        QByteArray huge = whole;
        huge[26] = char(0xFF);
        huge[27] = char(0xFF);
        QCOMPARE(walk(huge), 0);
        huge = whole;
        for (int i = 18; i < 22; ++i)
            huge[i] = char(0xFF);
        QCOMPARE(walk(huge), 1);

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
};

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"
