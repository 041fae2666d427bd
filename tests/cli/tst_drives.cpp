// quillory-cli drives: in process over folder volumes (exact lines), and the real program on this machine.
#include "CliRun.h"
#include "acquire/FolderVolumeBackend.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestDrives : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linesOfFolderVolumes();
    void realProgram();
};

void TestDrives::linesOfFolderVolumes()
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    for (const char *name : {"C", "D", "E"})
        QDir(dir.path()).mkdir(name);
    FolderVolumeBackend folders;
    const QString c = folders.addVolume(
        {dir.filePath("C"), "SYSTEM", 0x0A1B2C3D, "NTFS", 500ull << 30, 1 << 30, DriveKind::Fixed, true});
    const QString d =
        folders.addVolume({dir.filePath("D"), "", 0x1234, "UDF", 4831838208ull, 0, DriveKind::CDROM, false});
    const QString e = folders.addVolume(
        {dir.filePath("E"), "MY\tSTICK", 0xDEADBEEF, "FAT32", 8ull << 30, 0, DriveKind::Removable, true});
    VolumeBackend::setDefaultBackend(&folders);
    const CliRun r = runCli({"--data", dir.path(), "drives"});
    const int extra = runCli({"drives", "extra"}).code;
    VolumeBackend::setDefaultBackend(nullptr);
    QCOMPARE(r.code, 0);
    QCOMPARE(QString::fromUtf8(r.out), c + "\tFixed\tpresent\tSYSTEM\t0A1B2C3D\tNTFS\t536870912000\n" + d +
                                           "\tCDROM\tempty\t\t\t\t\n" + e +
                                           "\tRemovable\tpresent\tMY STICK\tDEADBEEF\tFAT32\t8589934592\n");
    QVERIFY(r.err.isEmpty());
    QCOMPARE(extra, 2);
}

void TestDrives::realProgram()
{
    QTemporaryDir dir;
    const CliRun r = runProgram({"--data", dir.path(), "drives"});
    QCOMPARE(r.code, 0);
    for (const QString &line : QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        QCOMPARE(f.size(), 7);
        QVERIFY(QStringList({"Fixed", "CDROM", "Removable"}).contains(f[1]));
        QVERIFY(f[2] == "present" || f[2] == "empty");
        if (f[2] == "present") {
            QVERIFY(f[0].endsWith(u'/'));
            QVERIFY(QRegularExpression("^[0-9A-F]{8}$").match(f[4]).hasMatch());
            bool ok = false;
            f[6].toULongLong(&ok);
            QVERIFY(ok);
        } else {
            QVERIFY(f[0].startsWith("/dev/"));
        }
    }
}

QTEST_GUILESS_MAIN(TestDrives)
#include "tst_drives.moc"
