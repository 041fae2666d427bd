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

    void fileNames()
    {
        // Valid UTF-8 stays; each byte outside it is read as Windows-1252, so names that differ
        // only there stay apart.
        QCOMPARE(TextCodec::fileNameToUtf8("caf\xc3\xa9"), QByteArray("caf\xc3\xa9"));
        QCOMPARE(QString::fromUtf8(TextCodec::fileNameToUtf8("\xe9t\xc3\xa9 \x80\xed\xa0\x80")),
                 QStringLiteral("\u00E9t\u00E9 \u20AC\u00ED\u00A0\u20AC"));
        QVERIFY(TextCodec::fileNameToUtf8("a\xe9") != TextCodec::fileNameToUtf8("a\xe8"));
    }

    void lines()
    {
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\nb\nc")), (QStringList{"a", "b", "c"}));
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\n\r\n")), (QStringList{"a", ""}));
        // CR alone ends a line too (old Mac editors), also right before a CR LF.
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\rb\r\r\nc\r")), (QStringList{"a", "b", "", "c"}));
        const QByteArray bytes("a\rb\r\nc\n\nd");
        QStringList viaBytes;
        qsizetype pos = 0;
        QByteArrayView line;
        while (TextCodec::nextLine(bytes, pos, line))
            viaBytes.append(QString::fromLatin1(line));
        QCOMPARE(viaBytes, (QStringList{"a", "b", "c", "", "d"}));
        QCOMPARE(TextCodec::joinLines({QStringLiteral("ä"), QString()}), QByteArray("\xc3\xa4\r\n\r\n"));
        QCOMPARE(TextCodec::sanitizeLine(QStringLiteral("a\r\nb\rc")), QStringLiteral("a??b?c"));
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
