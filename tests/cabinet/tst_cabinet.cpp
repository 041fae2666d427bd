#include "CabTestUtil.h"
#include "FileSizeLimit.h"

#include "cabinet/ESTCabinet.h"
#include "cabinet/TSTCabReader.h"
#include "cabinet/TSTCabWriter.h"
#include "core/QuilloryError.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <optional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace CabTestUtil;

class TestCabinet : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString sysText(int code) { return QString::fromLocal8Bit(strerror(code)); }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("TZ", "Europe/Berlin"); // daylight saving: local and UTC times differ
        tzset();
    }

    void twoFilesRoundTripWithDatesAndAttributes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("memoryBudget");
        QTest::newRow("MSZIP") << int(cctMsZip) << (qint64(1) << 20);
        QTest::newRow("stored") << int(cctNone) << (qint64(1) << 20);
        QTest::newRow("read at the write") << int(cctMsZip) << qint64(0);
    }

    // Two members written and read back, from files read at once or at the write: names, dates,
    // the read-only attribute, the bytes.
    // Extraction goes over older files, longer or read-only, unless told to keep read-only ones;
    // through save files, or straight into a scratch folder (date and mode set on the open file).
    void twoFilesRoundTripWithDatesAndAttributes()
    {
        QFETCH(int, type);
        QFETCH(qint64, memoryBudget);
        QTemporaryDir tmp;
        const QString src = tmp.filePath(u"src/"_s);
        // Summer time in Berlin: a UTC/local mix-up shows as a two-hour shift.
        const QDateTime summer(QDate(2021, 7, 4), QTime(5, 6, 8));
        const QDateTime winter(QDate(2019, 11, 30), QTime(23, 58, 1)); // odd second: DOS keeps two-second steps
        const QByteArray a = QByteArray("alpha line\r\n").repeated(5000);
        writeFile(src + u"A.txt"_s, a, summer);
        writeFile(src + u"b.txt"_s, "beta\r\n", winter);
        QFile::setPermissions(src + u"b.txt"_s, QFileDevice::ReadOwner | QFileDevice::ReadUser);

        const QString cabName = tmp.filePath(u"out/two.cab"_s);
        {
            TSTCabWriter cab;
            cab.CompressionType = static_cast<TSTCabCompressionType>(type);
            cab.MemoryBudget = memoryBudget;
            cab.Open(cabName);
            cab.AddFiles(src + u"*.TXT"_s);
            cab.Close(true);
        }
        QVERIFY(cabextractAccepts(cabName));
        QCOMPARE(cabextractNames(cabName), (QStringList{u"A.txt"_s, u"b.txt"_s}));
        QCOMPARE(int(readFile(cabName).at(0x2A)), type == cctMsZip ? 1 : 0); // the folder's compression

        TSTCabReader reader;
        const auto members = reader.List(cabName);
        const QDateTime evenWinter(QDate(2019, 11, 30), QTime(23, 58, 0));
        QCOMPARE(members.size(), size_t(2));
        QCOMPARE(members[0].Modified, summer);
        QCOMPARE(members[1].Modified, evenWinter);
        QCOMPARE(members[0].Attributes & (TSTCabWriter::ReadOnly | TSTCabWriter::Archive), TSTCabWriter::Archive);
        QVERIFY(members[1].Attributes & TSTCabWriter::ReadOnly);

        const QString dest = tmp.filePath(u"dest/"_s);
        writeFile(dest + u"A.txt"_s, QByteArray("a much longer old file ").repeated(1000));
        writeFile(dest + u"b.txt"_s, "read-only old text");
        QFile::setPermissions(dest + u"b.txt"_s, QFileDevice::ReadOwner);
        TSTCabReader keep;
        keep.Options = croDontOverwriteReadOnlyFiles;
        keep.Extract(cabName, dest);
        QCOMPARE(readFile(dest + u"b.txt"_s), QByteArray("read-only old text"));
        for (const bool durable : {false, true}) {
            TSTCabReader over;
            over.DurableWrites = durable;
            over.Extract(cabName, dest);
            QCOMPARE(snapshot(dest), (QMap<QString, QByteArray>{{u"A.txt"_s, a}, {u"b.txt"_s, "beta\r\n"}}));
            QCOMPARE(QFileInfo(dest + u"A.txt"_s).lastModified(), summer);
            QCOMPARE(QFileInfo(dest + u"b.txt"_s).lastModified(), evenWinter);
            QVERIFY(QFileInfo(dest + u"A.txt"_s).permissions() & QFileDevice::WriteOwner);
            QVERIFY(!(QFileInfo(dest + u"b.txt"_s).permissions() & QFileDevice::WriteOwner));
        }
    }

    // Named through a link, the cabinet replaces the file the link names, and the link stays;
    // a disk that refuses it part way (a file size limit, as a full disk would) fails the write
    // with the system's reason. Until the cabinet is whole the older file is, and no partial
    // file is left.
    void cabinetReplacesTheOlderFileOnlyWhenWhole()
    {
        QTemporaryDir tmp;
        const QString real = tmp.filePath(u"real.cab"_s), cabName = tmp.filePath(u"c.cab"_s);
        const QByteArray older("an older cabinet");
        writeFile(real, older);
        QVERIFY(QFile::link(real, cabName));
        QByteArray noise(400000, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        writeFile(tmp.filePath(u"m.bin"_s), noise); // does not compress: the cabinet outgrows the limit
        for (const bool full : {true, false}) {
            TSTCabWriter cab;
            cab.CompressionType = cctMsZip;
            cab.Open(cabName);
            cab.AddFile(tmp.filePath(u"m.bin"_s), u"m.bin"_s);
            QCOMPARE(readFile(cabName), older);
            int code = 0, sys = 0;
            {
                std::optional<FileSizeLimit> limit;
                if (full)
                    limit.emplace(100000);
                try {
                    cab.Close(true);
                } catch (const ESTCabinet &e) {
                    code = e.operationCode();
                    sys = e.systemErrorCode();
                }
            }
            QCOMPARE(code, full ? int(ESTCabinet::FciCabFileCreate) : 0);
            QCOMPARE(sys, full ? EFBIG : 0);
            QVERIFY(QFileInfo(cabName).isSymLink());
            QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
        }
        QCOMPARE(cabextractNames(real), QStringList{u"m.bin"_s});
    }

    // What the writer refuses (LZX, the default type; a file that is not there; a listing of a
    // folder that is not there, unlike a mask matching nothing) leaves the cabinet open.
    void writerRefusalsLeaveTheCabinetOpen()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath(u"only.txt"_s), "x");
        writeFile(tmp.filePath(u"README"_s), "r");
        TSTCabWriter cab;
        cab.Open(tmp.filePath(u"m.cab"_s));
        QCOMPARE(refusal([&] { cab.AddFile(tmp.filePath(u"only.txt"_s), u"only.txt"_s); }),
                 u"Unknown compression type [0x0005]"_s);
        cab.CompressionType = cctMsZip;
        QCOMPARE(refusal([&] { cab.AddFile(tmp.filePath(u"gone.txt"_s), u"g"_s); }),
                 u"Failure opening file to be stored in cabinet [0x0001].\r\n"_s + sysText(ENOENT) + u" [0x0002]."_s);
        cab.AddFiles(tmp.filePath(u"12345678.*"_s));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, cab.AddFiles(tmp.filePath(u"nope/*.*"_s)));
        QVERIFY(cab.isOpen());
        cab.AddFiles(tmp.filePath(u"o?ly.*"_s));
        cab.AddFiles(tmp.filePath(u"readme.*"_s)); // a closing ".*" takes a name without extension too
        cab.Close(true);
        QCOMPARE(cabextractNames(tmp.filePath(u"m.cab"_s)), (QStringList{u"only.txt"_s, u"README"_s}));
    }

    // Cabinets of other tools, every compression the format has (MSZIP, LZX, Quantum), several
    // folders and sets of two and five parts, extracted as cabextract extracts them (bytes and
    // dates), and into memory alike. The parts of a set sit under the names they announce for
    // each other, looked up without regard to case.
    void extractsAsCabextractDoes_data()
    {
        QTest::addColumn<QStringList>("parts"); // fixtures copied beside each other, the first read
        QTest::addColumn<QStringList>("namedAs");
        QTest::newRow("gcab MSZIP") << QStringList{u"gcab-mszip.cab"_s} << QStringList{u"a.cab"_s};
        QTest::newRow("gcab stored") << QStringList{u"gcab-stored.cab"_s} << QStringList{u"a.cab"_s};
        QTest::newRow("reserved header") << QStringList{u"reserved-header.cab"_s} << QStringList{u"a.cab"_s};
        QTest::newRow("MSZIP, LZX, Quantum")
            << QStringList{u"libmspack/mszip_lzx_qtm.cab"_s} << QStringList{u"a.cab"_s};
        QTest::newRow("two folders") << QStringList{u"libmspack/normal_2files_2folders.cab"_s}
                                     << QStringList{u"a.cab"_s};
        QTest::newRow("two parts") << QStringList{u"set1.cab"_s, u"set2.cab"_s}
                                   << QStringList{u"set1.cab"_s, u"SET2.CAB"_s};
        QStringList five, fiveNames;
        for (int i = 1; i <= 5; ++i) {
            fiveNames << u"cabd_multi_basic_pt%1.cab"_s.arg(i);
            five << u"libmspack/"_s + fiveNames.last();
        }
        QTest::newRow("five parts") << five << fiveNames;
    }

    void extractsAsCabextractDoes()
    {
        QFETCH(QStringList, parts);
        QFETCH(QStringList, namedAs);
        QTemporaryDir tmp;
        QVERIFY(QDir().mkpath(tmp.filePath(u"in"_s)));
        for (int i = 0; i < parts.size(); ++i)
            QVERIFY(QFile::copy(fixture(parts[i]), tmp.filePath(u"in/"_s + namedAs[i])));
        const QString first = tmp.filePath(u"in/"_s + namedAs.first());
        TSTCabReader reader;
        reader.Extract(first, tmp.filePath(u"ours"_s));
        const QStringList args{u"-q"_s, u"-d"_s, tmp.filePath(u"theirs"_s), fixture(parts.first())};
        QCOMPARE(runProgram(u"cabextract"_s, args).code, 0);
        const QStringList names = QDir(tmp.filePath(u"theirs"_s)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QVERIFY(names.size() >= 2);
        QCOMPARE(QDir(tmp.filePath(u"ours"_s)).entryList(QDir::Files | QDir::Hidden, QDir::Name), names);
        for (const QString &n : names) {
            const QFileInfo ours(tmp.filePath(u"ours/"_s + n)), theirs(tmp.filePath(u"theirs/"_s + n));
            QCOMPARE(readFile(ours.filePath()), readFile(theirs.filePath()));
            QCOMPARE(ours.lastModified(), theirs.lastModified());
        }
        for (const TSTCabBlob &b : reader.ExtractToMemory(first))
            QCOMPARE(b.Data, readFile(tmp.filePath(u"ours/"_s + b.Member.Name)));
    }

    // A part of a set that is missing (or not asked for) fails the member running on into it;
    // a set read from its second part reports what began before, unwritten.
    void setsAndTheirMissingParts()
    {
        QTemporaryDir tmp;
        QFile::copy(fixture(u"set1.cab"_s), tmp.filePath(u"set1.cab"_s));
        TSTCabReader reader;
        const QString msg = refusal([&] { reader.Extract(tmp.filePath(u"set1.cab"_s), tmp.filePath(u"o"_s)); });
        QVERIFY2(msg.startsWith(u"Cabinet not found [0x0001]"_s), qPrintable(msg));
        QVERIFY(!QFileInfo::exists(tmp.filePath(u"o/part-a.bin"_s)));

        QFile::copy(fixture(u"set2.cab"_s), tmp.filePath(u"set2.cab"_s));
        TSTCabReader single;
        QCOMPARE(refusal([&] { single.Extract(tmp.filePath(u"set1.cab"_s), tmp.filePath(u"one"_s), true); }),
                 u"Cabinet not found [0x0001]"_s);

        QStringList partial;
        TSTCabReader second;
        second.OnCopyPartialFile = [&](TSTCabReader &, const TSTCabMember &m, const QString &start, const QString &,
                                       const QString &, bool &) { partial << m.Name + u'<' + start; };
        second.Extract(fixture(u"set2.cab"_s), tmp.filePath(u"p"_s));
        QVERIFY(partial.contains(u"part-a.bin<set1.cab"_s));
        QVERIFY(!QFileInfo::exists(tmp.filePath(u"p/part-a.bin"_s)));
    }

    // A set is followed only through regular files beside the cabinet that names them, each
    // once: anything else is refused with a message before a byte is written, and nothing
    // waits on a FIFO. Beside the first cabinet lies a real "next.cab" (a loose one, or one
    // naming the first again), which a name leaving the folder must not reach either. A cabinet
    // naming itself ends its set: it reads as it does alone.
    void hostileSetsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("next"); // as the first cabinet's header names it
        QTest::addColumn<QString>("make");    // what lies at "next.cab": cab, loop, fifo, folder, device
        QTest::addColumn<QString>("why");
        const QString notBeside = u"which is not a file beside it"_s;
        const QString notRegular = u"is not a regular file"_s;
        const QString loops = u"which came earlier in the set"_s;
        QTest::newRow("fifo") << "next.cab"_ba << u"fifo"_s << notRegular;
        QTest::newRow("fifo, in another case") << "NEXT.CAB"_ba << u"fifo"_s << notRegular;
        QTest::newRow("device") << "next.cab"_ba << u"device"_s << notRegular;
        QTest::newRow("folder") << "next.cab"_ba << u"folder"_s << notRegular;
        QTest::newRow("itself") << "first.cab"_ba << u"cab"_s << QString();
        QTest::newRow("itself, in another case") << "FIRST.CAB"_ba << u"cab"_s << QString();
        QTest::newRow("loop") << "next.cab"_ba << u"loop"_s << loops;
        QTest::newRow("loop, in another case") << "NEXT.CAB"_ba << u"loop"_s << loops;
        QTest::newRow("parent") << "../next.cab"_ba << u"cab"_s << notBeside;
        QTest::newRow("absolute") << "/next.cab"_ba << u"cab"_s << notBeside;
        QTest::newRow("folder part") << "sub/next.cab"_ba << u"cab"_s << notBeside;
        QTest::newRow("backslash") << "sub\\next.cab"_ba << u"cab"_s << notBeside;
        QTest::newRow("dot dot") << ".."_ba << u"cab"_s << notBeside;
        QTest::newRow("drive") << "C:next.cab"_ba << u"cab"_s << notBeside;
    }

    void hostileSetsAreRefused()
    {
        QFETCH(QByteArray, next);
        QFETCH(QString, make);
        QFETCH(QString, why);
        QTemporaryDir tmp;
        const QByteArray loose = readFile(fixture(u"gcab-stored.cab"_s));
        const QByteArray first = withNextCabinet(loose, next);
        QVERIFY(!first.isEmpty());
        writeFile(tmp.filePath(u"set/first.cab"_s), first);
        const QString at = tmp.filePath(u"set/next.cab"_s);
        if (make == u"cab")
            writeFile(at, loose);
        else if (make == u"loop")
            writeFile(at, withNextCabinet(loose, "FIRST.cab"));
        else if (make == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(at).constData(), 0600), 0);
        else if (make == u"folder")
            QVERIFY(QDir().mkpath(at));
        else
            QVERIFY(QFile::link(u"/dev/zero"_s, at));
        for (const QString &elsewhere : {u"next.cab"_s, u"set/sub/next.cab"_s})
            writeFile(tmp.filePath(elsewhere), loose);

        TSTCabReader reader;
        if (why.isEmpty()) {
            QCOMPARE(reader.List(tmp.filePath(u"set/first.cab"_s)).size(),
                     reader.List(fixture(u"gcab-stored.cab"_s)).size());
            return;
        }
        const QString out = tmp.filePath(u"out"_s);
        const QString extracting = refusal([&] { reader.Extract(tmp.filePath(u"set/first.cab"_s), out); });
        const QString listing = refusal([&] { reader.List(tmp.filePath(u"set/first.cab"_s)); });
        QVERIFY2(extracting.contains(why) && listing.contains(why), qPrintable(extracting + u'\n' + listing));
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        // Read alone, the first cabinet is whole.
        QCOMPARE(reader.List(tmp.filePath(u"set/first.cab"_s), true).size(),
                 reader.List(fixture(u"gcab-stored.cab"_s)).size());
    }

    void failureMessages_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<bool>("toMemory");
        QTest::addColumn<QString>("message");
        // A cabinet of one MSZIP member that needs several data blocks.
        QByteArray text;
        for (int i = 0; i < 20000; ++i)
            text += QByteArray::number(i * 7919 % 100003) + ' ';
        writeFile(m_tmp.filePath(u"big.txt"_s), text);
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(m_tmp.filePath(u"sum.cab"_s));
        cab.AddFile(m_tmp.filePath(u"big.txt"_s), u"big.txt"_s);
        cab.Close(true);
        const QByteArray good = readFile(m_tmp.filePath(u"sum.cab"_s));
        QByteArray damaged = good; // under a block checksum
        damaged[damaged.size() - 40] = char(damaged.at(damaged.size() - 40) ^ 0x55);

        const QString format = u"Cabinet file does not have the correct format [0x0002]"_s;
        QTest::newRow("missing") << QByteArray() << false
                                 << u"Cabinet not found [0x0001].\r\n"_s + sysText(ENOENT) + u" [0x0002]."_s;
        QTest::newRow("text") << QByteArray("This is not a cabinet at all.\r\n").repeated(9) << false << format;
        QTest::newRow("short header") << QByteArray("MSCF\0\0", 6) << true << format;
        QTest::newRow("cut inside its data")
            << good.left(good.size() / 2) << false << u"Cabinet file is corrupt [0x0004]"_s;
        QTest::newRow("damaged data") << damaged << true << u"Cabinet file is corrupt [0x0004]"_s;
        // Members named to land outside the target folder: refused before the first is written.
        const auto unsafe = [](const char *row, const QString &cab, const QString &name) {
            QTest::newRow(row) << readFile(fixture(cab)) << false
                               << u"The archive \"bad.cab\" holds a member named \"%1\". Names with a folder, \"..\" "
                                  u"or an absolute path are not extracted; nothing was extracted."_s.arg(name);
        };
        unsafe("name with a folder", u"folder-member.cab"_s, u"sub\\alpha.txt"_s);
        unsafe("name with dot dot", u"dotdot-member.cab"_s, u"..\\evil.txt"_s);
        unsafe("rooted name", u"rooted-member.cab"_s, u"\\root.txt"_s);
        unsafe("safe name, then unsafe", u"mixed-member.cab"_s, u"..\\evil.txt"_s);
    }

    void failureMessages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, toMemory);
        QFETCH(QString, message);
        // Written through save files, or straight into a scratch folder: a member that fails
        // leaves nothing behind either way, in the target folder or above it.
        for (const bool durable : {true, false}) {
            QTemporaryDir tmp;
            const QString cab = tmp.filePath(u"in/bad.cab"_s), dest = tmp.filePath(u"a/b"_s);
            if (!bytes.isNull())
                writeFile(cab, bytes);
            QVERIFY(QDir().mkpath(dest));
            TSTCabReader reader;
            reader.DurableWrites = durable;
            QString why = toMemory ? refusal([&] { reader.ExtractToMemory(cab); })
                                   : refusal([&] { reader.Extract(cab, dest); });
            QCOMPARE(why.replace(QDir::toNativeSeparators(cab), u"bad.cab"_s), message);
            QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden) +
                         QDir(tmp.filePath(u"a"_s)).entryList(QDir::Files | QDir::Hidden) +
                         QDir(dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList());
        }
    }

    // Cabinets that crashed or misled decoders before (the CVE fixtures, which must fail), and
    // the cabinet library's own damaged and malicious ones: a failure is an ESTCabinet, and
    // nothing is written beside the target folder.
    void hostileCabinetsFailCleanly_data()
    {
        QTest::addColumn<QString>("cab");
        QTest::addColumn<bool>("mustFail");
        for (const QString &folder : {u"hostile"_s, u"libmspack/hostile"_s}) {
            const QStringList cabs = QDir(fixture(folder)).entryList({u"*.cab"_s}, QDir::Files, QDir::Name);
            QVERIFY(cabs.size() >= 4);
            for (const QString &n : cabs)
                QTest::addRow("%s", qPrintable(folder + u'/' + n)) << folder + u'/' + n << (folder == u"hostile"_s);
        }
    }

    void hostileCabinetsFailCleanly()
    {
        QFETCH(QString, cab);
        QFETCH(bool, mustFail);
        QTemporaryDir tmp;
        const QString target = tmp.filePath(u"out"_s);
        QDir().mkpath(target);
        TSTCabReader reader;
        for (const bool toMemory : {false, true}) {
            try {
                if (toMemory)
                    reader.ExtractToMemory(fixture(cab), {}, qint64(64) << 20);
                else
                    reader.Extract(fixture(cab), target);
                QVERIFY(!mustFail);
            } catch (const ESTCabinet &e) {
                QVERIFY(e.message().contains(u"[0x000"_s));
            }
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void memoryExtractionIsBounded()
    {
        // Names no fixture holds: a drive, a forward slash; a name that only starts with dots is safe.
        QVERIFY(!TSTCabReader::isSafeMemberName(u"C:x.txt"_s));
        QVERIFY(!TSTCabReader::isSafeMemberName(u"a/b"_s));
        QVERIFY(TSTCabReader::isSafeMemberName(u"..dat"_s));
        TSTCabReader reader;
        const auto only = reader.ExtractToMemory(fixture(u"gcab-mszip.cab"_s),
                                                 [](const TSTCabMember &m) { return m.Name == u"beta.txt"_s; });
        QCOMPARE(only.size(), size_t(1));
        QCOMPARE(only[0].Data, readFile(fixture(u"src/beta.txt"_s)));
        QCOMPARE(refusal([&] { reader.ExtractToMemory(fixture(u"gcab-mszip.cab"_s), {}, 20); }),
                 u"Could not allocate enough memory [0x0005]"_s);
    }
};

QTEST_GUILESS_MAIN(TestCabinet)
#include "tst_cabinet.moc"
