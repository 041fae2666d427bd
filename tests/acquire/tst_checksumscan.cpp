#include "CabTestUtil.h"
#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "backup/DatabaseBackup.h"
#include "core/QuilloryError.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ScanFixture;

// A disc added with checksums: every file's XXH3-128 as xxhsum gives it, an unreadable file
// catalogued without one and named, the lists themselves as a scan without checksums makes
// them, and the checksums kept through an export and an import.
class TestChecksumScan : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_vol;
    const QString m_serial = u"0A1B2C3D"_s;

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
        DiscVolume v;
        v.root = m_vol;
        v.serial = m_serial;
        adder.add(v, DiscDetails{u"Disc"_s, {}, {}, 1}, nullptr);
        cat.save();
        return {ContentsFile::read(cat.dbFolder(), m_serial), ContentsFile::load(cat.dbFolder(), m_serial),
                adder.unreadable(), CabTestUtil::cabextractNames(ContentsFile::contentsFileName(cat.dbFolder(), m_serial))};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_vol = m_dir.filePath(u"vol/"_s);
        QByteArray big(3 * 1024 * 1024 + 17, Qt::Uninitialized); // more than one read block
        QRandomGenerator(28).fillRange(reinterpret_cast<quint32 *>(big.data()), big.size() / 4);
        QVERIFY(writeFile(m_vol + u"big.bin"_s, big));
        QVERIFY(writeFile(m_vol + u"empty.txt"_s, QByteArray()));
        QVERIFY(writeFile(m_vol + u"docs/R\u00e9sum\u00e9.txt"_s, "hello"));
        QVERIFY(writeFile(m_vol + u"pack/one.txt"_s, "one"));
        QVERIFY(writeFile(m_vol + u"pack/two.txt"_s, "two"));
        QVERIFY(run(m_vol + u"pack"_s, u"zip"_s, {u"-q"_s, u"../docs/pack.zip"_s, u"one.txt"_s, u"two.txt"_s}));
        QVERIFY(QDir(m_vol + u"pack"_s).removeRecursively());
        // A file whose read fails even for root: the kernel answers a read of this process's
        // memory at address 0 with EIO. The scan meets it through a link, which stands for the file.
        QVERIFY(QFile::link(u"/proc/self/mem"_s, m_vol + u"docs/mem"_s));
    }

    // A stop asked for while a large file is read (the window's events come every tenth of a
    // second of reading) ends the add: no contents file, no loose list, no record, and the file
    // is closed.
    void stopWhileReadingChangesNothing()
    {
        const QString vol = m_dir.filePath(u"sparse/"_s);
        QVERIFY(QDir().mkpath(vol));
        QFile big(vol + u"big.img"_s);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(4) << 30)); // read as zeros, stored as nothing
        big.close();
        Catalogue cat(m_dir.filePath(u"stopped"_s));
        cat.load([](const QString &) {});
        ScanOptions options;
        options.checksums = true;
        DiscAdder adder(cat, options);
        int calls = 0;
        quint64 readWhenStopped = 0;
        adder.setGauge([&](quint64 kilobytes) { readWhenStopped = kilobytes; });
        adder.setProcessEvents([&] {
            if (++calls == 2) // the first is the root folder's, before its files
                throw QuilloryError(u"The scan was stopped."_s);
        });
        const qsizetype descriptors = QDir(u"/proc/self/fd"_s).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
        DiscVolume v;
        v.root = vol;
        v.serial = m_serial;
        v.totalSize = quint64(4) << 30;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, adder.add(v, DiscDetails{u"Disc"_s, {}, {}, 1}, nullptr));
        QVERIFY(readWhenStopped > 0 && readWhenStopped < (quint64(4) << 20));
        QCOMPARE(QDir(u"/proc/self/fd"_s).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), descriptors);
        QCOMPARE(QDir(cat.dbFolder()).entryList(QDir::Files), QStringList{});
        QCOMPARE(cat.tree().root()->childCount(), 0);
    }

    // The busy window's line: sizes by 1024, the rate and the time left once a second is read.
    void readingText_data()
    {
        QTest::addColumn<quint64>("read");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("text");
        constexpr quint64 MB = 1 << 20, GB = MB << 10;
        QTest::newRow("starting") << quint64(500) << quint64(900) << qint64(0) << u"500 bytes of 900 bytes"_s;
        QTest::newRow("minutes") << GB << 4 * GB << qint64(10000) << u"1.0 GB of 4.0 GB, 102.4 MB/s, 0:30 left"_s;
        QTest::newRow("hours") << MB << 4 * GB << qint64(1000) << u"1.0 MB of 4.0 GB, 1.0 MB/s, 1:08:15 left"_s;
        QTest::newRow("more than the estimate") << 5 * GB << 4 * GB << qint64(50000) << u"5.0 GB of 5.0 GB, 102.4 MB/s"_s;
    }
    void readingText()
    {
        QFETCH(quint64, read);
        QFETCH(quint64, total);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, text);
        QCOMPARE(DiscAdder::readingText(read, total, elapsedMs), text);
    }

    void checksumsAsXxhsumGivesThem()
    {
        const Added with = add(true, m_dir.filePath(u"with"_s));
        QCOMPARE(with.members, (QStringList{m_serial + u".dir"_s, m_serial + u".file"_s, m_serial + u".sum"_s}));
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
        const Added without = add(false, m_dir.filePath(u"without"_s));
        QCOMPARE(without.members.size(), 2);
        QCOMPARE(without.lists.fileList, with.lists.fileList);
        QCOMPARE(without.lists.folderList, with.lists.folderList);
        QVERIFY(without.parsed.checksums.isEmpty());

        // An export carries the member, and an import brings it back.
        Catalogue source(m_dir.filePath(u"with"_s));
        source.load([](const QString &) {});
        const QString archive = m_dir.filePath(u"backup.cab"_s);
        DatabaseBackup::exportDatabase(source, archive);
        Catalogue target(m_dir.filePath(u"imported"_s));
        target.ensureDbFolder();
        target.lock();
        DatabaseBackup::importDatabase(archive, target.dbFolder());
        QCOMPARE(ContentsFile::read(target.dbFolder(), m_serial).checksumList, with.lists.checksumList);
    }
};

QTEST_GUILESS_MAIN(TestChecksumScan)
#include "tst_checksumscan.moc"
