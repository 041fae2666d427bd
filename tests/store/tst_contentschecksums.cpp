#include "CabTestUtil.h"

#include "store/ContentsChecksums.h"
#include "store/ContentsFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CabTestUtil;
using namespace Qt::StringLiterals;

// The ".sum" member: its line rules, and how it travels in the contents file beside the lists.
class TestContentsChecksums : public QObject
{
    Q_OBJECT

    static constexpr char A[] = "b5e9c1ad071b3e7fc779cfaa5e523818"; // "hello", as xxhsum -H2 gives it
    static constexpr char B[] = "0123456789abcdef0123456789abcdef";
    const QString serial = u"1A2B3C4D"_s;
    // Two files, the second a ZIP archive with one entry: three records.
    const QByteArray fileList = "a.txt\r\n\\\r\n5\r\n01.02.2003 04:05:06\r\n-\r\n"
                                "p.zip\r\n\\\r\n9\r\n01.02.2003 04:05:06\r\nCompressed folder\r\n-\r\n"
                                "e.txt\r\n\\p.zip\\\r\n1\r\n01.02.2003 04:05:06\r\nPath: \\\r\n-\r\n";

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void parse_data()
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
    void parse()
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

    // What the writer makes reads back, and the digits are those of the hash's canonical form.
    void writtenLinesReadBack()
    {
        const XXH128_hash_t hello = XXH3_128bits("hello", 5);
        QByteArray out;
        ContentsChecksums::appendLine(out, &hello);
        ContentsChecksums::appendLine(out, nullptr);
        QCOMPARE(out, QByteArray(A) + "\r\n\r\n");
        const ContentsChecksums sums = ContentsChecksums::parse(out, 2);
        QVERIFY(XXH128_isEqual(sums.value(0), hello));
    }

    // With checksums the cabinet gains a third member after the two lists, which stay as they
    // were; without, it holds the two lists alone (a disc scanned as before packs as before),
    // and a member that does not line up is read as none, with the reason and the file named.
    void theMemberTravelsWithTheLists()
    {
        QTemporaryDir tmp;
        const QString d = tmp.filePath(u"DB/"_s);
        const QString dat = d + serial + u".dat"_s;
        const QByteArray sum = QByteArray(A) + "\r\n\r\n\r\n";

        ContentsFile::packBytes(d, serial, ContentsFile::Lists{"", fileList, sum});
        QVERIFY(cabextractAccepts(dat));
        QCOMPARE(cabextractNames(dat), (QStringList{serial + u".dir"_s, serial + u".file"_s, serial + u".sum"_s}));
        QCOMPARE(ContentsFile::read(d, serial).checksumList, sum);
        ContentsFile::Parsed parsed = ContentsFile::load(d, serial);
        QCOMPARE(parsed.files.recordCount(), 3);
        QCOMPARE(parsed.checksums.hex(0), QByteArrayView(A));
        QVERIFY(!parsed.checksums.has(2));
        QVERIFY(parsed.checksumProblem.isEmpty());

        // The scanner's loose lists, packed: the checksum list goes in when it has lines.
        for (const QByteArray &loose : {QByteArray(), sum}) {
            writeFile(ContentsFile::folderListName(d, serial), QByteArray());
            writeFile(ContentsFile::fileListName(d, serial), fileList);
            writeFile(ContentsFile::checksumListName(d, serial), loose);
            ContentsFile::pack(d, serial);
            QCOMPARE(QDir(d).entryList(QDir::Files), QStringList{serial + u".dat"_s});
            QCOMPARE(cabextractNames(dat).size(), loose.isEmpty() ? 2 : 3);
            QCOMPARE(ContentsFile::read(d, serial).checksumList, loose);
        }
        QVERIFY(ContentsFile::isUnpackedList(serial + u".sum"_s));

        ContentsFile::packBytes(d, serial, ContentsFile::Lists{"", fileList, QByteArray(A) + "\r\n"});
        parsed = ContentsFile::load(d, serial);
        QVERIFY(parsed.checksums.isEmpty());
        QCOMPARE(parsed.files.recordCount(), 3);
        QCOMPARE(parsed.checksumProblem, u"\"%1\": The checksums are ignored: 1 line for a file list of 3 entries."_s.arg(
                                             QDir::toNativeSeparators(dat)));
    }
};

QTEST_GUILESS_MAIN(TestContentsChecksums)
#include "tst_contentschecksums.moc"
