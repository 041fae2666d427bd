#include "ScanFixture.h"

#include "acquire/FolderVolumeBackend.h"
#include "browser/FileTypes.h"
#include "cli/CliApp.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace ScanFixture;

// add-disc, ls and config on real folders: the record line, the listing of folders and
// archives, the title and replace rules, and the preferences steering the scan.
class TestScanCli : public QObject
{
    Q_OBJECT

    struct Result {
        int code;
        QByteArray out;
        QByteArray err;
    };
    Result cli(QStringList args)
    {
        args.prepend(m_data);
        args.prepend(QStringLiteral("--data"));
        QBuffer out, err, in;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        in.open(QIODevice::ReadOnly);
        CliApp app;
        const int code = app.run(args, CliIo{&out, &err, &in});
        return {code, out.data(), err.data()};
    }
    Result addDisc(const QString &title, const QStringList &more = {})
    {
        return cli(QStringList{QStringLiteral("add-disc"), m_vol, QStringLiteral("--title"), title,
                               QStringLiteral("--label"), QStringLiteral("VOL_1"), QStringLiteral("--serial"),
                               QStringLiteral("00c0ffee"), QStringLiteral("--fs"), QStringLiteral("UDF")} +
                   more);
    }

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_data;
    QString m_vol;
    const QDateTime m_when{QDate(2004, 3, 1), QTime(10, 20, 30)};
    const QByteArray m_whenText = "3/1/2004 10:20:30 AM";

    QByteArray type(const QString &name) const { return FileTypes::GetFileType(name).toUtf8(); }

private Q_SLOTS:
    void initTestCase()
    {
        // The settings file lives under the configuration home: keep it inside the test.
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + QLatin1String("/config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path() + QLatin1String("/share")));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        QFile::remove(m_home.path() + QLatin1String("/config/Tarnwick/Quillory!.conf"));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_data = m_dir->path() + QLatin1String("/data");
        m_vol = m_dir->path() + QLatin1String("/vol/");
        QVERIFY(writeFile(m_vol + QLatin1String("notes.txt"), "12345", m_when));
        QVERIFY(writeFile(m_vol + QLatin1String("MUSIC/ROCK/song.mp3"), QByteArray(300, 's'), m_when));
        QVERIFY(writeFile(m_vol + QLatin1String("MUSIC/ROCK/empty.dat"), "", m_when));
        QVERIFY(writeFile(m_vol + QLatin1String("MUSIC/junk.tmp"), "tmp", m_when));
        QVERIFY(
            run(m_vol + QLatin1String("MUSIC"), QStringLiteral("zip"),
                {QStringLiteral("-q"), QStringLiteral("-0"), QStringLiteral("PACK.ZIP"), QStringLiteral("junk.tmp")}));
        QVERIFY(setMtime(m_vol + QLatin1String("MUSIC/PACK.ZIP"), m_when));
        QVERIFY(setMtime(m_vol + QLatin1String("MUSIC/ROCK"), m_when));
        QVERIFY(setMtime(m_vol + QLatin1String("MUSIC"), m_when));
    }

    void addAndList()
    {
        Result r =
            addDisc(QStringLiteral("Rock Night"), {QStringLiteral("--genre"), QStringLiteral("Rock"),
                                                   QStringLiteral("--description"), QStringLiteral("two\nlines")});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.code, 0);
        const qint64 zipSize = QFileInfo(m_vol + QLatin1String("MUSIC/PACK.ZIP")).size();
        const QList<QByteArray> fields = r.out.trimmed().split('|');
        QCOMPARE(fields.size(), 10);
        QCOMPARE(fields.mid(0, 4), (QList<QByteArray>{"Rock Night", "VOL_1", "00C0FFEE", "UDF"}));
        QCOMPARE(fields[4], QByteArray::number(5 + 300 + 0 + 3 + zipSize));
        QCOMPARE(fields[5], QByteArray("two!lines"));
        QCOMPARE(fields[6], QByteArray("Rock"));
        QCOMPARE(fields[7], QByteArray("1"));
        QVERIFY(fields[9].isEmpty());

        r = cli({QStringLiteral("tree")});
        QCOMPARE(r.out, "My Collection\n  Rock Night\t00C0FFEE\tUDF\t" + fields[4] + "\t\n");

        r = cli({QStringLiteral("ls"), QStringLiteral("Rock Night")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "MUSIC\tFolder\t" + QByteArray::number(303 + zipSize) + '\t' + m_whenText + "\n" +
                            "notes.txt\t" + type(QStringLiteral("notes.txt")) + "\t5\t" + m_whenText + "\n");

        // By serial, any case, with a path in another case and without the outer "\".
        r = cli({QStringLiteral("ls"), QStringLiteral("00c0ffee"), QStringLiteral("music")});
        QCOMPARE(r.code, 0);
        QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.first(), "ROCK\tFolder\t300\t" + m_whenText);
        QVERIFY(r.out.contains("PACK.ZIP\tCompressed Folder\t" + QByteArray::number(zipSize) + '\t' + m_whenText));
        QVERIFY(r.out.contains("junk.tmp\t"));

        r = cli({QStringLiteral("ls"), QStringLiteral("Rock Night"), QStringLiteral("\\Music\\Pack.zip\\")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "junk.tmp\t" + type(QStringLiteral("junk.tmp")) + "\t3\t" + m_whenText + "\n");

        r = cli({QStringLiteral("ls"), QStringLiteral("Rock Night"), QStringLiteral("\\NOWHERE\\")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("NOWHERE"));
        r = cli({QStringLiteral("ls"), QStringLiteral("Jazz")});
        QCOMPARE(r.code, 1);
    }

    void titleChecksAndReplace()
    {
        Result r = addDisc(QString());
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("You must enter title for disc!\n"));
        r = addDisc(QStringLiteral("A|B"));
        QCOMPARE(r.err, QByteArray("Disc title cannot contain \"|\" character!\n"));
        QVERIFY(!QFile::exists(m_data + QLatin1String("/DB/groups.tree")));

        QCOMPARE(addDisc(QStringLiteral("First")).code, 0);
        QCOMPARE(
            cli({QStringLiteral("add-disc"), m_vol, QStringLiteral("--title"), QStringLiteral("X"),
                 QStringLiteral("--group"), QStringLiteral("Nope"), QStringLiteral("--label"), QStringLiteral("L"),
                 QStringLiteral("--serial"), QStringLiteral("12345678"), QStringLiteral("--fs"), QStringLiteral("FAT")})
                .code,
            1);

        // Already catalogued: refused without --replace, and the catalogue stays as it was.
        const QByteArray treeBefore = cli({QStringLiteral("tree")}).out;
        r = addDisc(QStringLiteral("Second"));
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Disc is already in database"));
        QCOMPARE(cli({QStringLiteral("tree")}).out, treeBefore);

        r = addDisc(QStringLiteral("Second"),
                    {QStringLiteral("--replace"), QStringLiteral("--number"), QStringLiteral("42")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Second|VOL_1|00C0FFEE|UDF|"));
        QVERIFY(r.out.contains("|42|"));
        QVERIFY(cli({QStringLiteral("tree")}).out.contains("\n  Second\t00C0FFEE"));
        QVERIFY(!cli({QStringLiteral("tree")}).out.contains("First"));

        // Bad usage: exit 2.
        QCOMPARE(cli({QStringLiteral("add-disc"), m_vol, QStringLiteral("--title"), QStringLiteral("T"),
                      QStringLiteral("--label"), QStringLiteral("L")})
                     .code,
                 2);
        QCOMPARE(addDisc(QStringLiteral("T"), {QStringLiteral("--number"), QStringLiteral("ten")}).code, 1);
    }

    void preferencesSteerTheScan()
    {
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("Filter 6")}).out,
                 QByteArray("0\n"));
        QCOMPARE(
            cli({QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("EmptyFiles"), QStringLiteral("1")})
                .code,
            0);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("Filter 0"), QStringLiteral("0")})
                     .code,
                 0);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("exclusions"), QStringLiteral("*.TMP"),
                      QStringLiteral("rock\\")})
                     .code,
                 0);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("exclusions")}).out, QByteArray("*.TMP\nrock\\\n"));
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("EmptyFiles")}).out,
                 QByteArray("1\n"));

        QCOMPARE(addDisc(QStringLiteral("Filtered")).code, 0);
        const Result r = cli({QStringLiteral("ls"), QStringLiteral("Filtered"), QStringLiteral("\\MUSIC\\")});
        QCOMPARE(r.code, 0);
        // The folder mask took ROCK, the file mask junk.tmp, and the ZIP filter is off.
        QVERIFY(!r.out.contains("ROCK"));
        QVERIFY(!r.out.contains("junk.tmp"));
        QVERIFY(r.out.contains("PACK.ZIP\t" + type(QStringLiteral("PACK.ZIP")) + '\t'));

        // Refusals: a bad value, an unknown name, a mask the matcher cannot read.
        QCOMPARE(
            cli({QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("MaxResults"), QStringLiteral("lots")})
                .code,
            1);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("Colour")}).code, 2);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("exclusions"), QStringLiteral("[a-")}).code, 1);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("exclusions")}).out, QByteArray("*.TMP\nrock\\\n"));
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("exclusions"), QStringLiteral("--clear")}).code, 0);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("exclusions")}).out, QByteArray());
    }

    void mountedVolume()
    {
        FolderVolumeBackend backend;
        FolderVolume v;
        v.folder = m_dir->path() + QLatin1String("/vol");
        v.label = QStringLiteral("HOLIDAY_2003");
        v.serial = 0x00001234;
        v.fileSystem = QStringLiteral("CDFS");
        v.totalBytes = 650u << 20;
        const QString drive = backend.addVolume(v);
        VolumeBackend::setDefaultBackend(&backend);
        Result r = cli({QStringLiteral("add-disc"), drive, QStringLiteral("--title"), QStringLiteral("Holiday")});
        QCOMPARE(r.err, QByteArray());
        QVERIFY(r.out.startsWith("Holiday|HOLIDAY_2003|00001234|CDFS|"));

        backend.setPresent(drive, false);
        r = cli({QStringLiteral("add-disc"), drive, QStringLiteral("--title"), QStringLiteral("Gone")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Disc not present"));
        VolumeBackend::setDefaultBackend(nullptr);
    }

    void realProgram()
    {
        // The installed program, with its own environment: settings under XDG_CONFIG_HOME.
        const QString program = qEnvironmentVariable("QUILLORY_CLI");
        if (program.isEmpty())
            QSKIP("QUILLORY_CLI is not set");
        QProcess p;
        p.start(program, {QStringLiteral("--data"), m_data, QStringLiteral("config"), QStringLiteral("set"),
                          QStringLiteral("Filter 6"), QStringLiteral("1")});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(cli({QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("Filter 6")}).out,
                 QByteArray("1\n"));
        p.start(program,
                {QStringLiteral("--data"), m_data, QStringLiteral("add-disc"), m_vol, QStringLiteral("--title"),
                 QStringLiteral("Run"), QStringLiteral("--label"), QStringLiteral("L"), QStringLiteral("--serial"),
                 QStringLiteral("ABCDEF01"), QStringLiteral("--fs"), QStringLiteral("FAT32")});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.readAllStandardError(), QByteArray());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith("Run|L|ABCDEF01|FAT32|"));
    }
};

QTEST_GUILESS_MAIN(TestScanCli)
#include "tst_scancli.moc"
