#include "ScanFixture.h"

#include "acquire/FolderVolumeBackend.h"
#include "browser/FileTypes.h"
#include "cli/CliApp.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

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
        args.prepend(u"--data"_s);
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
        return cli(QStringList{u"add-disc"_s, m_vol, u"--title"_s, title, u"--label"_s, u"VOL_1"_s, u"--serial"_s,
                               u"00c0ffee"_s, u"--fs"_s, u"UDF"_s} +
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
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + u"/config"_s));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path() + u"/share"_s));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        QFile::remove(m_home.path() + u"/config/Tarnwick/Quillory!.conf"_s);
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_data = m_dir->path() + u"/data"_s;
        m_vol = m_dir->path() + u"/vol/"_s;
        QVERIFY(writeFile(m_vol + u"notes.txt"_s, "12345", m_when));
        QVERIFY(writeFile(m_vol + u"MUSIC/ROCK/song.mp3"_s, QByteArray(300, 's'), m_when));
        QVERIFY(writeFile(m_vol + u"MUSIC/ROCK/empty.dat"_s, "", m_when));
        QVERIFY(writeFile(m_vol + u"MUSIC/junk.tmp"_s, "tmp", m_when));
        QVERIFY(run(m_vol + u"MUSIC"_s, u"zip"_s, {u"-q"_s, u"-0"_s, u"PACK.ZIP"_s, u"junk.tmp"_s}));
        QVERIFY(setMtime(m_vol + u"MUSIC/PACK.ZIP"_s, m_when));
        QVERIFY(setMtime(m_vol + u"MUSIC/ROCK"_s, m_when));
        QVERIFY(setMtime(m_vol + u"MUSIC"_s, m_when));
    }

    void addAndList()
    {
        Result r = addDisc(u"Rock Night"_s, {u"--genre"_s, u"Rock"_s, u"--description"_s, u"two\nlines"_s});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.code, 0);
        const qint64 zipSize = QFileInfo(m_vol + u"MUSIC/PACK.ZIP"_s).size();
        const QList<QByteArray> fields = r.out.trimmed().split('|');
        QCOMPARE(fields.size(), 10);
        QCOMPARE(fields.mid(0, 4), (QList<QByteArray>{"Rock Night", "VOL_1", "00C0FFEE", "UDF"}));
        QCOMPARE(fields[4], QByteArray::number(5 + 300 + 0 + 3 + zipSize));
        QCOMPARE(fields[5], QByteArray("two!lines"));
        QCOMPARE(fields[6], QByteArray("Rock"));
        QCOMPARE(fields[7], QByteArray("1"));
        QVERIFY(fields[9].isEmpty());

        r = cli({u"tree"_s});
        QCOMPARE(r.out, "My Collection\n  Rock Night\t00C0FFEE\tUDF\t" + fields[4] + "\t\n");

        r = cli({u"ls"_s, u"Rock Night"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "MUSIC\tFolder\t" + QByteArray::number(303 + zipSize) + '\t' + m_whenText + "\n" +
                            "notes.txt\t" + type(u"notes.txt"_s) + "\t5\t" + m_whenText + "\n");

        // By serial, any case, with a path in another case and without the outer "\".
        r = cli({u"ls"_s, u"00c0ffee"_s, u"music"_s});
        QCOMPARE(r.code, 0);
        QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.first(), "ROCK\tFolder\t300\t" + m_whenText);
        QVERIFY(r.out.contains("PACK.ZIP\tCompressed Folder\t" + QByteArray::number(zipSize) + '\t' + m_whenText));
        QVERIFY(r.out.contains("junk.tmp\t"));

        r = cli({u"ls"_s, u"Rock Night"_s, u"\\Music\\Pack.zip\\"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "junk.tmp\t" + type(u"junk.tmp"_s) + "\t3\t" + m_whenText + "\n");

        r = cli({u"ls"_s, u"Rock Night"_s, u"\\NOWHERE\\"_s});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("NOWHERE"));
        r = cli({u"ls"_s, u"Jazz"_s});
        QCOMPARE(r.code, 1);
    }

    void titleChecksAndReplace()
    {
        Result r = addDisc(QString());
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("You must enter title for disc!\n"));
        r = addDisc(u"A|B"_s);
        QCOMPARE(r.err, QByteArray("Disc title cannot contain \"|\" character!\n"));
        QVERIFY(!QFile::exists(m_data + u"/DB/groups.tree"_s));

        QCOMPARE(addDisc(u"First"_s).code, 0);
        QCOMPARE(cli({u"add-disc"_s, m_vol, u"--title"_s, u"X"_s, u"--group"_s, u"Nope"_s, u"--label"_s, u"L"_s,
                      u"--serial"_s, u"12345678"_s, u"--fs"_s, u"FAT"_s})
                     .code,
                 1);

        // Already catalogued: refused without --replace, and the catalogue stays as it was.
        const QByteArray treeBefore = cli({u"tree"_s}).out;
        r = addDisc(u"Second"_s);
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Disc is already in database"));
        QCOMPARE(cli({u"tree"_s}).out, treeBefore);

        r = addDisc(u"Second"_s, {u"--replace"_s, u"--number"_s, u"42"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Second|VOL_1|00C0FFEE|UDF|"));
        QVERIFY(r.out.contains("|42|"));
        QVERIFY(cli({u"tree"_s}).out.contains("\n  Second\t00C0FFEE"));
        QVERIFY(!cli({u"tree"_s}).out.contains("First"));

        // Bad usage: exit 2.
        QCOMPARE(cli({u"add-disc"_s, m_vol, u"--title"_s, u"T"_s, u"--label"_s, u"L"_s}).code, 2);
        QCOMPARE(addDisc(u"T"_s, {u"--number"_s, u"ten"_s}).code, 1);
    }

    void preferencesSteerTheScan()
    {
        QCOMPARE(cli({u"config"_s, u"get"_s, u"Filter 6"_s}).out, QByteArray("0\n"));
        QCOMPARE(cli({u"config"_s, u"set"_s, u"EmptyFiles"_s, u"1"_s}).code, 0);
        QCOMPARE(cli({u"config"_s, u"set"_s, u"Filter 0"_s, u"0"_s}).code, 0);
        QCOMPARE(cli({u"config"_s, u"exclusions"_s, u"*.TMP"_s, u"rock\\"_s}).code, 0);
        QCOMPARE(cli({u"config"_s, u"exclusions"_s}).out, QByteArray("*.TMP\nrock\\\n"));
        QCOMPARE(cli({u"config"_s, u"get"_s, u"EmptyFiles"_s}).out, QByteArray("1\n"));

        QCOMPARE(addDisc(u"Filtered"_s).code, 0);
        const Result r = cli({u"ls"_s, u"Filtered"_s, u"\\MUSIC\\"_s});
        QCOMPARE(r.code, 0);
        // The folder mask took ROCK, the file mask junk.tmp, and the ZIP filter is off.
        QVERIFY(!r.out.contains("ROCK"));
        QVERIFY(!r.out.contains("junk.tmp"));
        QVERIFY(r.out.contains("PACK.ZIP\t" + type(u"PACK.ZIP"_s) + '\t'));

        // Refusals: a bad value, an unknown name, a mask the matcher cannot read.
        QCOMPARE(cli({u"config"_s, u"set"_s, u"MaxResults"_s, u"lots"_s}).code, 1);
        QCOMPARE(cli({u"config"_s, u"get"_s, u"Colour"_s}).code, 2);
        QCOMPARE(cli({u"config"_s, u"exclusions"_s, u"[a-"_s}).code, 1);
        QCOMPARE(cli({u"config"_s, u"exclusions"_s}).out, QByteArray("*.TMP\nrock\\\n"));
        QCOMPARE(cli({u"config"_s, u"exclusions"_s, u"--clear"_s}).code, 0);
        QCOMPARE(cli({u"config"_s, u"exclusions"_s}).out, QByteArray());
    }

    void mountedVolume()
    {
        FolderVolumeBackend backend;
        FolderVolume v;
        v.folder = m_dir->path() + u"/vol"_s;
        v.label = u"HOLIDAY_2003"_s;
        v.serial = 0x00001234;
        v.fileSystem = u"CDFS"_s;
        v.totalBytes = 650u << 20;
        const QString drive = backend.addVolume(v);
        VolumeBackend::setDefaultBackend(&backend);
        Result r = cli({u"add-disc"_s, drive, u"--title"_s, u"Holiday"_s});
        QCOMPARE(r.err, QByteArray());
        QVERIFY(r.out.startsWith("Holiday|HOLIDAY_2003|00001234|CDFS|"));

        backend.setPresent(drive, false);
        r = cli({u"add-disc"_s, drive, u"--title"_s, u"Gone"_s});
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
        p.start(program, {u"--data"_s, m_data, u"config"_s, u"set"_s, u"Filter 6"_s, u"1"_s});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(cli({u"config"_s, u"get"_s, u"Filter 6"_s}).out, QByteArray("1\n"));
        p.start(program, {u"--data"_s, m_data, u"add-disc"_s, m_vol, u"--title"_s, u"Run"_s, u"--label"_s, u"L"_s,
                          u"--serial"_s, u"ABCDEF01"_s, u"--fs"_s, u"FAT32"_s});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.readAllStandardError(), QByteArray());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith("Run|L|ABCDEF01|FAT32|"));
    }
};

QTEST_GUILESS_MAIN(TestScanCli)
#include "tst_scancli.moc"
