// quillory-cli report, in this process on buffers: the file it writes and its refusals; and the
// real program making a report while the window holds the catalogue.

#include "CliRun.h"
#include "FileSizeLimit.h"
#include "TestCatalogue.h"

#include "store/Catalogue.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

class TestReportCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString data() const { return m_tmp.filePath(u"data"_s); }
    QString out() const { return m_tmp.filePath(u"report.out"_s); }

    CliRun report(const QStringList &args)
    {
        QFile::remove(out());
        return runCli(QStringList{u"--data"_s, data(), u"report"_s} + args);
    }
    QByteArray written() const
    {
        QFile f(out());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        TestCatalogue::prepared(data());
    }

    void discReport()
    {
        // By title, three columns in the order given, widths of 10, 10 and 15 characters.
        const CliRun r = report({u"--disc"_s, u"Rock Disc"_s, u"--columns"_s, u"name,Size,PATH"_s, u"--widths"_s,
                                 u"80,80,120"_s, u"--no-time"_s, u"-o"_s, out()});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out + r.err, QByteArray());
        const QByteArray sep(1 + 11 + 11 + 16, '-');
        QCOMPARE(written(), "Report for disc \"Rock Disc\".\r\n\r\n"
                            "|   Name   |   Size   |      Path     |\r\n" +
                                sep +
                                "\r\n"
                                "|b.txt     |100.00 Byt|\\              |\r\n"
                                "|A.mp3     |2.00 KB   |\\              |\r\n"
                                "|pack.zip  |500.00 Byt|\\              |\r\n"
                                "|inner.txt |50.00 Byte|\\pack.zip\\     |\r\n"
                                "|deep.png  |60.00 Byte|\\pack.zip\\     |\r\n"
                                "|song.mp3  |1.95 KB   |\\ROCK\\         |\r\n"
                                "|live.mp3  |1,000.00 B|\\ROCK\\LIVE\\    |\r\n" +
                                sep);

        // By serial, HTML, the default columns and the creation time.
        QCOMPARE(report({u"--disc"_s, u"1a2b3c4d"_s, u"--html"_s, u"--output"_s, out()}).code, 0);
        const QString html = QString::fromUtf8(written());
        QVERIFY(html.startsWith(u"<html>\r\n"_s));
        QVERIFY(html.contains(u"<center><b>Type</b></center>"_s));
        QVERIFY(!html.contains(u"<center><b>Path</b></center>"_s));
        static const QRegularExpression created(
            u"<i>Created with <b>Quillory!</b> on \\d\\d/\\d\\d/\\d{4}\\. at \\d\\d:\\d\\d:\\d\\d</i>"_s);
        QVERIFY(html.contains(created));
    }

    void groupReport()
    {
        const QStringList args{
            u"--group"_s, u"My Collection"_s, u"--columns"_s, u"Title,Location"_s, u"--no-time"_s, u"-o"_s, out()};
        QCOMPARE(report(args).code, 0);
        QCOMPARE(written().split('\n').mid(4),
                 (QList<QByteArray>{"|Photos Disc         |My Collection       |\r", QByteArray(43, '-')}));
        QCOMPARE(report(args + QStringList{u"--recurse"_s}).code, 0);
        QCOMPARE(written().split('\n').mid(4),
                 (QList<QByteArray>{"|Rock Disc           |Music               |\r",
                                    "|Photos Disc         |My Collection       |\r", QByteArray(43, '-')}));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QString o = out();
        QTest::newRow("both") << QStringList{u"--disc"_s, u"Rock Disc"_s, u"--group"_s, u"Music"_s, u"-o"_s, o} << 2
                              << u"one of --disc and --group"_s;
        QTest::newRow("column of the other kind")
            << QStringList{u"--disc"_s, u"Rock Disc"_s, u"--columns"_s, u"Genre"_s, u"-o"_s, o} << 2
            << u"unknown column \"Genre\""_s;
        QTest::newRow("widths not matching")
            << QStringList{u"--group"_s, u"Music"_s, u"--widths"_s, u"100,100"_s, u"-o"_s, o} << 2
            << u"one width for each of the 3 columns"_s;
        QTest::newRow("width out of range")
            << QStringList{u"--group"_s, u"Music"_s, u"--widths"_s, u"100,5,100"_s, u"-o"_s, o} << 2
            << u"from 10 to 999, not \"5\""_s;
        QTest::newRow("no such disc") << QStringList{u"--disc"_s, u"Jazz"_s, u"-o"_s, o} << 1
                                      << u"There is no disc titled \"Jazz\""_s;
        QTest::newRow("folder missing") << QStringList{u"--group"_s, u"Music"_s, u"-o"_s,
                                                       m_tmp.filePath(u"none/r.txt"_s)}
                                        << 1 << u"Invalid file name!"_s;
        QTest::newRow("onto the catalogue")
            << QStringList{u"--group"_s, u"Music"_s, u"-o"_s, data() + u"/DB/groups.tree"_s} << 1
            << u"inside the database folder"_s;
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFile tree(data() + u"/DB/groups.tree"_s);
        QVERIFY(tree.open(QIODevice::ReadOnly));
        const QByteArray before = tree.readAll();
        tree.close();
        const CliRun r = report(args);
        QVERIFY(tree.open(QIODevice::ReadOnly));
        QCOMPARE(tree.readAll(), before);
        QCOMPARE(r.code, code);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        QVERIFY(!QFileInfo::exists(out()));
    }

    // A disc whose contents file is damaged: the error, and an older report of that name kept.
    void brokenDiscKeepsTheOldFile()
    {
        QFile f(out());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("older report");
        f.close();
        const QString db = DataPaths::dbFolder(data());
        QVERIFY(QFile::copy(db + u"5E6F7081.dat"_s, m_tmp.filePath(u"keep.dat"_s)));
        QFile dat(db + u"5E6F7081.dat"_s);
        QVERIFY(dat.open(QIODevice::WriteOnly | QIODevice::Truncate));
        dat.write("not a cabinet");
        dat.close();
        const CliRun r = runCli({u"--data"_s, data(), u"report"_s, u"--disc"_s, u"Photos Disc"_s, u"-o"_s, out()});
        QVERIFY(QFile::remove(db + u"5E6F7081.dat"_s));
        QVERIFY(QFile::copy(m_tmp.filePath(u"keep.dat"_s), db + u"5E6F7081.dat"_s));
        QCOMPARE(r.code, 1);
        QVERIFY(!r.err.isEmpty());
        QCOMPARE(written(), QByteArray("older report"));
    }

    // A disk that fills up: the older report stays, and the reason is told.
    void fullDiskKeepsTheOldFile()
    {
        QFile f(out());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("older report");
        f.close();
        CliRun r;
        {
            const FileSizeLimit full(100);
            r = runCli({u"--data"_s, data(), u"report"_s, u"--disc"_s, u"Rock Disc"_s, u"-o"_s, out()});
        }
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(strerror(EFBIG)), r.err.constData());
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(written(), QByteArray("older report"));
        QCOMPARE(QDir(m_tmp.path()).entryList({u"*report*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"report.out"_s});
    }

    // The window has the catalogue (this process holds its lock): the real program makes the
    // report all the same, since it only reads.
    void whileTheWindowHoldsTheCatalogue()
    {
        Catalogue window(DataPaths::withSlash(data()));
        window.lock();
        QVERIFY(window.isLocked());
        QFile::remove(out());
        const CliRun r = runProgram({u"--data"_s, data(), u"report"_s, u"--group"_s, u"Music"_s, u"-o"_s, out()});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(written().contains("|Rock Disc           |"));
    }
};

QTEST_GUILESS_MAIN(TestReportCli)
#include "tst_reportcli.moc"
