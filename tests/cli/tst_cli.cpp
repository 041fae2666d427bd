#include "CliRun.h"
#include "ScanFixture.h"
#include "TestCatalogue.h"
#include "store/Catalogue.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The command line's own contract: exit codes, help, streams, the lock and who may read past it, and the tree
// and check-mask commands byte for byte.
class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString data() const { return m_dir.path(); }
    QByteArray read(const QString &rel) const
    {
        QFile f(m_dir.path() + u'/' + rel);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString &rel, const QByteArray &bytes)
    {
        QVERIFY(ScanFixture::writeFile(m_dir.path() + u'/' + rel, bytes));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The program's own preferences, for the runs of the real program.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + u"/config"_s));
    }
    void cleanup() { QDir(m_dir.path() + u"/DB"_s).removeRecursively(); }

    void treePrintsNodes()
    {
        write(u"DB/00000001.dat"_s, "");
        write(u"DB/0000ABCD.dat"_s, "");
        write(u"DB/groups.tree"_s,
              "My Collection\r\n\tMusic\r\n\t\tLive\r\n\t\t\tConcert|CONC|0000ABCD|CDFS|734003200|d|Rock|3|x|\r\n"
              "\tDVD|D|00000001|UDF|4700000000|||1|x|Eve | Bob\r\n");
        const CliRun r = runCli({u"--data"_s, data(), u"tree"_s});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("My Collection\n"
                                   "  DVD\t00000001\tUDF\t4700000000\tEve | Bob\n"
                                   "  Music\n"
                                   "    Live\n"
                                   "      Concert\t0000ABCD\tCDFS\t734003200\t\n"));
    }

    // Far more lines than one block of output holds, long and non-ASCII ones among them: every
    // line comes out whole and in order.
    void largeTreePrintsEveryLine()
    {
        QByteArray tree = "My Collection\r\n\tG\r\n";
        QByteArray expected = "My Collection\n  G\n";
        for (int i = 0; i < 2000; ++i) {
            const QByteArray serial = QByteArray::number(0x10000000 + i, 16).toUpper();
            const QByteArray title = QByteArray::number(100000 + i) + (i % 3 == 0   ? QByteArray(300, 'x')
                                                          : i % 3 == 1 ? QByteArray("\xC3\xA4")
                                                                       : QByteArray(" \xF0\x9F\x8E\xB5"));
            write(u"DB/"_s + QString::fromLatin1(serial) + u".dat"_s, "");
            tree += "\t\t" + title + "|L|" + serial + "|UDF|" + QByteArray::number(i) + "|d|g|1|x|\r\n";
            expected += "    " + title + '\t' + serial + "\tUDF\t" + QByteArray::number(i) + "\t\n";
        }
        write(u"DB/groups.tree"_s, tree);
        const CliRun r = runCli({u"--data"_s, data(), u"tree"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected);
    }

    void treeOfNewCatalogue()
    {
        const CliRun r = runCli({u"--data="_s + data(), u"tree"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("My Collection\n"));
        // Reading does not write a tree.
        QVERIFY(!QFile::exists(data() + u"/DB/groups.tree"_s));
    }

    // A reader upgrades an older tree in memory only; a writer, holding the lock, rewrites it
    // and says so on standard error.
    void olderTreeIsUpgradedByWritersOnly()
    {
        write(u"DB/00000001.dat"_s, "");
        const QByteArray old = "R\r\n\tOld|L|00000001|FAT|1|||1|01.01.2001 10:00:00\r\n";
        write(u"DB/groups.tree"_s, old);
        CliRun r = runCli({u"--data"_s, data(), u"tree"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.out, QByteArray("R\n  Old\t00000001\tFAT\t1\t\n"));
        QCOMPARE(read(u"DB/groups.tree"_s), old);

        QTemporaryDir volume;
        r = runCli(
            {u"--data"_s, data(), u"add-disc"_s, volume.path(), u"--title"_s, u"New"_s, u"--serial"_s, u"00000002"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QByteArray("Your database appears to be in older format. It will be updated automatically.\n"
                                   "Update completed!\n"));
        QVERIFY(read(u"DB/groups.tree"_s).contains("|01.01.2001 10:00:00|\r\n"));
    }

    void damagedTreeIsAnError()
    {
        write(u"DB/groups.tree"_s, "R\r\n\t\t\tX\r\n");
        const CliRun r = runCli({u"--data"_s, data(), u"tree"_s});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("Invalid level (3) for item \"X\"\n"));
        QCOMPARE(r.out, QByteArray());
    }

    void checkMask()
    {
        CliRun r = runCli({u"check-mask"_s, u"*.mp3"_s, u"Song.MP3"_s, u"a.mp3.bak"_s, u"--x.mp3"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("yes\nno\nyes\n"));
        r = runCli({u"check-mask"_s, u"[abc"_s, u"a"_s});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("'[abc' is an invalid mask at (5)\n"));
        QCOMPARE(runCli({u"check-mask"_s, u"*"_s}).code, 2);
    }

    void usageAndHelp()
    {
        CliRun r = runCli({});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.startsWith("Usage: quillory-cli"));
        r = runCli({u"--help"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("check-mask MASK NAME..."));
        QCOMPARE(runCli({u"nonsense"_s}).code, 2);
        QCOMPARE(runCli({u"tree"_s, u"--bogus"_s}).code, 2);
        CliApp app;
        for (const auto &cmd : app.commands()) {
            r = runCli({cmd->name(), u"--help"_s});
            QCOMPARE(r.code, 0);
            QVERIFY2(r.out.startsWith("Usage: quillory-cli [--data DIR] " + cmd->name().toUtf8()), r.out.constData());
        }
    }

    // While another program (the window) holds the catalogue, commands that only read still
    // work and change nothing; a command that writes is refused with the lock's name.
    void readersWorkWhileAnotherProgramHoldsTheLock()
    {
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI not set");
        QDir().mkpath(data() + u"/DB"_s);
        TestCatalogue::packDisc(data() + u"/DB/"_s, u"0000ABCD"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"a.txt"_s, u"\\"_s, 1, u"01.01.2001"_s);
        });
        write(u"DB/groups.tree"_s, "R\r\n\tConcert|CONC|0000ABCD|CDFS|1|||3|x\r\n"); // the older format
        const QByteArray tree = read(u"DB/groups.tree"_s);
        Catalogue holder(data());
        holder.lock();

        CliRun r = runProgram({u"--data"_s, data(), u"tree"_s});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("R\n  Concert\t0000ABCD\tCDFS\t1\t\n"));
        r = runProgram({u"--data"_s, data(), u"ls"_s, u"Concert"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("a.txt\t"));
        QCOMPARE(runProgram({u"--data"_s, data(), u"cat-lists"_s, u"0000ABCD"_s}).code, 0);

        QTemporaryDir volume;
        r = runProgram(
            {u"--data"_s, data(), u"add-disc"_s, volume.path(), u"--title"_s, u"T"_s, u"--serial"_s, u"00000002"_s});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Quillory!.lock"), r.err.constData());
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(read(u"DB/groups.tree"_s), tree);
    }

    // A command line that cannot mean what it says is refused with a reason (2 for bad usage,
    // 1 for a catalogue that is not there or not what it should be) and changes nothing; a
    // catalogue made or a lock taken over is said on standard error.
    void badCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");

        const QString cat = u"{root}/cat"_s, missing = u"{root}/missing"_s;
        const QStringList add{u"add-disc"_s, u"{root}/vol"_s, u"--serial"_s, u"0000000A"_s};
        QTest::newRow("empty data folder") << QStringList{u"--data"_s, u""_s, u"tree"_s} << 2 << u"needs a folder"_s;
        QTest::newRow("missing folder, read")
            << QStringList{u"--data"_s, missing, u"tree"_s} << 1 << u"the folder does not exist"_s;
        QTest::newRow("missing folder, export") << QStringList{u"--data"_s, missing, u"export"_s, u"{root}/out.cab"_s}
                                                << 1 << u"the folder does not exist"_s;
        QTest::newRow("missing folder, add-disc makes it")
            << QStringList{u"--data"_s, missing} + add + QStringList{u"--title"_s, u"T"_s} << 0
            << u"A new catalogue was made"_s;
        QTest::newRow("data folder is a file")
            << QStringList{u"--data"_s, u"{root}/file"_s, u"tree"_s} << 1 << u"is a file, not a folder"_s;
        QTest::newRow("DB is a file") << QStringList{u"--data"_s, u"{root}/dbfile"_s, u"tree"_s} << 1
                                      << u"database folder"_s;
        QTest::newRow("DB is a dangling link")
            << QStringList{u"--data"_s, u"{root}/dblink"_s, u"search"_s} << 1 << u"which does not exist"_s;
        QTest::newRow("option twice") << QStringList{u"--data"_s, cat} + add +
                                             QStringList{u"--title"_s, u"A"_s, u"--title"_s, u"B"_s}
                                      << 2 << u"--title is given twice"_s;
        QTest::newRow("value left out") << QStringList{u"--data"_s, cat} + add + QStringList{u"--title"_s, u"-h"_s}
                                        << 2 << u"--title needs a value"_s;
        QTest::newRow("data folder left out")
            << QStringList{u"--data"_s, u"--help"_s, u"tree"_s} << 2 << u"--data needs a folder"_s;
        QTest::newRow("preference out of range")
            << QStringList{u"--data"_s, cat, u"config"_s, u"set"_s, u"MaxResults"_s, u"-5"_s} << 1
            << u"\"MaxResults\" takes 1 to 2147483647"_s;
        // A kill right after the lock file was made.
        QTest::newRow("empty lock taken over")
            << QStringList{u"--data"_s, cat} + add + QStringList{u"--title"_s, u"T"_s} << 0 << u"taken over"_s;
    }
    void badCommandLines()
    {
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI not set");
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        QTemporaryDir root;
        const auto at = [&root](const QString &rel) { return root.path() + u'/' + rel; };
        const QByteArray tree = "My Collection\r\n";
        QVERIFY(ScanFixture::writeFile(at(u"cat/DB/groups.tree"_s), tree));
        QVERIFY(ScanFixture::writeFile(at(u"cat/DB/Quillory!.lock"_s), QByteArray()));
        QVERIFY(ScanFixture::writeFile(at(u"file"_s), "x"));
        QVERIFY(ScanFixture::writeFile(at(u"dbfile/DB"_s), "x"));
        QVERIFY(QDir().mkpath(at(u"dblink"_s)) && QFile::link(at(u"nowhere"_s), at(u"dblink/DB"_s)));
        QVERIFY(QDir().mkpath(at(u"vol"_s)));
        const QString settings = m_dir.path() + u"/config/Tarnwick/Quillory!.conf"_s;
        QVERIFY(ScanFixture::writeFile(settings, "[General]\nMaxResults=1000\n"));
        for (QString &a : args)
            a.replace(u"{root}"_s, root.path());

        const CliRun r = runProgram(args);
        QVERIFY2(r.err.contains(said.toUtf8()), r.err.constData());
        // The reason, and for bad usage the command's usage line.
        QVERIFY(r.err.count('\n') <= (code == 2 ? 2 : 1));
        QCOMPARE(r.code, code);
        if (code == 0)
            return;
        QCOMPARE(r.out, QByteArray());
        QFile s(settings);
        QVERIFY(s.open(QIODevice::ReadOnly));
        QCOMPARE(s.readAll(), QByteArray("[General]\nMaxResults=1000\n"));
        QDir cat(at(u"cat/DB"_s));
        QCOMPARE(cat.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase),
                 QStringList({u"groups.tree"_s, u"Quillory!.lock"_s}));
        QVERIFY(!QFileInfo::exists(at(u"missing"_s)));
        QVERIFY(!QFileInfo::exists(at(u"nowhere"_s)));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
