// Disc images mounted through loop devices are drives of their own, and a media notice takes
// only a removable or optical drive for a disc that arrived: on the Linux backend, reading a
// sysfs tree and a mount table made for the test.
#include "ScanFixture.h"
#include "acquire/DriveList.h"
#include "acquire/LinuxVolumeBackend.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLoopDrives : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mountArrives_data()
    {
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("mountPoint"); // under the test folder
        QTest::addColumn<QString>("kind");       // of the drive listed for the device, "-" for none
        QTest::addColumn<bool>("arrived");

        QTest::newRow("disc image, mount -o loop") << "iso9660"
                                                   << "/dev/loop3"
                                                   << "mnt/iso"
                                                   << "CDROM" << true;
        QTest::newRow("DVD image") << "udf"
                                   << "/dev/loop4"
                                   << "media/me/DVD"
                                   << "CDROM" << true;
        QTest::newRow("stick image, udisksctl loop-setup") << "vfat"
                                                           << "/dev/loop5"
                                                           << "media/me/STICK"
                                                           << "Removable" << true;
        QTest::newRow("snap package") << "squashfs"
                                      << "/dev/loop6"
                                      << "snap/core/17"
                                      << "-" << false;
        // The fault: any mount proposed the first drive, the system's root file system.
        QTest::newRow("system disk's partition") << "ext4"
                                                 << "/dev/vdq1"
                                                 << "mnt/data"
                                                 << "Fixed" << false;
    }

    void mountArrives()
    {
        QFETCH(QString, fileSystem);
        QFETCH(QString, device);
        QFETCH(QString, mountPoint);
        QFETCH(QString, kind);
        QFETCH(bool, arrived);

        QTemporaryDir dir;
        const QString sys = dir.filePath("sys/block");
        for (const char *entry : {"vdq/removable 0", "vdq/vdq1/partition 1", "vdq/vdq2/partition 2",
                                  "loop3/removable 0", "loop4/removable 0", "loop5/removable 0", "loop6/removable 0"}) {
            const QList<QByteArray> file = QByteArray(entry).split(' ');
            QVERIFY(ScanFixture::writeFile(sys + u'/' + QString::fromLatin1(file[0]), file[1] + '\n'));
        }
        const QString mountInfo = dir.filePath("mountinfo");
        const QByteArray system = "27 1 254:2 / / rw - ext4 /dev/vdq2 rw\n";
        QVERIFY(ScanFixture::writeFile(mountInfo, system));
        LinuxVolumeBackend backend(QDBusConnection(QString()), sys, mountInfo);
        DriveList drives(&backend);
        drives.SaveDriveState();

        const QString point = dir.filePath(mountPoint);
        QVERIFY(QDir().mkpath(point));
        QVERIFY(ScanFixture::writeFile(mountInfo, system + "40 27 7:3 / " + point.toUtf8() + " rw - " +
                                                      fileSystem.toUtf8() + ' ' + device.toUtf8() + " rw\n"));
        bool newDisc = false;
        const QString selected = drives.mediaArrived(u"/"_s, &newDisc);
        QString listed = u"-"_s;
        for (const DriveEntry &e : drives.entries())
            if (e.device == device)
                listed = DriveTypeText(e.kind);
        QCOMPARE(listed, kind);
        QCOMPARE(newDisc, arrived);
        QCOMPARE(selected, arrived ? point + u'/' : u"/"_s);
    }
};

QTEST_GUILESS_MAIN(TestLoopDrives)
#include "tst_loopdrives.moc"
