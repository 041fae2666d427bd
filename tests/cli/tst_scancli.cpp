#include "CliRun.h"
#include "ScanFixture.h"

#include "acquire/DiscAdder.h"
#include "acquire/FolderVolumeBackend.h"
#include "listing/FileTypes.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

// add-disc, ls and config on real folders: the record line, the listing of folders and archives, the refusals
// that leave the catalogue as it was, and the preferences steering the scan.
class TestScanCli : public QObject
{
    Q_OBJECT

    CliRun cli(const QStringList &args) { return runCli(QStringList{u"--data"_s, m_data} + args); }
    // What the first disc added to the folder says.
    QByteArray made() const { return "A new catalogue was made in \"" + QFile::encodeName(m_data) + "\".\n"; }
    CliRun addDisc(const QString &title, const QStringList &more = {})
    {
        return cli(QStringList{u"add-disc"_s, m_vol, u"--title"_s, title, u"--label"_s, u"VOL_1"_s, u"--serial"_s,
                               u"00c0ffee"_s, u"--fs"_s, u"UDF"_s} +
                   more);
    }
    QByteArray tree() { return cli({u"tree"_s}).out; }

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
        for (const QString &rel : {u"MUSIC/PACK.ZIP"_s, u"MUSIC/ROCK"_s, u"MUSIC"_s})
            QVERIFY(setMtime(m_vol + rel, m_when));
    }

    void addAndList()
    {
        CliRun r = addDisc(u"Rock Night"_s, {u"--genre"_s, u"Rock"_s, u"--description"_s, u"two\nlines"_s});
        QCOMPARE(r.err, made());
        QCOMPARE(r.code, 0);
        const QByteArray zipSize = QByteArray::number(QFileInfo(m_vol + u"MUSIC/PACK.ZIP"_s).size());
        const QByteArray total = QByteArray::number(5 + 300 + 0 + 3 + zipSize.toLongLong());
        QVERIFY2(r.out.startsWith("Rock Night|VOL_1|00C0FFEE|UDF|" + total + "|two~!lines|Rock|1|"), r.out.constData());
        QVERIFY(r.out.endsWith("|\n"));
        QCOMPARE(r.out.count('|'), 9);
        QCOMPARE(tree(), "My Collection\n  Rock Night\t00C0FFEE\tUDF\t" + total + "\t\n");

        r = cli({u"ls"_s, u"Rock Night"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "MUSIC\tFolder\t" + QByteArray::number(303 + zipSize.toLongLong()) + '\t' + m_whenText +
                            "\nnotes.txt\t" + type(u"notes.txt"_s) + "\t5\t" + m_whenText + "\n");
        // By serial, any case, with a path in another case and without the outer "\".
        r = cli({u"ls"_s, u"00c0ffee"_s, u"music"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("ROCK\tFolder\t300\t" + m_whenText + '\n'));
        QVERIFY(r.out.contains("PACK.ZIP\tCompressed Folder\t" + zipSize + '\t' + m_whenText));
        QVERIFY(r.out.contains("junk.tmp\t"));
        r = cli({u"ls"_s, u"Rock Night"_s, u"\\Music\\Pack.zip\\"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "junk.tmp\t" + type(u"junk.tmp"_s) + "\t3\t" + m_whenText + "\n");

        r = cli({u"ls"_s, u"Rock Night"_s, u"\\NOWHERE\\"_s});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("NOWHERE"));
        QCOMPARE(cli({u"ls"_s, u"Jazz"_s}).code, 1);
    }

    // Folders whose names differ only in case, as a Linux disk may hold them, are listed apart.
    void foldersInAnotherCaseStayApart()
    {
        QVERIFY(writeFile(m_vol + u"Case/abc/lower.txt"_s, "1", m_when));
        QVERIFY(writeFile(m_vol + u"Case/ABC/upper.txt"_s, "22", m_when));
        QCOMPARE(addDisc(u"Cases"_s).code, 0);
        CliRun r = cli({u"ls"_s, u"Cases"_s, u"\\Case\\abc\\"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "lower.txt\t" + type(u"lower.txt"_s) + "\t1\t" + m_whenText + '\n');
        r = cli({u"ls"_s, u"Cases"_s, u"Case/ABC"_s});
        QCOMPARE(r.out, "upper.txt\t" + type(u"upper.txt"_s) + "\t2\t" + m_whenText + '\n');
    }

    void refusalsLeaveTheCatalogueAsItWas()
    {
        // A title the checks refuse: one line, the checks' own words, and no catalogue written.
        CliRun r = addDisc(QString());
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, DiscAdder::CheckTitle(QString()).toUtf8() + '\n');
        r = addDisc(u"A|B"_s);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err.count('\n'), 1);
        // Titles that "groups.tree" would read as indentation: refused, so the tree stays readable.
        for (const QString &title : {u"  Leading"_s, u"\tTab"_s}) {
            r = addDisc(title);
            QCOMPARE(r.code, 1);
            QCOMPARE(r.err, DiscAdder::CheckTitle(title).toUtf8() + '\n');
        }
        QCOMPARE(addDisc(u"X"_s, {u"--group"_s, u"Nope"_s}).code, 1);
        QCOMPARE(addDisc(u"T"_s, {u"--number"_s, u"ten"_s}).code, 1);
        QVERIFY(!QFile::exists(m_data + u"/DB/groups.tree"_s));

        QCOMPARE(addDisc(u"First"_s).code, 0);
        const QByteArray before = tree();
        // Already catalogued: refused without --replace.
        r = addDisc(u"Second"_s);
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Disc is already in database"));
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(tree(), before);
        // Bad usage: exit 2.
        QCOMPARE(cli({u"add-disc"_s, m_vol, u"--title"_s, u"T"_s, u"--label"_s, u"L"_s}).code, 2);
        QCOMPARE(tree(), before);

        r = addDisc(u"Second"_s, {u"--replace"_s, u"--number"_s, u"42"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Second|VOL_1|00C0FFEE|UDF|"));
        QVERIFY(r.out.contains("|42|"));
        QCOMPARE(tree(), before.left(before.indexOf("First")) + "Second" + before.mid(before.indexOf('\t')));
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
        const CliRun r = cli({u"ls"_s, u"Filtered"_s, u"\\MUSIC\\"_s});
        QCOMPARE(r.code, 0);
        // The folder mask took ROCK, the file mask junk.tmp, and the ZIP filter is off.
        QCOMPARE(r.out, "PACK.ZIP\t" + type(u"PACK.ZIP"_s) + '\t' +
                            QByteArray::number(QFileInfo(m_vol + u"MUSIC/PACK.ZIP"_s).size()) + '\t' + m_whenText +
                            '\n');

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
        const QString drive = backend.addVolume(
            {m_dir->path() + u"/vol"_s, u"HOLIDAY_2003"_s, 0x00001234, u"CDFS"_s, 650u << 20, 0, DriveKind::CDROM});
        VolumeBackend::setDefaultBackend(&backend);
        CliRun r = cli({u"add-disc"_s, drive, u"--title"_s, u"Holiday"_s});
        QCOMPARE(r.err, made());
        QVERIFY(r.out.startsWith("Holiday|HOLIDAY_2003|00001234|CDFS|"));
        // A folder inside the volume has no serial of its own: it must be given one.
        r = cli({u"add-disc"_s, drive + u"MUSIC"_s, u"--title"_s, u"Music only"_s});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("--serial"), r.err.constData());
        QCOMPARE(r.err.count('\n'), 1);
        r = cli({u"add-disc"_s, drive + u"MUSIC"_s, u"--title"_s, u"Music only"_s, u"--serial"_s, u"0000beef"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Music only||0000BEEF||"));
        QVERIFY(tree().contains("Holiday\t00001234\t"));
        backend.setPresent(drive, false);
        r = cli({u"add-disc"_s, drive, u"--title"_s, u"Gone"_s});
        VolumeBackend::setDefaultBackend(nullptr);
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("Disc not present"));
    }

    void realProgram()
    {
        // The built program, with its own environment: settings under XDG_CONFIG_HOME.
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI is not set");
        QCOMPARE(runProgram({u"--data"_s, m_data, u"config"_s, u"set"_s, u"Filter 6"_s, u"1"_s}).code, 0);
        QCOMPARE(cli({u"config"_s, u"get"_s, u"Filter 6"_s}).out, QByteArray("1\n"));
        const CliRun r = runProgram({u"--data"_s, m_data, u"add-disc"_s, m_vol, u"--title"_s, u"Run"_s, u"--label"_s,
                                     u"L"_s, u"--serial"_s, u"ABCDEF01"_s, u"--fs"_s, u"FAT32"_s});
        QCOMPARE(r.err, made());
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Run|L|ABCDEF01|FAT32|"));
    }

    void unreadableFolderNamedOnStandardError()
    {
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI is not set");
        QStringList command{qEnvironmentVariable("QUILLORY_CLI")};
        // Permissions do not bind the superuser: the program then runs as "nobody", who must
        // reach the volume and may write the catalogue and the settings.
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
            if (setpriv.isEmpty())
                QSKIP("setpriv is needed to run the program as another user");
            command.prepend(u"--clear-groups"_s);
            command.prepend(u"--regid=65534"_s);
            command.prepend(u"--reuid=65534"_s);
            command.prepend(setpriv);
            for (const QString &open : {m_dir->path(), m_home.path()})
                QVERIFY(QFile::setPermissions(open, QFile::permissions(open) | QFile::ExeOther | QFile::ReadOther));
            for (const QString &shared : {m_data, m_home.path() + u"/config"_s, m_home.path() + u"/share"_s}) {
                QVERIFY(QDir().mkpath(shared));
                QVERIFY(::chmod(QFile::encodeName(shared).constData(), 0777) == 0);
            }
        }
        QVERIFY(writeFile(m_vol + u"LOCKED/secret.txt"_s, "secret", m_when));
        const QByteArray locked = QFile::encodeName(m_vol + u"LOCKED"_s);
        QVERIFY(::chmod(locked.constData(), 0) == 0);
        QProcess p;
        p.start(command.takeFirst(), command + QStringList{u"--data"_s, m_data, u"add-disc"_s, m_vol, u"--title"_s,
                                                             u"Partial"_s, u"--serial"_s, u"0000BEEF"_s});
        const bool finished = p.waitForFinished(60000);
        ::chmod(locked.constData(), 0755);
        QVERIFY(finished);
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitCode(), 0);
        QStringList told;
        for (const QByteArray &line : err.split('\n'))
            if (line.startsWith("Cannot read"))
                told << QString::fromUtf8(line);
        QCOMPARE(told, QStringList{u"Cannot read \"%1LOCKED\": %2"_s.arg(m_vol, QString::fromLocal8Bit(strerror(EACCES)))});
        QVERIFY(p.readAllStandardOutput().startsWith("Partial|"));
        const CliRun listed = cli({u"ls"_s, u"Partial"_s});
        QCOMPARE(listed.code, 0);
        QVERIFY(listed.out.contains("notes.txt"));
        QVERIFY(listed.out.contains("LOCKED"));
    }
};

QTEST_GUILESS_MAIN(TestScanCli)
#include "tst_scancli.moc"
