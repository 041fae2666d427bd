// Fields read one after another from a block, in both byte orders, and what a field that
// reaches outside the block reads as: the readers of media, volumes and archives are fed
// truncated and hostile bytes and must neither read outside the block nor stop.
#include "core/ByteReader.h"

#include <QtTest>

class TestByteReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<QByteArray>("fields"); // one letter a field: b u8, l leU16, L leU32, q leU64, m beU16, M beU32
        QTest::addColumn<QList<quint64>>("values");
        QTest::addColumn<bool>("ranOut");
        const QByteArray bytes = QByteArray::fromHex("0102030405060708090A");
        QTest::newRow("each width, little-endian")
            << bytes << qint64(0) << QByteArray("blL") << QList<quint64>{0x01, 0x0302, 0x07060504} << false;
        QTest::newRow("each width, big-endian")
            << bytes << qint64(1) << QByteArray("mM") << QList<quint64>{0x0203, 0x04050607} << false;
        QTest::newRow("64 bits") << bytes << qint64(2) << QByteArray("q") << QList<quint64>{0x0A09080706050403}
                                 << false;
        QTest::newRow("the last byte") << bytes << qint64(9) << QByteArray("b") << QList<quint64>{0x0A} << false;
        // A field cut off by the end keeps the bytes there and reads the rest as 0.
        QTest::newRow("cut little-endian") << bytes << qint64(8) << QByteArray("L") << QList<quint64>{0x0A09} << true;
        QTest::newRow("cut big-endian") << bytes << qint64(9) << QByteArray("M") << QList<quint64>{0x0A000000} << true;
        // Past the end, before the start, and far away: 0, and the position still moves on.
        QTest::newRow("past the end") << bytes << qint64(10) << QByteArray("bl") << QList<quint64>{0, 0} << true;
        QTest::newRow("before the start") << bytes << qint64(-2) << QByteArray("lb") << QList<quint64>{0, 0x01} << true;
        QTest::newRow("far away") << bytes << (qint64(1) << 40) << QByteArray("q") << QList<quint64>{0} << true;
        QTest::newRow("empty block") << QByteArray() << qint64(0) << QByteArray("L") << QList<quint64>{0} << true;
    }

    void fields()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, start);
        QFETCH(QByteArray, fields);
        QFETCH(QList<quint64>, values);
        QFETCH(bool, ranOut);
        ByteReader reader(bytes, start);
        QList<quint64> read;
        for (const char f : std::as_const(fields))
            read << (f == 'b'   ? reader.u8()
                     : f == 'l' ? reader.leU16()
                     : f == 'L' ? reader.leU32()
                     : f == 'q' ? reader.leU64()
                     : f == 'm' ? reader.beU16()
                                : reader.beU32());
        QCOMPARE(read, values);
        QCOMPARE(reader.ranOut(), ranOut);
    }

    void holds_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("held");
        QTest::newRow("at the start") << qint64(0) << QByteArray("RIFF") << true;
        QTest::newRow("inside") << qint64(8) << QByteArray("WAVE") << true;
        QTest::newRow("other bytes") << qint64(8) << QByteArray("WAVF") << false;
        QTest::newRow("cut off by the end") << qint64(10) << QByteArray("VEx") << false;
        QTest::newRow("before the start") << qint64(-1) << QByteArray("RIFF") << false;
        QTest::newRow("far away") << (qint64(1) << 40) << QByteArray("R") << false;
    }

    void holds()
    {
        QFETCH(qint64, at);
        QFETCH(QByteArray, text);
        QFETCH(bool, held);
        const ByteReader reader(QByteArray("RIFF\0\0\0\0WAVE", 12));
        QCOMPARE(reader.at(at).holds(text), held);
    }
};

QTEST_GUILESS_MAIN(TestByteReader)
#include "tst_bytereader.moc"
