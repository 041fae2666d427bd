#include "CabTestUtil.h"

#include "cabinet/MsZipCabinet.h"
#include "cabinet/TSTCabReader.h"
#include "cabinet/TSTCabWriter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace CabTestUtil;

// The cabinet built on several threads must be the library's cabinet, byte for byte: members
// that cut data blocks anywhere, empty ones, text and noise, dates the format must pin.
class TestMsZipCabinet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

    QByteArray libraryCabinet(const std::vector<MsZipCabinet::Member> &members)
    {
        const QString path = m_tmp.filePath(u"library.cab"_s);
        TSTCabWriter cab;
        cab.CompressionType = cctMsZip;
        cab.Open(path);
        for (const auto &m : members)
            cab.AddBytes(m.data.toByteArray(), m.name, m.modified, m.attributes);
        cab.Close(true);
        return readFile(path);
    }

    static QByteArray text(qsizetype n, int seed)
    {
        QByteArray t;
        for (int i = 0; t.size() < n; ++i)
            t += "Track " + QByteArray::number(i * seed % 977) + ".mp3\r\n\\MUSIC\\ALBUM " +
                 QByteArray::number(i / 50 + seed) + "\\\r\n" + QByteArray::number(i * 7919) + "\r\n-\r\n";
        return t.left(n);
    }

    static QByteArray noise(qsizetype n)
    {
        QByteArray b(n, Qt::Uninitialized);
        QRandomGenerator random(42);
        for (char &c : b)
            c = char(random.generate());
        return b;
    }

private Q_SLOTS:
    void initTestCase() { useBerlinTime(); }

    void sameBytesAsTheLibrary_data()
    {
        QTest::addColumn<QList<QByteArray>>("contents");
        QTest::newRow("two lists") << QList<QByteArray>{text(5000, 3), text(300000, 5)};
        QTest::newRow("block sized") << QList<QByteArray>{text(32768, 1), text(32769, 2), text(100, 3)};
        QTest::newRow("empty first and last") << QList<QByteArray>{QByteArray(), text(70000, 4), QByteArray()};
        QTest::newRow("many small") << [] {
            QList<QByteArray> l;
            for (int i = 0; i < 40; ++i)
                l << text(i * 997 + 100, i + 1);
            return l;
        }();
        // Blocks that do not compress are stored.
        QTest::newRow("one byte") << QList<QByteArray>{QByteArray("x")};
        QTest::newRow("noise across blocks") << QList<QByteArray>{noise(40000), text(10, 1), noise(100000)};
    }

    void sameBytesAsTheLibrary()
    {
        QFETCH(QList<QByteArray>, contents);
        const QDateTime dates[] = {QDateTime(QDate(2021, 7, 4), QTime(5, 6, 9)), // summer, odd second
                                   QDateTime(QDate(2019, 11, 30), QTime(23, 58, 0)),
                                   QDateTime(QDate(1975, 5, 5), QTime(1, 2, 3)), // before the format's years
                                   QDateTime(QDate(2200, 1, 1), QTime(0, 0, 0))};
        std::vector<MsZipCabinet::Member> members;
        for (qsizetype i = 0; i < contents.size(); ++i)
            members.push_back({u"M%1.file"_s.arg(i), contents[i], dates[i % 4], i % 3 == 2 ? 0x21u : 0x20u});
        QVERIFY(MsZipCabinet::canBuild(members));
        const QByteArray expected = libraryCabinet(members);
        for (const int threads : {1, 2, 5})
            QCOMPARE(MsZipCabinet::build(members, threads), expected);

        // And it reads back.
        const QString path = m_tmp.filePath(u"new folder/ours.cab"_s);
        QDir(m_tmp.filePath(u"new folder"_s)).removeRecursively();
        MsZipCabinet::write(path, members, 2);
        const QByteArray written = readFile(path);
        // Dates and all, apart from what the library takes from the moment it writes.
        QCOMPARE(written.size(), expected.size());
        QCOMPARE(written, expected);
        TSTCabReader reader;
        const auto blobs = reader.ExtractToMemory(path);
        QCOMPARE(qsizetype(blobs.size()), contents.size());
        for (qsizetype i = 0; i < contents.size(); ++i)
            QCOMPARE(blobs[size_t(i)].Data, contents[i]);
    }

    void leftToTheLibrary()
    {
        QVERIFY(!MsZipCabinet::canBuild({}));
        QVERIFY(!MsZipCabinet::canBuild({{u"empty"_s, QByteArrayView(), QDateTime(), 0x20}}));
        QVERIFY(!MsZipCabinet::canBuild({{u"Müsik.file"_s, "x", QDateTime(), 0x20}}));
    }
};

QTEST_GUILESS_MAIN(TestMsZipCabinet)
#include "tst_mszipcabinet.moc"
