#include "CabTestUtil.h"

#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabWriter.h"
#include "core/QuilloryError.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsChecksums.h"
#include "store/ContentsFile.h"
#include "store/ContentsList.h"
#include "store/ContentsListWriter.h"
#include "store/ContentsRecord.h"
#include "store/SingleLine.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

// A disc's lists: their writer and reader, their values, the ".sum" member, the contents file.
class TestContentsFile : public QObject
{
    Q_OBJECT

    static constexpr char A[] = "b5e9c1ad071b3e7fc779cfaa5e523818"; // "hello", as xxhsum -H2 gives it
    static constexpr char B[] = "0123456789abcdef0123456789abcdef";
    const QString serial = u"1A2B3C4D"_s;
    const QByteArray folderList = "MUSIC\\\r\n\\\r\n5\r\n01.02.2003 04:05:06\r\n-\r\n";
    // Two files, the second a ZIP archive with one entry: three records.
    const QByteArray threeFiles = "R\xC3\xA9sum\xC3\xA9.txt\r\n\\\r\n5\r\n01.02.2003 04:05:06\r\n-\r\n"
                                  "p.zip\r\n\\\r\n9\r\n01.02.2003 04:05:06\r\nCompressed folder\r\n-\r\n"
                                  "e.txt\r\n\\p.zip\\\r\n1\r\n01.02.2003 04:05:06\r\nPath: \\\r\n-\r\n";

    static QByteArray written(const std::function<void(ContentsListWriter &)> &write)
    {
        QByteArray bytes;
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        ContentsListWriter w(&buf);
        write(w);
        w.flush();
        return bytes;
    }
    // Whatever a reader or a packing did, DB holds the contents file and nothing of its lists.
    void onlyTheContentsFile(const QString &db)
    {
        QCOMPARE(QDir(db).entryList(QDir::Files | QDir::Hidden), QStringList{serial + u".dat"_s});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void writerAndReaderAgree()
    {
        const QByteArray files = written([](ContentsListWriter &w) {
            w.writeFileRecord(QStringLiteral("SONG.MP3"), QStringLiteral("\\MUSIC\\ROCK\\"), 5000000000ULL,
                              QStringLiteral("05.12.2026 13:48:38"), {QStringLiteral("Title: A\r\nB")});
            w.writeFileRecord(QStringLiteral("PACK.ZIP"), QStringLiteral("\\"), 7, QStringLiteral("01.01.2000"),
                              {QString::fromLatin1(ContentsRecord::CompressedFolder)});
            w.writeArchiveEntry(QStringLiteral("top.txt"), QStringLiteral("\\PACK.ZIP\\"), 3,
                                QStringLiteral("01.01.2000"), QString());
            w.writeArchiveEntry(QStringLiteral("a.png"), QStringLiteral("\\PACK.ZIP\\"), 4, QString(),
                                QStringLiteral("img\\icons\\"));
            // Names as the file system gives them: bytes that are not UTF-8, a line break.
            w.writeScannedFile("caf\xe9\nx", ContentsListWriter::folderLine("\\", "d\xfcr"), 0, "01.01.2000");
        });
        QCOMPARE(files,
                 QByteArray("SONG.MP3\r\n\\MUSIC\\ROCK\\\r\n5000000000\r\n05.12.2026 13:48:38\r\nTitle: A??B\r\n-\r\n"
                            "PACK.ZIP\r\n\\\r\n7\r\n01.01.2000\r\nCompressed Folder\r\n-\r\n"
                            "top.txt\r\n\\PACK.ZIP\\\r\n3\r\n01.01.2000\r\nArchive path: \\\r\n-\r\n"
                            "a.png\r\n\\PACK.ZIP\\\r\n4\r\n\r\nArchive path: \\img\\icons\\\r\n-\r\n"
                            "caf\xef\xbf\xbd?x\r\n\\d\xef\xbf\xbdr\\\r\n0\r\n01.01.2000\r\n-\r\n"));
        const QByteArray folders = written([](ContentsListWriter &w) {
            w.writeFolderRecord(QStringLiteral("MUSIC"), QStringLiteral("\\"), 5000000000ULL, QStringLiteral("x"));
            w.writeScannedFolder("ROCK", "\\MUSIC\\", 5000000000ULL, "x");
        });
        QCOMPARE(
            folders,
            QByteArray("MUSIC\\\r\n\\\r\n5000000000\r\nx\r\n-\r\nROCK\\\r\n\\MUSIC\\\r\n5000000000\r\nx\r\n-\r\n"));

        const ContentsList f = ContentsList::fromBytes(files);
        const ContentsList d = ContentsList::fromBytes(folders);
        QCOMPARE(f.recordCount(), 5);
        QVERIFY(!f.isArchive(0) && f.isArchive(1) && !f.isArchive(2));
        QVERIFY(f.folderInArchive(0).isNull());
        QCOMPARE(f.folderInArchive(2), QByteArrayView(""));
        QCOMPARE(f.folderInArchive(3), QByteArrayView("img\\icons\\"));
        QCOMPARE(f.lineCount(0), 5);
        QVERIFY(f.lineBytes(-1, 0).isNull() && f.lineBytes(5, 0).isNull() && f.lineBytes(0, -1).isNull());
        QVERIFY(f.heldBytes() >= files.size()); // its text and a few bytes a record
        QCOMPARE(d.folderName(1), QByteArrayView("ROCK"));

        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        ContentsListWriter w(&readOnly);
        w.writeRecord({QStringLiteral("x")});
        QVERIFY_THROWS_EXCEPTION(QuilloryError, w.flush());
    }

    void valuesWrittenIntoRecords()
    {
        const CatalogueLocale de;
        QCOMPARE(de.formatListDate(QDateTime(QDate(2026, 12, 5), QTime(13, 48, 39))) + u'|' +
                     de.formatListDate(QDateTime(QDate(2026, 12, 5), QTime(0, 0))),
                 u"05.12.2026 13:48:39|05.12.2026"_s);
        QCOMPARE(de.parseDateTime(QStringLiteral("05.12.2026")), QDateTime(QDate(2026, 12, 5), QTime(0, 0)));
        QVERIFY(!de.parseDateTime(QStringLiteral("n/a")).isValid());
        // Past the four-digit years, the last moment that reads back.
        QCOMPARE(de.parseDateTime(de.formatListDate(QDateTime(QDate(10000, 1, 1), QTime(0, 0)))),
                 QDateTime(QDate(9999, 12, 31), QTime(23, 59, 58)));
        // The C locale's form (a catalogue made by a script, the shipped sample) reads anywhere.
        QCOMPARE(de.parseDateTime(QStringLiteral("6 Dec 2026 14:09:46")),
                 QDateTime(QDate(2026, 12, 6), QTime(14, 9, 46)));

        // A US locale: two-digit year widened, AM/PM kept, no zone.
        const CatalogueLocale us{QLocale(QLocale::English, QLocale::UnitedStates)};
        const QString text = us.formatDateTime(QDateTime(QDate(2026, 1, 2), QTime(15, 4, 6)));
        QVERIFY2(text.startsWith(QLatin1String("1/2/2026 3:04:06")) && text.endsWith(QLatin1String("PM")),
                 qPrintable(text));
        QCOMPARE(us.parseDateTime(text), QDateTime(QDate(2026, 1, 2), QTime(15, 4, 6)));
        // A time in the hour summer time skips here (the disc was catalogued in another zone)
        // still reads, as the moment as far past midnight.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        const QDateTime gap = us.parseDateTime(u"3/26/2023 2:30:00 AM"_s);
        const QDateTime after = QDateTime(QDate(2023, 3, 26), QTime(3, 30));
        // On the clock a date search compares, readings keep the order they were written in.
        const auto onClock = [&](const char *text) {
            return CatalogueLocale::wallClockMs(us.parseWallClock(QLatin1String(text)));
        };
        const qint64 before = onClock("3/26/2023 2:00:00 AM"), inGap = onClock("3/26/2023 2:30:00 AM"),
                     past = onClock("3/26/2023 3:10:00 AM"),
                     bound = CatalogueLocale::wallClockMs(QDateTime(QDate(2023, 3, 26), QTime(3, 0)));
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        ::tzset();
        QVERIFY(gap.isValid());
        QCOMPARE(gap, after);
        QVERIFY(before < inGap && inGap < bound && bound < past);
        QCOMPARE(past - before, qint64(70 * 60 * 1000));

        QCOMPARE(ToDosPrecision(QDateTime(QDate(2026, 1, 1), QTime(10, 0, 59, 999))),
                 QDateTime(QDate(2026, 1, 1), QTime(10, 0, 58)));

        QCOMPARE(MultiToSingle(u"one\r\ntwo"_s), u"one~!two"_s);
        QCOMPARE(QStringList({SingleToMulti(u"one~!two"_s), SingleToMulti(u"a~b!c!~"_s), SingleToMulti(u"~~!"_s)}),
                 QStringList({u"one\r\ntwo"_s, u"a~b!c!~"_s, u"~\r\n"_s}));
        // Durations round half to even.
        QCOMPARE(QStringList({FormatDuration(204.5), FormatDuration(205.5), FormatDuration(360000.0)}),
                 QStringList({u"00:03:24"_s, u"00:03:26"_s, u"100:00:00"_s}));
    }

    void checksumsParse_data()
    {
        QTest::addColumn<QByteArray>("sum");
        QTest::addColumn<int>("records");
        QTest::addColumn<QByteArrayList>("expected"); // each record's digits; empty: none
        QTest::addColumn<QString>("problem");
        const QByteArray a(A), b(B);
        QTest::newRow("absent") << QByteArray() << 3 << QByteArrayList{} << QString();
        QTest::newRow("aligned") << a + "\r\n\r\n" + b + "\r\n" << 3 << QByteArrayList{a, {}, b} << QString();
        QTest::newRow("LF alone, last line unended") << a + "\n\n" + b << 3 << QByteArrayList{a, {}, b} << QString();
        QTest::newRow("no checksum at all") << "\r\n\r\n\r\n"_ba << 3 << QByteArrayList{{}, {}, {}} << QString();
        QTest::newRow("a line short") << a + "\r\n" + b + "\r\n" << 3 << QByteArrayList{}
                                      << u"The checksums are ignored: 2 lines for a file list of 3 entries."_s;
        QTest::newRow("a line over") << a + "\r\n\r\n\r\n\r\n" << 3 << QByteArrayList{}
                                     << u"The checksums are ignored: 4 lines for a file list of 3 entries."_s;
        QTest::newRow("upper case") << "\r\n" + b.toUpper() + "\r\n\r\n" << 3 << QByteArrayList{}
                                    << u"The checksums are ignored: line 2 is not a checksum."_s;
        QTest::newRow("a digit short") << a + "\r\n\r\n" + b.chopped(1) + "\r\n" << 3 << QByteArrayList{}
                                       << u"The checksums are ignored: line 3 is not a checksum."_s;
        QTest::newRow("blank") << a + "\r\n \r\n\r\n" << 3 << QByteArrayList{}
                               << u"The checksums are ignored: line 2 is not a checksum."_s;
    }
    void checksumsParse()
    {
        QFETCH(QByteArray, sum);
        QFETCH(int, records);
        QFETCH(QByteArrayList, expected);
        QFETCH(QString, problem);
        QString why = u"left from before"_s;
        const ContentsChecksums sums = ContentsChecksums::parse(sum, records, &why);
        QCOMPARE(why, problem);
        QCOMPARE(sums.isEmpty(), expected.isEmpty());
        QCOMPARE(sums.size(), int(expected.size()));
        for (int r = 0; r < expected.size(); ++r) {
            QCOMPARE(sums.has(r), !expected[r].isEmpty());
            QCOMPARE(sums.hex(r).toByteArray(), expected[r]);
            // The value and the writer give the same digits back.
            if (sums.has(r)) {
                const XXH128_hash_t v = sums.value(r);
                QCOMPARE(ContentsChecksums::toHex(v), expected[r]);
            }
        }
        QVERIFY(!sums.has(records));
    }

    // Packed under the documented names and read back; a failed pack keeps the older file; a
    // ".sum" that does not line up is read as none, with the reason and the file named.
    void packTheScannersListsAndReadThemBack()
    {
        QTemporaryDir tmp;
        const QString d = tmp.filePath(u"DB/"_s);
        const QString dat = d + serial + u".dat"_s;
        // A disc with nothing on it: two empty members.
        ContentsFile::packBytes(d, serial, QByteArray(), QByteArray());
        QVERIFY(ContentsFile::read(d, serial).fileList.isEmpty());
        // What the writer makes reads back; the digits are those of the hash's canonical form.
        const XXH128_hash_t hello = XXH3_128bits("hello", 5);
        QByteArray sum;
        for (const XXH128_hash_t *line : {&hello, (const XXH128_hash_t *)nullptr, (const XXH128_hash_t *)nullptr})
            ContentsChecksums::appendLine(sum, line);
        QCOMPARE(sum, QByteArray(A) + "\r\n\r\n\r\n");
        for (const QByteArray &loose : {QByteArray(), sum}) {
            writeFile(ContentsFile::folderListName(d, serial), folderList);
            writeFile(ContentsFile::fileListName(d, serial), threeFiles);
            writeFile(ContentsFile::checksumListName(d, serial), loose);
            ContentsFile::pack(d, serial);
            onlyTheContentsFile(d);
            QVERIFY(cabextractAccepts(dat));
            QCOMPARE(cabextractNames(dat), QStringList({serial + u".dir"_s, serial + u".file"_s, serial + u".sum"_s})
                                               .first(loose.isEmpty() ? 2 : 3));
            const ContentsFile::Lists lists = ContentsFile::read(d, serial);
            QCOMPARE(lists.folderList + lists.fileList + lists.checksumList, folderList + threeFiles + loose);
        }
        ContentsFile::Parsed parsed = ContentsFile::load(d, serial);
        QCOMPARE(parsed.files.line(0, 0), u"Résumé.txt"_s);
        QCOMPARE(parsed.files.recordCount() + parsed.folders.recordCount(), 4);
        QVERIFY(XXH128_isEqual(parsed.checksums.value(0), hello));
        QVERIFY(!parsed.checksums.has(2) && parsed.checksumProblem.isEmpty());

        writeFile(ContentsFile::folderListName(d, serial), "new\r\n-\r\n");
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::pack(d, serial));
        onlyTheContentsFile(d);
        QCOMPARE(ContentsFile::read(d, serial).fileList, threeFiles);

        ContentsFile::packBytes(d, serial, ContentsFile::Lists{"", threeFiles, QByteArray(A) + "\r\n"});
        parsed = ContentsFile::load(d, serial);
        QVERIFY(parsed.checksums.isEmpty());
        QCOMPARE(parsed.files.recordCount(), 3);
        QCOMPARE(parsed.checksumProblem, u"\"%1\": The checksums are ignored: 1 line for a file list of 3 entries."_s.arg(
                                             QDir::toNativeSeparators(dat)));
    }

    // Only the disc's own lists come out (not a "groups.tree" it carries); cut short, nothing is left.
    void unpackingExtractsOnlyTheDiscsOwnLists()
    {
        QTemporaryDir tmp;
        const QString d = tmp.filePath(u"DB/"_s);
        QCOMPARE(ContentsFile::exists(d, serial), false);
        const QString missing = refusal([&] { ContentsFile::read(d, serial); });
        QVERIFY2(missing.startsWith(u"Cabinet not found [0x0001]"_s), qPrintable(missing));

        QByteArray big; // several data blocks
        for (int i = 0; i < 30000; ++i)
            big += "F" + QByteArray::number(i * 7919 % 100003) + "\r\n\\\r\n1\r\n01.02.2003\r\n-\r\n";
        writeFile(tmp.filePath(u"src/"_s + serial + u".dir"_s), folderList);
        writeFile(tmp.filePath(u"src/"_s + serial + u".file"_s), big);
        writeFile(tmp.filePath(u"src/groups.tree"_s), "planted\r\n");
        QDir().mkpath(d);
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(ContentsFile::contentsFileName(d, serial));
        cab.AddFiles(tmp.filePath(u"src/*"_s));
        cab.Close(true);
        QCOMPARE(ContentsFile::read(d, serial).fileList, big);
        onlyTheContentsFile(d);

        const QString dat = ContentsFile::contentsFileName(d, serial);
        const QByteArray whole = readFile(dat);
        writeFile(dat, whole.left(whole.size() - 2000));
        QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::read(d, serial));
        onlyTheContentsFile(d);

        // A contents file without its file list is damaged, not a disc without files.
        QFile::remove(tmp.filePath(u"src/"_s + serial + u".file"_s));
        cab.Open(dat);
        cab.AddFiles(tmp.filePath(u"src/*"_s));
        cab.Close(true);
        QVERIFY(refusal([&] {
                    ContentsFile::load(d, serial);
                }).endsWith(u"It holds no file list (%1.file)."_s.arg(serial)));
    }

    void unusableSerialsNameNothingOutsideDb()
    {
        QTemporaryDir tmp;
        const QString d = tmp.filePath(u"DB/"_s);
        writeFile(tmp.filePath(u"victim.dat"_s), "victim");
        writeFile(d + u"a/b.dat"_s, "nested");
        writeFile(d + u"...dat"_s, "dots");
        const auto files = [&] { return QList{snapshot(tmp.path()), snapshot(d), snapshot(d + u"a"_s)}; };
        const auto before = files();
        ContentsFile::packBytes(d, serial, folderList, threeFiles);
        // Bare names back to serials: an archive's members and DB's leftovers are told apart by them.
        QCOMPARE(ContentsFile::serialOfContentsFile(serial + ".DAT"), serial);
        for (const char *list : {".dir", ".file", ".sum"})
            QVERIFY(ContentsFile::isUnpackedList(serial + QLatin1String(list)));
        for (const char *other : {"groups.tree", ".dat", "../x.dat", "a/b.dat", "1A2B3C4D.dat.old"})
            QVERIFY(ContentsFile::serialOfContentsFile(QLatin1String(other)).isEmpty());
        QVERIFY(!ContentsFile::isUnpackedList(serial + ".dat") && !ContentsFile::isUnpackedList(u".dir"_s));
        for (const QString &bad : {u"../victim"_s, u"a/b"_s, u".."_s, u"a\\b"_s, QString()}) {
            QVERIFY(!ContentsFile::isUsableSerial(bad));
            QVERIFY(!ContentsFile::exists(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::remove(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::read(d, bad));
            QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::packBytes(d, bad, folderList, threeFiles));
        }
        ContentsFile::remove(d, serial);
        QCOMPARE(files(), before);
    }

    // One listing of DB answers as exists() does: files and links named serial + ".dat" only, never
    // a serial that could name something outside DB.
    void serialsPresentAgreesWithExists()
    {
        QTemporaryDir tmp;
        const QString db = tmp.filePath(u"DB/"_s);
        QDir().mkpath(db + u"FOLDER.dat"_s);
        for (const QString &name : {u"1A2B3C4D.dat"_s, u"UPPER.DAT"_s, u"list.dir"_s, u"real.bin"_s, u".dat"_s,
                                    u"..dat"_s, u"a\\b.dat"_s, u"Dïsc ünïcode.dat"_s, u"1A2B3C4.dat"_s})
            writeFile(db + name, "x");
        QVERIFY(QFile::link(db + u"real.bin"_s, db + u"LINKED.dat"_s));
        QVERIFY(QFile::link(db + u"nowhere"_s, db + u"DANGLING.dat"_s));
        const ContentsFile::Present present = ContentsFile::serialsPresent(db);
        const QStringList serials{u"1A2B3C4D"_s, u"LINKED"_s,       u"UPPER"_s,        u"FOLDER"_s,  u"DANGLING"_s,
                                  u"list"_s,     u""_s,             u"."_s,            u"a\\b"_s,    u"Dïsc ünïcode"_s,
                                  u"Disc unicode"_s, u"1A2B3C4"_s, u"1A2B3C4D0"_s, u"1a2b3c4d"_s};
        for (const QString &serial : serials)
            QVERIFY2(present.contains(serial) == ContentsFile::exists(db, serial), qPrintable(serial));
        QVERIFY(present.contains(u"1A2B3C4D"_s) && present.contains(u"Dïsc ünïcode"_s));
        QCOMPARE(ContentsFile::serialsPresent(tmp.filePath(u"missing/"_s)).size(), 0);
        // One that is there but cannot be listed is no DB without discs: a tree read against it
        // would lose them all at its next save.
        QVERIFY(refusal([&] {
                    ContentsFile::serialsPresent(db + u"real.bin/"_s);
                }).startsWith(u"Cannot list the database folder"_s));
    }
};

QTEST_GUILESS_MAIN(TestContentsFile)
#include "tst_contentsfile.moc"
