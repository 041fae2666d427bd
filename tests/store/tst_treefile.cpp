#include "core/QuilloryError.h"
#include "store/TCD.h"
#include "store/TreeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The format of "groups.tree": a disc's record line, and the outline as a load reads it
// (encodings, line ends, the older format, the order the tree keeps).
class TestTreeFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // The outline a file loads as, one line per node, every disc's contents file taken as present.
    QString loaded(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("groups.tree"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return QStringLiteral("cannot write");
        f.close();
        GroupTree tree;
        LoadTreeFile(
            tree, path, [](const QString &) { return true; }, {}, TreeWrite::Never);
        return TreeToLines(tree).join(u'\n');
    }

private Q_SLOTS:
    // A record as read back: its fields joined again, or the message it was refused with.
    void records_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("read");
        QTest::newRow("ten fields") << "Concert|CONC|0000ABCD|CDFS|734003200|d|Rock|3|x|"
                                    << "Concert|CONC|0000ABCD|CDFS|734003200|d|Rock|3|x|";
        QTest::newRow("above 2^32, negative, separator inside BorrowedTo")
            << "DVD|D|00000001|UDF|8547991552|||-7|x|Eve | Bob" << "DVD|D|00000001|UDF|8547991552|||-7|x|Eve | Bob";
        // Short lines shift their fields: the older format's date lands in BorrowedTo.
        QTest::newRow("eight separators") << "T|L|1|FAT|10|d|g|1|01.01.2001 10:00:00"
                                          << "T|L|1|FAT|10|d|g|1||01.01.2001 10:00:00";
        QTest::newRow("signs") << "T|L|1|F|+5|d|g|-0|x|"
                               << "T|L|1|F|5|d|g|0|x|";
        QTest::newRow("padded size") << "T|L|1|F|" + QString(40, u'0') + "7|d|g|1|x|"
                                     << "T|L|1|F|7|d|g|1|x|";
        QTest::newRow("largest") << "T|L|1|F|9223372036854775807|d|g|-2147483648|x|"
                                 << "T|L|1|F|9223372036854775807|d|g|-2147483648|x|";
        const QString refused = QStringLiteral("refused: '%1' is not a valid integer value");
        QTest::newRow("one separator") << "T|" << refused.arg(QString());
        QTest::newRow("size overflow") << "T|L|1|F|9223372036854775808|d|g|1|x|"
                                       << refused.arg("9223372036854775808");
        QTest::newRow("number overflow") << "T|L|1|F|1|d|g|2147483648|x|" << refused.arg("2147483648");
        QTest::newRow("two signs") << "T|L|1|F|+-1|d|g|1|x|" << refused.arg("+-1");
        QTest::newRow("blank before") << "T|L|1|F| 1|d|g|1|x|" << refused.arg(" 1");
        QTest::newRow("letters") << "T|L|1|F|12ab|d|g|1|x|" << refused.arg("12ab");
        QTest::newRow("other digits") << QStringLiteral("T|L|1|F|\u0661|d|g|1|x|") << refused.arg(QStringLiteral("\u0661"));
    }
    void records()
    {
        QFETCH(QString, line);
        QFETCH(QString, read);
        try {
            QCOMPARE(CDToStr(StrToCD(line)), read);
        } catch (const QuilloryError &e) {
            QCOMPARE(QStringLiteral("refused: ") + e.message(), read);
        }
    }

    void outlines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("outline");
        const QByteArray a = "A|L|00000001|UDF|1|d|g|1|x|";
        const QByteArray b = "B|L|00000002|UDF|2|d|g|2|x|";
        const QByteArray lentB = "B|L|00000003|UDF|2|d|g|2|x|Eve";
        // Line ends: CR alone (old Mac editors), LF, CR LF, mixed, none after the last line.
        QTest::newRow("CR") << "Root\r\tG\r\t\t" + a + "\r"
                            << "Root\n\tG\n\t\t" + a;
        QTest::newRow("mixed") << "Root\r\tG\n\t\t" + a + "\r\n\tH" << "Root\n\tG\n\t\t" + a + "\n\tH";
        QTest::newRow("blank and space-indented lines")
            << "Root\r\n \r\n\tG\r\n  " + a + "\r\n\t " + b + "\r\n" << "Root\n\tG\n\t\t" + a + "\n\t\t" + b;
        QTest::newRow("utf-8") << QByteArray("M\xC3\xBCsik\r\n\tZ\xC3\xA4hler|L|1|UDF|1|\xE2\x82\xAC|g|1|x|\r\n")
                               << QByteArray("M\xC3\xBCsik\n\tZ\xC3\xA4hler|L|1|UDF|1|\xE2\x82\xAC|g|1|x|");
        QTest::newRow("windows-1252") << QByteArray("M\xFCsik\r\n\tZ\xE4hler|L|1|UDF|1|\x80|g|1|x|\r\n")
                                      << QByteArray("M\xC3\xBCsik\n\tZ\xC3\xA4hler|L|1|UDF|1|\xE2\x82\xAC|g|1|x|");
        // Every disc line of the older format (nine fields) gains an empty BorrowedTo, as does
        // any other disc line in the same file; the first line is the collection, never a disc.
        QTest::newRow("older format") << QByteArray("Root|old\r\n\tA|L|1|FAT|1|d|g|1|01.01.2001 10:00:00\r\n"
                                                    "\tC|L|3|FAT|3|d|g|3|x|y|z\r\n")
                                      << QByteArray("Root|old|\n\tC|L|3|FAT|3|d|g|3|x|y|z|\n\tA|L|1|FAT|1|d|g|1|01.01.2001 10:00:00|");
        QTest::newRow("older format, shown by the last line")
            << "Root\r\n\t" + a + "lent\r\n\tB|L|2|FAT|5|d|g|7\r\n\tC|L|3|FAT|3|d|g|3|01.01.2001 10:00:00\r\n"
            << "Root\n\t" + a + "lent|\n\tB|L|2|FAT|5|d|g|7||\n\tC|L|3|FAT|3|d|g|3|01.01.2001 10:00:00|";
        QTest::newRow("only separators in the collection's line") << QByteArray("R|||||||||\r\n\tG\r\n")
                                                                  << QByteArray("R|||||||||\n\tG");
        // Below the collections, lent discs, then groups, then discs, each by code unit; the
        // collections keep the file's order.
        QTest::newRow("discs swapped") << "Root\r\n\tG\r\n\t\t" + b + "\r\n\t\t" + a
                                       << "Root\n\tG\n\t\t" + a + "\n\t\t" + b;
        QTest::newRow("disc before group") << "Root\r\n\t" + a + "\r\n\tG" << "Root\n\tG\n\t" + a;
        QTest::newRow("lent disc first") << "Root\r\n\t" + a + "\r\n\t" + lentB << "Root\n\t" + lentB + "\n\t" + a;
        QTest::newRow("upper before lower case") << QByteArray("Root\r\n\tb\r\n\tB") << QByteArray("Root\n\tB\n\tb");
        QTest::newRow("only the last deep level") << "Root\r\n\tG\r\n\t\tH\r\n\t\t\t" + b + "\r\n\t\t\t" + a
                                                  << "Root\n\tG\n\t\tH\n\t\t\t" + a + "\n\t\t\t" + b;
        QTest::newRow("after climbing back") << "Root\r\n\tH\r\n\t\t" + a + "\r\n\tG" << "Root\n\tG\n\tH\n\t\t" + a;
        QTest::newRow("roots out of order") << "Z\r\n\t" + a + "\r\nA\r\n\t" + b + "\r\n\t" + a
                                            << "Z\n\t" + a + "\nA\n\t" + a + "\n\t" + b;
        // Neighbours share the texts they repeat; each keeps its own where they differ.
        QByteArray many = "Root\r\n";
        QByteArray manyRead = "Root";
        for (int n = 0; n < 60; ++n) {
            const QByteArray line = "\tDisc " + QByteArray::number(100 + n) + "|L|" + QByteArray::number(n) +
                                    (n % 3 ? "|UDF|" : "|CDFS|") + "1|" + QByteArray(n % 4, 'd') + "|Genre " +
                                    QByteArray::number(n / 7) + "|1|" + (n % 5 ? "x" : "y") + '|';
            many += line + "\r\n";
            manyRead += '\n' + line;
        }
        QTest::newRow("repeated and alternating fields") << many << manyRead;
    }
    void outlines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, outline);
        QCOMPARE(loaded(bytes).toUtf8(), outline);
    }
};

QTEST_GUILESS_MAIN(TestTreeFile)
#include "tst_treefile.moc"
