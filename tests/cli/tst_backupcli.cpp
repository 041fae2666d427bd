#include "CabTestUtil.h"
#include "CliRun.h"

#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

using namespace CabTestUtil;

// The export, import and cat-lists commands run in-process on buffers; one round goes
// through the real binary.
class TestBackupCli : public QObject
{
    Q_OBJECT

    // A catalogue with one disc whose lists hold CR LF and a non-ASCII name.
    void makeCatalogue(const QString &data)
    {
        Catalogue cat(data);
        cat.lock();
        cat.load({});
        TCD cd;
        cd.Title = u"Holiday"_s;
        cd.Serial = u"0BADF00D"_s;
        cat.tree().addDisc(cat.tree().root(), cd);
        ContentsFile::packBytes(cat.dbFolder(), cd.Serial, m_dir, m_file);
        cat.save();
    }

    const QByteArray m_dir = "PICS\\\r\n\\\r\n3\r\n01.02.2003\r\n-\r\n";
    const QByteArray m_file =
        "Caf\xC3\xA9.jpg\r\n\\PICS\\\r\n3\r\n01.02.2003 10:11:12\r\nWidth: 1\r\nHeight:1\r\n-\r\n";

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void exportImportAndCatLists()
    {
        QTemporaryDir tmp;
        const QString data = tmp.filePath(u"data"_s);
        makeCatalogue(data);
        const QString archive = tmp.filePath(u"backup.cab"_s);

        CliRun r = runCli({u"--data"_s, data, u"export"_s, archive});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray());
        QVERIFY(cabextractAccepts(archive));
        QCOMPARE(cabextractNames(archive), (QStringList{u"0BADF00D.dat"_s, u"groups.tree"_s}));

        r = runCli({u"--data"_s, data, u"cat-lists"_s, u"0BADF00D"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, m_dir + "\t\n" + m_file);

        // Into a fresh catalogue: asked first, "no" changes nothing.
        const QString other = tmp.filePath(u"other"_s);
        r = runCli({u"--data"_s, other, u"import"_s, archive}, "n\n");
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.startsWith("All existing files will be overwritten. Continue anyway?"));
        QVERIFY(!QFileInfo::exists(other + u"/DB/groups.tree"_s));

        r = runCli({u"--data"_s, other, u"import"_s, archive}, "yes\n");
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.endsWith("Import Database complete.\n"));
        r = runCli({u"--data"_s, other, u"cat-lists"_s, u"0BADF00D"_s});
        QCOMPARE(r.out, m_dir + "\t\n" + m_file);
        r = runCli({u"--data"_s, other, u"tree"_s});
        QVERIFY(r.out.contains("Holiday\t0BADF00D"));
    }

    void failuresAreOneLineAndChangeNothing()
    {
        QTemporaryDir tmp;
        const QString data = tmp.filePath(u"data"_s);
        makeCatalogue(data);
        const auto before = snapshot(data + u"/DB"_s);
        CliRun r = runCli({u"--data"_s, data, u"import"_s, fixture(u"src/beta.txt"_s), u"--yes"_s});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("Cabinet file does not have the correct format [0x0002]\n"));
        QCOMPARE(snapshot(data + u"/DB"_s), before);

        r = runCli({u"--data"_s, data, u"cat-lists"_s, u"12345678"_s});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Cabinet not found [0x0001]. "));
        QCOMPARE(r.err.count('\n'), 1);

        r = runCli({u"--data"_s, data, u"export"_s});
        QCOMPARE(r.code, 2);
    }

    // Every write path reports the system's reason when the disk refuses more (a file size
    // limit stands in for a full disk), and the catalogue stays as it was.
    void writeFailuresNameTheReason_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("add-disc lists") << u"add-disc"_s;
        QTest::newRow("tree save") << u"export-tree"_s;
        QTest::newRow("export archive") << u"export"_s;
        QTest::newRow("import extraction") << u"import"_s;
    }
    void writeFailuresNameTheReason()
    {
        QFETCH(QString, command);
        QTemporaryDir tmp;
        const QString data = tmp.filePath(u"data"_s);
        const QString db = data + u"/DB/"_s;
        makeCatalogue(data);
        // Contents that do not compress: a disc's contents file larger than the limit.
        QByteArray noise(16384, Qt::Uninitialized);
        QRandomGenerator rng(7);
        for (char &c : noise)
            c = char(rng.bounded(256));
        ContentsFile::packBytes(db, u"0BADF00D"_s, m_dir, noise.toBase64());
        const QString archive = tmp.filePath(u"backup.cab"_s);
        QCOMPARE(runCli({u"--data"_s, data, u"export"_s, archive}).code, 0);
        const QString scanned = tmp.filePath(u"volume"_s);
        for (int i = 0; i < 300; ++i)
            writeFile(scanned + u"/a file with a longer name %1.txt"_s.arg(i), "x");

        QStringList args{u"--data"_s, data};
        if (command == u"add-disc"_s) {
            args << command << scanned << u"--title"_s << u"Volume"_s << u"--serial"_s << u"12345678"_s;
        } else if (command == u"export-tree"_s) {
            QStringList lines{u"My Collection"_s};
            for (int i = 0; i < 200; ++i)
                lines << u"\tGroup number %1 of many"_s.arg(i);
            TextCodec::writeLines(db + u"groups.tree"_s, lines);
            args << u"export"_s << tmp.filePath(u"new.cab"_s);
        } else if (command == u"export"_s) {
            args << command << tmp.filePath(u"new.cab"_s);
        } else {
            args << command << archive << u"--yes"_s;
        }
        const auto before = snapshot(db);

        ::signal(SIGXFSZ, SIG_IGN);
        rlimit old;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit small = old;
        small.rlim_cur = 4096;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const CliRun r = runCli(args, "yes\n");
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);

        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(strerror(EFBIG)), r.err.constData());
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(snapshot(db), before);
        QVERIFY(!QFileInfo::exists(tmp.filePath(u"new.cab"_s)));
    }

    void exportOverTheCatalogueIsRefused()
    {
        QTemporaryDir tmp;
        const QString data = tmp.filePath(u"data"_s);
        makeCatalogue(data);
        const auto before = snapshot(data + u"/DB"_s);
        const CliRun r = runCli({u"--data"_s, data, u"export"_s, data + u"/DB/0BADF00D.dat"_s});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("inside the database folder"), r.err.constData());
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(snapshot(data + u"/DB"_s), before);
    }

    void realBinary()
    {
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI not set");
        QTemporaryDir tmp;
        const QString data = tmp.filePath(u"data"_s);
        makeCatalogue(data);
        const QString archive = tmp.filePath(u"b.cab"_s);
        CliRun r = runProgram({u"--data"_s, data, u"export"_s, archive});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out + r.err, QByteArray());
        r = runProgram({u"--data"_s, tmp.filePath(u"o"_s), u"import"_s, archive, u"--yes"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("Import Database complete.\n"));
        QCOMPARE(r.err, "A new catalogue was made in \"" + QFile::encodeName(tmp.filePath(u"o"_s)) + "\".\n");
    }
};

QTEST_GUILESS_MAIN(TestBackupCli)
#include "tst_backupcli.moc"
