#include "listing/FormatSize.h"

#include <QtTest>

class TestFormatSize : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void formatSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        // With the German locale: "." groups thousands, "," is the decimal separator.
        QTest::newRow("0") << qint64(0) << "0,00 Bytes";
        QTest::newRow("last bytes") << qint64(1023) << "1.023,00 Bytes";
        QTest::newRow("first KB") << qint64(1024) << "1,00 KB";
        QTest::newRow("last KB rounds up") << qint64(1048575) << "1.024,00 KB";
        QTest::newRow("DVD") << qint64(4700000000LL) << "4,38 GB";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << "8,00 EB";
    }
    void formatSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(FormatSize(bytes), text);
    }

};

QTEST_GUILESS_MAIN(TestFormatSize)
#include "tst_formatsize.moc"
