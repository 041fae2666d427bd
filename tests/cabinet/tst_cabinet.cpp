#include "CabTestUtil.h"

#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabReader.h"
#include "cabinet/TSTCabWriter.h"
#include "core/QuilloryError.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

using namespace CabTestUtil;

class TestCabinet : public QObject
{
    Q_OBJECT

private:
    QString sysText(int code) { return QString::fromLocal8Bit(strerror(code)); }

    // Expects the call to throw ESTCabinet and returns its message.
    template <typename F> QString cabError(F f)
    {
        try {
            f();
        } catch (const ESTCabinet &e) {
            return e.message();
        }
        return QStringLiteral("<no ESTCabinet>");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        useBerlinTime();
    }

    void twoFilesRoundTripWithDatesAndAttributes_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("MSZIP") << int(cctMsZip);
        QTest::newRow("stored") << int(cctNone);
    }

    void twoFilesRoundTripWithDatesAndAttributes()
    {
        QFETCH(int, type);
        QTemporaryDir tmp;
        const QString src = tmp.filePath(QStringLiteral("src/"));
        // Summer time in Berlin: a UTC/local mix-up shows as a two-hour shift.
        const QDateTime summer(QDate(2021, 7, 4), QTime(5, 6, 8));
        const QDateTime winter(QDate(2019, 11, 30), QTime(23, 58, 1)); // odd second: DOS keeps two-second steps
        const QByteArray a = QByteArray("alpha line\r\n").repeated(5000);
        writeFile(src + QStringLiteral("A.txt"), a, summer);
        writeFile(src + QStringLiteral("b.txt"), "beta\r\n", winter);
        QFile::setPermissions(src + QStringLiteral("b.txt"), QFileDevice::ReadOwner | QFileDevice::ReadUser);

        const QString cabName = tmp.filePath(QStringLiteral("out/two.cab"));
        {
            TSTCabWriter cab;
            cab.CompressionType = static_cast<TSTCabCompressionType>(type);
            cab.Open(cabName);
            cab.AddFiles(src + QStringLiteral("*.TXT"));
            cab.Close(true);
        }
        QVERIFY(cabextractAccepts(cabName));
        QCOMPARE(cabextractNames(cabName), (QStringList{QStringLiteral("A.txt"), QStringLiteral("b.txt")}));
        // The folder's compression is what was asked for.
        const QByteArray raw = readFile(cabName);
        QCOMPARE(int(raw.at(0x2A)), type == cctMsZip ? 1 : 0);

        TSTCabReader reader;
        const auto members = reader.List(cabName);
        QCOMPARE(members.size(), size_t(2));
        QCOMPARE(members[0].Modified, summer);
        QCOMPARE(members[1].Modified, QDateTime(QDate(2019, 11, 30), QTime(23, 58, 0)));
        QVERIFY(!(members[0].Attributes & TSTCabWriter::ReadOnly));
        QVERIFY(members[1].Attributes & TSTCabWriter::ReadOnly);
        QVERIFY(members[0].Attributes & TSTCabWriter::Archive);

        const QString dest = tmp.filePath(QStringLiteral("dest"));
        reader.Extract(cabName, dest);
        QCOMPARE(readFile(dest + QStringLiteral("/A.txt")), a);
        QCOMPARE(readFile(dest + QStringLiteral("/b.txt")), QByteArray("beta\r\n"));
        QCOMPARE(QFileInfo(dest + QStringLiteral("/A.txt")).lastModified(), summer);
        QVERIFY(!(QFileInfo(dest + QStringLiteral("/b.txt")).permissions() & QFileDevice::WriteOwner));
        QVERIFY(QFileInfo(dest + QStringLiteral("/A.txt")).permissions() & QFileDevice::WriteOwner);

        const auto blobs = reader.ExtractToMemory(cabName);
        QCOMPARE(blobs.size(), size_t(2));
        QCOMPARE(blobs[0].Data, a);
        QCOMPARE(blobs[1].Member.Name, QStringLiteral("b.txt"));
    }

    void openReplacesExistingFileOnlyWhenComplete()
    {
        QTemporaryDir tmp;
        const QString cabName = tmp.filePath(QStringLiteral("c.cab"));
        writeFile(cabName, QByteArray("an older file that is much longer than nothing").repeated(100));
        writeFile(tmp.filePath(QStringLiteral("m.txt")), "member");
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(cabName);
        cab.AddFile(tmp.filePath(QStringLiteral("m.txt")), QStringLiteral("\\m.txt"));
        // Until the cabinet is written the old file is still whole.
        QVERIFY(readFile(cabName).startsWith("an older file"));
        cab.Close(true);
        QVERIFY(cabextractAccepts(cabName));
        QCOMPARE(cabextractNames(cabName), QStringList{QStringLiteral("m.txt")});
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files).size(), 2); // no temporary file left
    }

    void maskMatchingNothingAddsNothing()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath(QStringLiteral("only.txt")), "x");
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(tmp.filePath(QStringLiteral("m.cab")));
        cab.AddFiles(tmp.filePath(QStringLiteral("12345678.*")));
        QVERIFY(cab.isOpen());
        // A listing of a folder that is not there is an error, not an empty match.
        QVERIFY_THROWS_EXCEPTION(QuilloryError, cab.AddFiles(tmp.filePath(QStringLiteral("nope/*.*"))));
        cab.AddFiles(tmp.filePath(QStringLiteral("o?ly.*")));
        cab.Close(true);
        QCOMPARE(cabextractNames(tmp.filePath(QStringLiteral("m.cab"))), QStringList{QStringLiteral("only.txt")});
    }

    void lzxIsRefusedAndTheCabinetStaysOpen()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath(QStringLiteral("a.txt")), "a");
        TSTCabWriter cab; // LZX is the default type
        QCOMPARE(cab.compressionCode(), 3 + 21 * 256);
        cab.Open(tmp.filePath(QStringLiteral("l.cab")));
        QCOMPARE(cabError([&] { cab.AddFile(tmp.filePath(QStringLiteral("a.txt")), QStringLiteral("a.txt")); }),
                 QStringLiteral("Unknown compression type [0x0005]"));
        QVERIFY(cab.isOpen());
        cab.CompressionType = cctMsZip;
        QCOMPARE(cabError([&] { cab.AddFile(tmp.filePath(QStringLiteral("gone.txt")), QStringLiteral("g")); }),
                 QStringLiteral("Failure opening file to be stored in cabinet [0x0001].\r\n") + sysText(ENOENT) +
                     QStringLiteral(" [0x0002]."));
        QVERIFY(cab.isOpen());
        QCOMPARE(ESTCabinet(ESTCabinet::Writing, 0, 0, false).message(), QStringLiteral("FCI error"));
        QCOMPARE(ESTCabinet(ESTCabinet::Reading, 42).message(), QStringLiteral("FDI error [0x002A]"));
    }

    void fileCountThresholdStartsSelfContainedCabinets()
    {
        QTemporaryDir tmp;
        for (const char *n : {"1.txt", "2.txt", "3.txt"})
            writeFile(tmp.filePath(QStringLiteral("s/") + QLatin1String(n)), QByteArray(n).repeated(10));
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.CabinetFileCountThreshold = 2;
        QStringList announced;
        cab.OnGetNextCabinet = [&](TSTCabWriter &, TSTCabParameters &p, qint64, bool &) {
            announced << p.CabinetName + u'|' + p.DiskLabel;
        };
        cab.Open(tmp.filePath(QStringLiteral("out/part.cab")));
        cab.AddFiles(tmp.filePath(QStringLiteral("s/*.txt")));
        cab.Close(true);
        QCOMPARE(announced, (QStringList{QStringLiteral("part.cab|Disk1"), QStringLiteral("part2.cab|Disk2")}));
        QCOMPARE(cabextractNames(tmp.filePath(QStringLiteral("out/part.cab"))),
                 (QStringList{QStringLiteral("1.txt"), QStringLiteral("2.txt")}));
        QCOMPARE(cabextractNames(tmp.filePath(QStringLiteral("out/part2.cab"))), QStringList{QStringLiteral("3.txt")});
    }

    void extractOverReadOnlyAndLongerFiles()
    {
        QTemporaryDir tmp;
        const QString cab = fixture(QStringLiteral("gcab-mszip.cab"));
        const QByteArray alpha = readFile(fixture(QStringLiteral("src/alpha.txt")));
        const QString dest = tmp.filePath(QStringLiteral("d/"));
        writeFile(dest + QStringLiteral("alpha.txt"), "read-only old text");
        QFile::setPermissions(dest + QStringLiteral("alpha.txt"), QFileDevice::ReadOwner);
        writeFile(dest + QStringLiteral("beta.txt"), QByteArray("a much longer old file ").repeated(100));

        TSTCabReader keep;
        keep.Options = croDontOverwriteReadOnlyFiles;
        keep.Extract(cab, dest);
        QCOMPARE(readFile(dest + QStringLiteral("alpha.txt")), QByteArray("read-only old text"));
        QCOMPARE(readFile(dest + QStringLiteral("beta.txt")), QByteArray("Beta\r\n"));

        TSTCabReader replace;
        replace.Extract(cab, dest);
        QCOMPARE(readFile(dest + QStringLiteral("alpha.txt")), alpha);
        QVERIFY(QFileInfo(dest + QStringLiteral("alpha.txt")).permissions() & QFileDevice::WriteOwner);
        // The members' dates come back as the fixture script set them (local time).
        QCOMPARE(QFileInfo(dest + QStringLiteral("alpha.txt")).lastModified().toString(Qt::ISODate),
                 QStringLiteral("2021-03-04T05:06:08"));
    }

    void cabinetsOfOtherTools_data()
    {
        QTest::addColumn<QString>("cab");
        QTest::newRow("gcab MSZIP") << QStringLiteral("gcab-mszip.cab");
        QTest::newRow("gcab stored") << QStringLiteral("gcab-stored.cab");
    }

    void cabinetsOfOtherTools()
    {
        QFETCH(QString, cab);
        QTemporaryDir tmp;
        TSTCabReader reader;
        reader.Extract(fixture(cab), tmp.path());
        QCOMPARE(readFile(tmp.filePath(QStringLiteral("alpha.txt"))),
                 readFile(fixture(QStringLiteral("src/alpha.txt"))));
        QCOMPARE(readFile(tmp.filePath(QStringLiteral("beta.txt"))), readFile(fixture(QStringLiteral("src/beta.txt"))));
    }

    void reservedHeaderCabinet()
    {
        QTemporaryDir tmp;
        TSTCabReader reader;
        reader.Extract(fixture(QStringLiteral("reserved-header.cab")), tmp.path());
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("test.sh"), QStringLiteral("test.txt")}));
    }

    void twoPartSetIsFollowed()
    {
        QTemporaryDir tmp;
        // The second part is looked up without regard to case, as its header names it.
        QFile::copy(fixture(QStringLiteral("set1.cab")), tmp.filePath(QStringLiteral("set1.cab")));
        QFile::copy(fixture(QStringLiteral("set2.cab")), tmp.filePath(QStringLiteral("SET2.CAB")));
        QStringList cabinets;
        TSTCabReader reader;
        reader.OnCabinetInfo = [&](TSTCabReader &, const QString &next, const QString &, const QString &, quint16,
                                   int number, bool &) { cabinets << QString::number(number) + u':' + next; };
        reader.Extract(tmp.filePath(QStringLiteral("set1.cab")), tmp.filePath(QStringLiteral("ours")));
        QCOMPARE(cabinets.size(), 2);
        QCOMPARE(cabinets.first(), QStringLiteral("0:set2.cab"));

        const ToolResult r = runTool(QStringLiteral("cabextract"),
                                     {QStringLiteral("-q"), QStringLiteral("-d"),
                                      tmp.filePath(QStringLiteral("theirs")), fixture(QStringLiteral("set1.cab"))});
        QCOMPARE(r.exitCode, 0);
        for (const char *n : {"part-a.bin", "part-b.txt"}) {
            const QByteArray theirs = readFile(tmp.filePath(QStringLiteral("theirs/") + QLatin1String(n)));
            QVERIFY(theirs.size() > 40);
            QCOMPARE(readFile(tmp.filePath(QStringLiteral("ours/") + QLatin1String(n))), theirs);
        }
        // One cabinet only: the member running on into the second part cannot be finished.
        TSTCabReader single;
        QCOMPARE(cabError([&] {
                     single.Extract(tmp.filePath(QStringLiteral("set1.cab")), tmp.filePath(QStringLiteral("one")),
                                    true);
                 }),
                 QStringLiteral("Cabinet not found [0x0001]"));
    }

    void setWithMissingPartOrStartingInTheMiddle()
    {
        QTemporaryDir tmp;
        QFile::copy(fixture(QStringLiteral("set1.cab")), tmp.filePath(QStringLiteral("set1.cab")));
        TSTCabReader reader;
        const QString msg = cabError(
            [&] { reader.Extract(tmp.filePath(QStringLiteral("set1.cab")), tmp.filePath(QStringLiteral("o"))); });
        QVERIFY2(msg.startsWith(QStringLiteral("Cabinet not found [0x0001]")), qPrintable(msg));
        QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("o/part-a.bin"))));

        // Started at the second part, members begun in the first are reported, not written.
        QStringList partial;
        TSTCabReader second;
        second.OnCopyPartialFile = [&](TSTCabReader &, const TSTCabMember &m, const QString &start, const QString &,
                                       const QString &, bool &) { partial << m.Name + u'<' + start; };
        second.Extract(fixture(QStringLiteral("set2.cab")), tmp.filePath(QStringLiteral("p")));
        QVERIFY(partial.contains(QStringLiteral("part-a.bin<set1.cab")));
        QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("p/part-a.bin"))));
    }

    void failureMessages()
    {
        QTemporaryDir tmp;
        TSTCabReader reader;
        const QString dest = tmp.filePath(QStringLiteral("dest"));

        QCOMPARE(cabError([&] { reader.Extract(tmp.filePath(QStringLiteral("missing.cab")), dest); }),
                 QStringLiteral("Cabinet not found [0x0001].\r\n") + sysText(ENOENT) + QStringLiteral(" [0x0002]."));

        writeFile(tmp.filePath(QStringLiteral("text.cab")),
                  QByteArray("This is not a cabinet at all.\r\n").repeated(9));
        QCOMPARE(cabError([&] { reader.Extract(tmp.filePath(QStringLiteral("text.cab")), dest); }),
                 QStringLiteral("Cabinet file does not have the correct format [0x0002]"));
        writeFile(tmp.filePath(QStringLiteral("short.cab")), "MSCF\0\0");
        QCOMPARE(cabError([&] { reader.List(tmp.filePath(QStringLiteral("short.cab"))); }),
                 QStringLiteral("Cabinet file does not have the correct format [0x0002]"));

        QTemporaryDir w;
        QByteArray text;
        for (int i = 0; i < 20000; ++i)
            text += QByteArray::number(i * 7919 % 100003) + ' ';
        writeFile(w.filePath(QStringLiteral("big.txt")), text);
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(w.filePath(QStringLiteral("sum.cab")));
        cab.AddFile(w.filePath(QStringLiteral("big.txt")), QStringLiteral("big.txt"));
        cab.Close(true);
        const QByteArray good = readFile(w.filePath(QStringLiteral("sum.cab")));

        // A cabinet cut off inside its data.
        writeFile(tmp.filePath(QStringLiteral("cut.cab")), good.left(good.size() / 2));
        QCOMPARE(cabError([&] { reader.Extract(tmp.filePath(QStringLiteral("cut.cab")), dest); }),
                 QStringLiteral("Cabinet file is corrupt [0x0004]"));

        // Damaged data under a block checksum.
        QByteArray damaged = good;
        damaged[damaged.size() - 40] = char(damaged.at(damaged.size() - 40) ^ 0x55);
        writeFile(tmp.filePath(QStringLiteral("damaged.cab")), damaged);
        QCOMPARE(cabError([&] { reader.ExtractToMemory(tmp.filePath(QStringLiteral("damaged.cab"))); }),
                 QStringLiteral("Cabinet file is corrupt [0x0004]"));
        QVERIFY(!QFileInfo::exists(dest + QStringLiteral("/big.txt")));
    }

    void hostileCabinetsFailCleanly_data()
    {
        QTest::addColumn<QString>("cab");
        for (const char *n : {"quantum-CVE-2014-9556.cab", "mszip-CVE-2015-4470.cab", "mszip-CVE-2014-9732.cab",
                              "header-CVE-2015-4471.cab"})
            QTest::newRow(n) << QStringLiteral("hostile/") + QLatin1String(n);
    }

    void hostileCabinetsFailCleanly()
    {
        QFETCH(QString, cab);
        QTemporaryDir tmp;
        TSTCabReader reader;
        QVERIFY(cabError([&] { reader.Extract(fixture(cab), tmp.path()); }).contains(QStringLiteral("[0x000")));
        QVERIFY(cabError([&] { reader.ExtractToMemory(fixture(cab)); }).contains(QStringLiteral("[0x000")));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void unsafeMemberNamesAreNeverWritten_data()
    {
        QTest::addColumn<QString>("cab");
        QTest::addColumn<QString>("name");
        QTest::newRow("folder part") << QStringLiteral("folder-member.cab") << QStringLiteral("sub\\alpha.txt");
        QTest::newRow("dot dot") << QStringLiteral("dotdot-member.cab") << QStringLiteral("..\\evil.txt");
        QTest::newRow("rooted") << QStringLiteral("rooted-member.cab") << QStringLiteral("\\root.txt");
        QTest::newRow("safe then unsafe") << QStringLiteral("mixed-member.cab") << QStringLiteral("..\\evil.txt");
    }

    void unsafeMemberNamesAreNeverWritten()
    {
        QFETCH(QString, cab);
        QFETCH(QString, name);
        QTemporaryDir tmp;
        const QString dest = tmp.filePath(QStringLiteral("a/b"));
        QDir().mkpath(dest);
        TSTCabReader reader;
        try {
            reader.Extract(fixture(cab), dest);
            QFAIL("extracted an unsafe name");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(u'"' + name + u'"'), qPrintable(e.message()));
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(tmp.path() + QStringLiteral("/a")).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!TSTCabReader::isSafeMemberName(QStringLiteral("..")));
        QVERIFY(!TSTCabReader::isSafeMemberName(QStringLiteral("C:x.txt")));
        QVERIFY(!TSTCabReader::isSafeMemberName(QStringLiteral("a/b")));
        QVERIFY(TSTCabReader::isSafeMemberName(QStringLiteral("..dat")));
    }

    void memoryExtractionIsBounded()
    {
        TSTCabReader reader;
        const auto only = reader.ExtractToMemory(fixture(QStringLiteral("gcab-mszip.cab")),
                                                 [](const QString &n) { return n == QLatin1String("beta.txt"); });
        QCOMPARE(only.size(), size_t(1));
        QCOMPARE(only[0].Data, readFile(fixture(QStringLiteral("src/beta.txt"))));
        QCOMPARE(cabError([&] { reader.ExtractToMemory(fixture(QStringLiteral("gcab-mszip.cab")), {}, 20); }),
                 QStringLiteral("Could not allocate enough memory [0x0005]"));
    }
};

QTEST_GUILESS_MAIN(TestCabinet)
#include "tst_cabinet.moc"
