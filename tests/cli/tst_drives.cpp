// quillory-cli drives: in process over folder volumes (exact lines), and the real program on this machine.
#include "acquire/FolderVolumeBackend.h"
#include "cli/CliApp.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
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
    QDir(dir.path()).mkdir("C");
    QDir(dir.path()).mkdir("D");
    QDir(dir.path()).mkdir("E");
    FolderVolumeBackend folders;
    const QString c = folders.addVolume(
        {dir.filePath("C"), "SYSTEM", 0x0A1B2C3D, "NTFS", 500ull << 30, 1 << 30, DriveKind::Fixed, true});
    const QString d =
        folders.addVolume({dir.filePath("D"), "", 0x1234, "UDF", 4831838208ull, 0, DriveKind::CDROM, false});
    const QString e = folders.addVolume(
        {dir.filePath("E"), "MY\tSTICK", 0xDEADBEEF, "FAT32", 8ull << 30, 0, DriveKind::Removable, true});
    VolumeBackend::setDefaultBackend(&folders);
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    CliApp app;
    const int code = app.run({"--data", dir.path(), "drives"}, CliIo{&out, &err, nullptr});
    VolumeBackend::setDefaultBackend(nullptr);
    QCOMPARE(code, 0);
    QCOMPARE(QString::fromUtf8(out.data()), c + "\tFixed\tpresent\tSYSTEM\t0A1B2C3D\tNTFS\t536870912000\n" + d +
                                                "\tCDROM\tempty\t\t\t\t\n" + e +
                                                "\tRemovable\tpresent\tMY STICK\tDEADBEEF\tFAT32\t8589934592\n");
    QVERIFY(err.data().isEmpty());

    QBuffer out2, err2;
    out2.open(QIODevice::WriteOnly);
    err2.open(QIODevice::WriteOnly);
    QCOMPARE(app.run({"drives", "extra"}, CliIo{&out2, &err2, nullptr}), 2);
}

void TestDrives::realProgram()
{
    QTemporaryDir dir;
    QProcess p;
    p.start(qEnvironmentVariable("QUILLORY_CLI"), {"--data", dir.path(), "drives"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
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
        }
    }
}

QTEST_GUILESS_MAIN(TestDrives)
#include "tst_drives.moc"
