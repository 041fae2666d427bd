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
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
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
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
