#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/TCD.h"
#include "store/TreeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// A tree file is read two ways: ASCII lines straight from the bytes, any other line decoded
// first. Both must give what the decoded reading of every line gives.
class TestTreeFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // What a reading gives: the record, or the message it was refused with.
    template <typename Read> static QString outcome(const Read &read)
    {
        try {
            return CDToStr(read());
        } catch (const QuilloryError &e) {
            return QStringLiteral("refused: ") + e.message();
        }
    }

    // The tree read the way every line used to be: decoded, upgraded, then parsed and sorted.
    static QStringList decodedReading(const QByteArray &bytes)
    {
        const bool utf8 = TextCodec::isValidUtf8(bytes);
        QStringList lines;
        bool upgrade = false;
        qsizetype pos = 0;
        QByteArrayView line;
        while (TextCodec::nextLine(bytes, pos, line)) {
            lines.append(TextCodec::decodeLine(line, utf8));
            upgrade = upgrade || std::count(line.begin(), line.end(), '|') == 8;
        }
        if (upgrade)
            for (QString &l : lines)
                if (l.contains(u'|'))
                    l += u'|';
        GroupTree tree;
        ParseOutline(tree, lines);
        tree.sort();
        return TreeToLines(tree);
    }

    QStringList loaded(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("groups.tree"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return {QStringLiteral("cannot write")};
        f.close();
        GroupTree tree;
        LoadTreeFile(
            tree, path, [](const std::vector<QAnyStringView> &serials) { return std::vector<bool>(serials.size(), true); },
            {}, TreeWrite::Never);
        return TreeToLines(tree);
    }

private Q_SLOTS:
    void asciiRecordsReadAsDecodedOnes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("ten fields") << QByteArray("Concert|CONC|0000ABCD|CDFS|734003200|d|Rock|3|x|");
        QTest::newRow("lent, separator inside") << QByteArray("DVD|D|00000001|UDF|4700000000|||1|x|Eve | Bob");
        QTest::newRow("eight separators") << QByteArray("T|L|00000001|FAT|10|d|g|1|01.01.2001 10:00:00");
        QTest::newRow("seven separators") << QByteArray("T|L|00000001|FAT|10|d|g|1");
        QTest::newRow("four separators") << QByteArray("T|L|00000001|FAT|10");
        QTest::newRow("one separator") << QByteArray("T|");
        QTest::newRow("all empty") << QByteArray("||||0|||0||");
        QTest::newRow("signs") << QByteArray("T|L|1|F|+5|d|g|-0|x|");
        QTest::newRow("padded size") << QByteArray("T|L|1|F|" + QByteArray(40, '0') + "7|d|g|1|x|");
        QTest::newRow("largest") << QByteArray("T|L|1|F|9223372036854775807|d|g|-2147483648|x|");
        QTest::newRow("size overflow") << QByteArray("T|L|1|F|9223372036854775808|d|g|1|x|");
        QTest::newRow("number overflow") << QByteArray("T|L|1|F|1|d|g|2147483648|x|");
        QTest::newRow("two signs") << QByteArray("T|L|1|F|+-1|d|g|1|x|");
        QTest::newRow("sign alone") << QByteArray("T|L|1|F|-|d|g|1|x|");
        QTest::newRow("blank before") << QByteArray("T|L|1|F| 1|d|g|1|x|");
        QTest::newRow("blank after") << QByteArray("T|L|1|F|1 |d|g|1|x|");
        QTest::newRow("empty size") << QByteArray("T|L|1|F||d|g|1|x|");
        QTest::newRow("letters") << QByteArray("T|L|1|F|12ab|d|g|1|x|");
    }

    void asciiRecordsReadAsDecodedOnes()
    {
        QFETCH(QByteArray, line);
        const auto latin1 = [](QByteArrayView v) { return QString(QLatin1StringView(v)); };
        for (const bool upgrade : {false, true}) {
            const QString decoded = QString::fromLatin1(line) + (upgrade ? QStringLiteral("|") : QString());
            QCOMPARE(outcome([&] { return AsciiToCD(line, upgrade, latin1); }),
                     outcome([&] { return StrToCD(decoded); }));
        }
    }

    void numbers()
    {
        QCOMPARE(StrToInt64(QStringLiteral("+5")), qint64(5));
        QCOMPARE(StrToInt64(QStringLiteral("-0")), qint64(0));
        QCOMPARE(StrToInt64(QString(50, u'0') + QStringLiteral("42")), qint64(42));
        QCOMPARE(StrToInt64(QStringLiteral("-9223372036854775808")), std::numeric_limits<qint64>::min());
        QCOMPARE(StrToInt32(QStringLiteral("-2147483648")), std::numeric_limits<qint32>::min());
        for (const QString &bad : {QString(), QStringLiteral("+"), QStringLiteral("-"), QStringLiteral("+-1"),
                                   QStringLiteral("1-"), QStringLiteral("\u0661"), QStringLiteral("\uFF11"),
                                   QStringLiteral("9223372036854775808"), QString(50, u'9')})
            QVERIFY_THROWS_EXCEPTION(QuilloryError, StrToInt64(bad));
        try {
            StrToInt32(QStringLiteral("2147483648"));
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QCOMPARE(e.message(), QStringLiteral("'2147483648' is not a valid integer value"));
        }
    }

    void mixedLinesLoadAsDecoded_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // Many discs whose fields repeat, alternate and differ only in the middle of a long
        // text, so that shared strings could only be found by their whole bytes.
        QByteArray many = "My Collection\r\n";
        const QByteArray longHead(30, 'h'), longTail(30, 't');
        for (int g = 0; g < 12; ++g) {
            many += "\tGroup " + QByteArray::number(g) + "\r\n";
            for (int d = 0; d < 40; ++d) {
                const int n = g * 40 + d;
                many += "\t\tDisc " + QByteArray::number(n % 97) + '|' + "LABEL" + QByteArray::number(n % 5) + '|' +
                        QByteArray::number(0x10000000 + n, 16) + '|' + (n % 3 ? "UDF" : "CDFS") + '|' +
                        QByteArray::number(1000 + n) + '|' + longHead + QByteArray::number(n % 7) + longTail + '|' +
                        "Genre " + QByteArray::number(n % 11) + '|' + QByteArray::number(n % 13) + '|' + "01.0" +
                        QByteArray::number(1 + n % 9) + ".2024 12:00:00" + '|' + (n % 17 ? QByteArray() : "Ann") +
                        "\r\n";
            }
        }
        QTest::newRow("repeated fields") << many;

        const QByteArray mixed = "My Collection\r\n\tM\xC3\xBCsik\r\n"
                                 "\t\tZ\xC3\xA4hler|L|00000002|CDFS|1|\xE2\x82\xAC d|Rock|2|x|\r\n"
                                 "\t\tAbba|L|00000001|CDFS|1|d|Rock|1|x|\r\n"
                                 "\t\tEmoji \xF0\x9F\x8E\xB5|L|00000003|UDF|3|\xEF\xBB\xBF"
                                 "bom|g|3|x|Eve\r\n"
                                 "\tPlain\n\t\tB|L|00000004|UDF|4|d|g|4|x|\r";
        QTest::newRow("utf-8 and ascii") << mixed;
        QTest::newRow("windows-1252 and ascii") << QByteArray("My Collection\r\n\tM\xFCsik\r\n"
                                                              "\t\tZ\xE4hler|L|00000002|CDFS|1|\x80 d|Rock|2|x|\r\n"
                                                              "\t\tAbba|L|00000001|CDFS|1|d|Rock|1|x|\r\n");
        QTest::newRow("older format, mixed")
            << QByteArray("My Collection|old\r\n\tG\r\n\t\tA|L|00000001|FAT|1|d|g|1|01.01.2001 10:00:00\r\n"
                          "\t\t\xC3\x84|L|00000002|FAT|2|d|g|2|x|lent\r\n\t\tC|L|00000003|FAT|3|d|g|3|x|y|z\r\n");
        // The line that shows the older format comes last; one before it reads only that way.
        QTest::newRow("older format, shown by the last line")
            << QByteArray("Root\r\n\tG\r\n\t\tA|L|00000001|FAT|1|d|g|1|x|lent\r\n\t\tB|L|00000002|FAT|5|d|g|7\r\n"
                          "\t\tC|L|00000003|FAT|3|d|g|3|01.01.2001 10:00:00\r\n");
        QTest::newRow("blank and space-indented lines")
            << QByteArray("My Collection\r\n \r\n\tG\r\n  D|L|00000001|UDF|1|d|g|1|x|\r\n\t \tE|L|00000002|UDF|"
                          "2|d|g|2|x|\r\n");
    }

    void mixedLinesLoadAsDecoded()
    {
        QFETCH(QByteArray, bytes);
        const QStringList expected = decodedReading(bytes);
        QVERIFY(expected.size() > 2);
        QCOMPARE(loaded(bytes), expected);
    }

    // A tree read in order is left as read; any node out of place anywhere below a root
    // still sorts the whole tree, and the roots keep the file's order.
    void outlinesInAndOutOfOrderLoadSorted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray a = "A|L|00000001|UDF|1|d|g|1|x|\r\n";
        const QByteArray b = "B|L|00000002|UDF|2|d|g|2|x|\r\n";
        const QByteArray lentB = "B|L|00000003|UDF|2|d|g|2|x|Eve\r\n";
        QTest::newRow("in order") << "Root\r\n\tG\r\n\t\t" + a + "\t\t" + b + "\tH\r\n\t" + a;
        QTest::newRow("discs swapped") << "Root\r\n\tG\r\n\t\t" + b + "\t\t" + a;
        QTest::newRow("disc before group") << "Root\r\n\t" + a + "\tG\r\n";
        QTest::newRow("lent disc after disc") << "Root\r\n\t" + a + "\t" + lentB;
        QTest::newRow("upper after lower case") << QByteArray("Root\r\n\tb\r\n\tB\r\n");
        QTest::newRow("only the last deep level") << "Root\r\n\tG\r\n\t\tH\r\n\t\t\t" + b + "\t\t\t" + a;
        QTest::newRow("after climbing back") << "Root\r\n\tH\r\n\t\t" + a + "\tG\r\n";
        QTest::newRow("equal texts") << "Root\r\n\tG\r\n\tG\r\n\t\t" + a + "\t\t" + a;
        QTest::newRow("roots out of order") << "Z\r\n\t" + a + "A\r\n\t" + b + "\t" + a;
    }

    void outlinesInAndOutOfOrderLoadSorted()
    {
        QFETCH(QByteArray, bytes);
        const QStringList expected = decodedReading(bytes);
        QVERIFY(expected.size() > 2);
        QCOMPARE(loaded(bytes), expected);
    }

    void badAsciiLinesAreRefusedLikeDecodedOnes()
    {
        // The same faults on an ASCII line and on a decoded one name the same line and text.
        for (const QByteArray &tail : {QByteArray("|L|00000001|UDF|x1|d|g|1|x|"), QByteArray("|L|1|UDF|1|d|g")}) {
            for (const QByteArray &title : {QByteArray("Plain"), QByteArray("Pl\xC3\xA4in")}) {
                try {
                    loaded("My Collection\r\n\tG\r\n\t\t" + title + tail + "\r\n");
                    QFAIL("no exception");
                } catch (const QuilloryError &e) {
                    QVERIFY2(e.message().startsWith(QStringLiteral("\"groups.tree\", line 3: '")),
                             qPrintable(e.message()));
                }
            }
        }
        try {
            loaded("My Collection\r\n\t\t\tDeep|L|1|UDF|1|d|g|1|x|\r\n");
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid level (3) for item \"Deep|L|1|UDF|1|d|g|1|x|\""));
        }
    }
};

QTEST_GUILESS_MAIN(TestTreeFile)
#include "tst_treefile.moc"
