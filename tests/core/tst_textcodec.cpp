#include "core/TextCodec.h"

#include <QtTest>

// Catalogue text: UTF-8 written, UTF-8 or Windows-1252 read, CR LF or LF.
class TestTextCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void encodings()
    {
        QVERIFY(TextCodec::isValidUtf8("M\xc3\xbcsik"));
        QVERIFY(!TextCodec::isValidUtf8("M\xfcsik"));
        QVERIFY(!TextCodec::isValidUtf8("\xc0\xaf"));            // overlong
        QVERIFY(!TextCodec::isValidUtf8("\xed\xa0\x80"));        // surrogate
        QVERIFY(!TextCodec::isValidUtf8("ends badly \xe2\x82")); // cut short
        QCOMPARE(TextCodec::decode("\x93quoted\x94 \x80"), QStringLiteral("\u201Cquoted\u201D \u20AC"));
    }

    void lines()
    {
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\nb\nc")), (QStringList{"a", "b", "c"}));
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\n\r\n")), (QStringList{"a", ""}));
        QCOMPARE(TextCodec::joinLines({QStringLiteral("ä"), QString()}), QByteArray("\xc3\xa4\r\n\r\n"));
        QCOMPARE(TextCodec::sanitizeLine(QStringLiteral("a\r\nb\rc")), QStringLiteral("a??b?c"));
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
