#include "CabTestUtil.h"

#include "cli/CliApp.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace CabTestUtil;

// The export, import and cat-lists commands run in-process on buffers; one round goes
// through the real binary.
class TestBackupCli : public QObject
{
    Q_OBJECT

    struct Run {
        int code;
        QByteArray out;
        QByteArray err;
    };

    Run run(const QStringList &args, const QByteArray &input = QByteArray())
    {
        QByteArray outBytes, errBytes, inBytes = input;
        QBuffer out(&outBytes), err(&errBytes), in(&inBytes);
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        in.open(QIODevice::ReadOnly);
        CliApp app;
        const int code = app.run(args, CliIo{&out, &err, &in});
        return {code, outBytes, errBytes};
    }

    // A catalogue with one disc whose lists hold CR LF and a non-ASCII name.
    void makeCatalogue(const QString &data)
    {
        Catalogue cat(data);
        cat.lock();
        cat.load({});
        TCD cd;
        cd.Title = QStringLiteral("Holiday");
        cd.Serial = QStringLiteral("0BADF00D");
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
        const QString data = tmp.filePath(QStringLiteral("data"));
        makeCatalogue(data);
        const QString archive = tmp.filePath(QStringLiteral("backup.cab"));

        Run r = run({QStringLiteral("--data"), data, QStringLiteral("export"), archive});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray());
        QVERIFY(cabextractAccepts(archive));
        QCOMPARE(cabextractNames(archive),
                 (QStringList{QStringLiteral("0BADF00D.dat"), QStringLiteral("groups.tree")}));

        r = run({QStringLiteral("--data"), data, QStringLiteral("cat-lists"), QStringLiteral("0BADF00D")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, m_dir + "\t\n" + m_file);

        // Into a fresh catalogue: asked first, "no" changes nothing.
        const QString other = tmp.filePath(QStringLiteral("other"));
        r = run({QStringLiteral("--data"), other, QStringLiteral("import"), archive}, "n\n");
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.startsWith("All existing files will be overwritten. Continue anyway?"));
        QVERIFY(!QFileInfo::exists(other + QStringLiteral("/DB/groups.tree")));

        r = run({QStringLiteral("--data"), other, QStringLiteral("import"), archive}, "yes\n");
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.endsWith("Import Database complete.\n"));
        r = run({QStringLiteral("--data"), other, QStringLiteral("cat-lists"), QStringLiteral("0BADF00D")});
        QCOMPARE(r.out, m_dir + "\t\n" + m_file);
        r = run({QStringLiteral("--data"), other, QStringLiteral("tree")});
        QVERIFY(r.out.contains("Holiday\t0BADF00D"));
    }

    void failuresAreOneLineAndChangeNothing()
    {
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("data"));
        makeCatalogue(data);
        const auto before = snapshot(data + QStringLiteral("/DB"));
        Run r = run({QStringLiteral("--data"), data, QStringLiteral("import"), fixture(QStringLiteral("src/beta.txt")),
                     QStringLiteral("--yes")});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("Cabinet file does not have the correct format [0x0002]\n"));
        QCOMPARE(snapshot(data + QStringLiteral("/DB")), before);

        r = run({QStringLiteral("--data"), data, QStringLiteral("cat-lists"), QStringLiteral("12345678")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Cabinet not found [0x0001]. "));
        QCOMPARE(r.err.count('\n'), 1);

        r = run({QStringLiteral("--data"), data, QStringLiteral("export")});
        QCOMPARE(r.code, 2);
    }

    void realBinary()
    {
        const QString cli = qEnvironmentVariable("QUILLORY_CLI");
        if (cli.isEmpty())
            QSKIP("QUILLORY_CLI not set");
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("data"));
        makeCatalogue(data);
        const QString archive = tmp.filePath(QStringLiteral("b.cab"));
        ToolResult r = runTool(cli, {QStringLiteral("--data"), data, QStringLiteral("export"), archive});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray());
        r = runTool(cli, {QStringLiteral("--data"), tmp.filePath(QStringLiteral("o")), QStringLiteral("import"),
                          archive, QStringLiteral("--yes")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Import Database complete.\n"));
    }
};

QTEST_GUILESS_MAIN(TestBackupCli)
#include "tst_backupcli.moc"
