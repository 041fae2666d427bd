#include "CliRun.h"
#include "ScanFixture.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// tree on a catalogue far longer than one block of output: every line whole and in order,
// characters outside the basic plane included, discs without a contents file left out.
class TestTreeCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void write(const QString &rel, const QByteArray &bytes)
    {
        QVERIFY(ScanFixture::writeFile(m_dir.path() + u'/' + rel, bytes));
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void largeTreePrintsEveryLine()
    {
        // Groups and titles are numbered with zero padding, so the file's order is the sorted
        // order but for the lent discs, which come first among their siblings.
        QByteArray tree = "My Collection\r\n";
        QByteArray expected = "My Collection\n";
        const QByteArray note = "\xF0\x9F\x8E\xB5"; // outside the basic plane: two UTF-16 units
        const QByteArray umlaut = "\xC3\xA4";       // inside it
        for (int g = 0; g < 30; ++g) {
            const QByteArray group = "Group " + QByteArray::number(g).rightJustified(3, '0');
            tree += '\t' + group + "\r\n";
            expected += "  " + group + '\n';
            QByteArray lentLines, presentLines;
            for (int d = 0; d < 100; ++d) {
                const int n = g * 100 + d;
                const QByteArray serial = QByteArray::number(0x20000000 + n, 16).toUpper();
                const QByteArray title = "Disc " + QByteArray::number(d).rightJustified(3, '0') +
                                         (n % 3 == 0   ? " " + note
                                          : n % 3 == 1 ? " " + umlaut
                                                       : QByteArray());
                const QByteArray lent = n % 7 == 0 ? "Eve" : "";
                const QByteArray size = QByteArray::number(4700000000LL + n);
                tree += "\t\t" + title + "|LABEL|" + serial + "|UDF|" + size + "|d|Music|" + QByteArray::number(n) +
                        "|01.06.2024 12:00:00|" + lent + "\r\n";
                if (n % 11 == 5)
                    continue; // no contents file
                write(u"DB/"_s + QString::fromLatin1(serial) + u".dat"_s, "");
                (lent.isEmpty() ? presentLines : lentLines) +=
                    "    " + title + '\t' + serial + "\tUDF\t" + size + '\t' + lent + '\n';
            }
            expected += lentLines + presentLines;
        }
        write(u"DB/groups.tree"_s, tree);
        QVERIFY(expected.size() > 100000); // several blocks

        const CliRun r = runCli({u"--data"_s, m_dir.path(), u"tree"_s});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.size(), expected.size());
        QCOMPARE(r.out, expected);
    }
};

QTEST_GUILESS_MAIN(TestTreeCommand)
#include "tst_treecommand.moc"
