// Volume information, the drive list and the remembered presence of discs, on folder volumes and on the Linux
// backend reading a sysfs tree and a mount table made for the test.
#include "ScanFixture.h"
#include "acquire/DiscIn.h"
#include "acquire/DriveList.h"
#include "acquire/FolderVolumeBackend.h"
#include "acquire/LinuxVolumeBackend.h"
#include "acquire/MediaWatcher.h"
#include "acquire/TDiskInfo.h"
#include "acquire/VolumeProbe.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

QString escapeMount(QString path)
{
    return path.replace(u' ', u"\\040"_s);
}

} // namespace

class TestVolumes : public QObject
{
    Q_OBJECT
    QTemporaryDir *m_dir = nullptr;
    FolderVolumeBackend *m_folders = nullptr;
    QString m_c, m_d, m_e;

private Q_SLOTS:

    void init()
    {
        m_dir = new QTemporaryDir;
        m_folders = new FolderVolumeBackend;
        for (const char *name : {"C", "D", "E"})
            QDir(m_dir->path()).mkdir(QString::fromLatin1(name));
        m_c = m_folders->addVolume(
            {m_dir->filePath("C"), "SYSTEM", 0x0A1B2C3D, "NTFS", 500ull << 30, 100ull << 30, DriveKind::Fixed, true});
        m_d = m_folders->addVolume(
            {m_dir->filePath("D"), "HOLIDAY_2003", 0x1234, "UDF", 4831838208ull, 0, DriveKind::CDROM, false});
        m_e = m_folders->addVolume(
            {m_dir->filePath("E"), "STICK", 0xDEADBEEF, "FAT32", 8ull << 30, 1ull << 30, DriveKind::Removable, true});
        VolumeBackend::setDefaultBackend(m_folders);
    }

    void cleanup()
    {
        VolumeBackend::setDefaultBackend(nullptr);
        delete m_folders;
        delete m_dir;
    }

    void diskInfoOfAFolderVolume()
    {
        TDiskInfo info; // the default backend, chosen at run time
        m_folders->setPresent(m_d, true);
        info.setDrive(m_d);
        // Leading zeros kept; a 4.5 GB DVD above what 32 bits hold, without wrapping.
        QCOMPARE(QStringList({info.VolumeName(), info.SerialNumber(), info.FileSystemType(), info.DriveType(),
                              QString::number(info.TotalDiskSpace())}),
                 QStringList({"HOLIDAY_2003", "00001234", "UDF", "CDROM", "4831838208"}));
        info.setDrive(m_dir->filePath("nowhere"));
        QCOMPARE(info.DriveType(), u"Root Directory does not exist"_s);
    }

    void diskInfoKeepsSpaceButNotIdentityOfAnEmptyDrive()
    {
        TDiskInfo info(nullptr, m_folders);
        info.setDrive(m_e);
        QCOMPARE(info.SerialNumber(), u"DEADBEEF"_s);
        m_folders->setPresent(m_e, false);
        info.setDrive(m_e);
        // The free-space figures stay as they were; the serial must not: a stale serial would name the wrong disc.
        QCOMPARE(info.TotalDiskSpace(), 8ull << 30);
        QCOMPARE(info.SerialNumber() + info.VolumeName() + info.FileSystemType(), QString());
    }

    void driveListAndPresence()
    {
        DriveList list;
        QCOMPARE(list.texts(), QStringList({m_c, m_d, m_e}));
        QStringList eject; // no eject item for the fixed drive
        for (const DriveEntry &e : list.ejectable())
            eject << e.text;
        QCOMPARE(eject, QStringList({m_d, m_e}));

        QSignalSpy panels(&list, &DriveList::panelsChanged);
        QCOMPARE(list.SaveDriveState(), QStringList({m_c + " present", m_d + " empty", m_e + " present"}));
        QCOMPARE(panels.size(), 1);
        list.SaveDriveState();
        QCOMPARE(panels.size(), 1); // nothing changed, nothing to repaint

        QCOMPARE(QList<bool>({DiscIn(m_c), DiscIn(m_d), DiscIn(QString()), DiscIn(m_dir->filePath("elsewhere"))}),
                 QList<bool>({true, false, false, false}));
    }

    void arrivalSelectsTheNewDisc()
    {
        DriveList list;
        list.SaveDriveState();
        // Nothing new: the current selection stays.
        QCOMPARE(list.GetDriveState(m_c), m_c);
        m_folders->setPresent(m_d, true);
        QCOMPARE(list.mediaArrived(m_c), m_d);
        QVERIFY(list.DrivePresent(m_d));
        // A second disc in E afterwards: E was remembered present with the old disc, so take it out first.
        m_folders->setPresent(m_e, false);
        list.mediaRemoved();
        QCOMPARE(list.panelTexts().at(2), m_e + " empty");
        m_folders->setPresent(m_e, true);
        QCOMPARE(list.mediaArrived(m_d), m_e);
        QCOMPARE(list.panelTexts(), QStringList({m_c + " present", m_d + " present", m_e + " present"}));
    }

    void aDriveThatLeavesIsForgotten()
    {
        // A stick is pulled out (its drive disappears from the list) and plugged in again: it counts as new.
        auto *sticks = new FolderVolumeBackend;
        QDir(m_dir->path()).mkdir("F");
        const QString f =
            sticks->addVolume({m_dir->filePath("F"), "USB", 1, "FAT32", 1 << 20, 0, DriveKind::Removable});
        DriveList list(sticks);
        list.SaveDriveState();
        QVERIFY(list.DrivePresent(f));
        QVERIFY(QDir(m_dir->filePath("F")).removeRecursively());
        list.refresh();
        list.SaveDriveState();
        QVERIFY(!list.DrivePresent(f));
        QDir(m_dir->path()).mkdir("F");
        QCOMPARE(list.mediaArrived(QString()), f);
        delete sticks;
    }

    void folderWatcherCoalescesNotices()
    {
        MediaWatcher *w = m_folders->createWatcher(this);
        w->setSettleTime(20);
        QSignalSpy arrived(w, &MediaWatcher::mediaArrived), removed(w, &MediaWatcher::mediaRemoved);
        m_folders->setPresent(m_d, true);
        m_folders->setPresent(m_d, true);
        QVERIFY(arrived.wait(2000));
        QCOMPARE(arrived.size(), 1);
        m_folders->setPresent(m_d, false);
        m_folders->setPresent(m_e, true);
        QTRY_COMPARE(arrived.size(), 2);
        QCOMPARE(removed.size(), 1);
        delete w;
    }

    void mountInfoParsing()
    {
        const QByteArray text = "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                                "98 27 11:0 / /media/me/MY\\040DISC ro,nosuid master:7 - iso9660 /dev/sr0 ro\n"
                                "99 27 8:17 /sub /srv/bind rw - vfat /dev/sdb1 rw\n"
                                "garbage line\n"
                                "\n";
        QStringList fields;
        for (const MountEntry &e : MountInfo::parse(text))
            fields << QStringList{e.root, e.mountPoint, e.fileSystem, e.source, e.readOnly ? "ro" : "rw"}.join(u' ');
        QCOMPARE(fields, QStringList({"/ / ext4 /dev/vda rw", "/ /media/me/MY DISC iso9660 /dev/sr0 ro",
                                      "/sub /srv/bind vfat /dev/sdb1 rw"}));
        QCOMPARE(MountInfo::unescape("a\\134b\\011c\\9"), u"a\\b\tc\\9"_s);
    }

    void linuxDriveList()
    {
        // A machine with a system disk (two partitions), an optical drive, a USB stick with one partition, an empty
        // card reader, a mounted disc image and the usual memory and bind mounts that are not drives.
        const QString sys = m_dir->filePath("sys/block");
        for (const char *entry :
             {"vdq/removable 0", "vdq/vdq1/partition 1", "vdq/vdq2/partition 2", "sr7/removable 1", "sdq/removable 1",
              "sdq/sdq1/partition 1", "sdr/removable 1", "loop9/removable 0", "zram0/removable 0"}) {
            const QList<QByteArray> file = QByteArray(entry).split(' ');
            QVERIFY(ScanFixture::writeFile(sys + u'/' + QString::fromLatin1(file[0]), file[1] + '\n'));
        }
        const QString stick = m_dir->filePath("media/USB STICK");
        const QString image = m_dir->filePath("media/image");
        QVERIFY(QDir().mkpath(stick) && QDir().mkpath(image));
        const QString mountInfo = m_dir->filePath("mountinfo");
        QVERIFY(ScanFixture::writeFile(
            mountInfo, "27 1 254:2 / / rw - ext4 /dev/vdq2 rw\n"
                       "28 27 254:1 / /boot/efi rw - vfat /dev/vdq1 rw\n"
                       "29 27 254:2 /var/lib/x /etc/hosts rw - ext4 /dev/vdq2 rw\n"
                       "30 27 0:5 / /run rw - tmpfs tmpfs rw\n" +
                           ("31 27 8:1 / " + escapeMount(stick) + " rw - vfat /dev/sdq1 rw\n").toUtf8() +
                           ("32 27 7:9 / " + escapeMount(image) + " ro - iso9660 /dev/loop9 ro\n").toUtf8()));
        LinuxVolumeBackend system(QDBusConnection(QString()), sys, mountInfo);
        const QList<DriveEntry> drives = system.drives();
        QStringList texts, kinds;
        for (const DriveEntry &e : drives) {
            texts << e.text;
            kinds << DriveTypeText(e.kind);
        }
        QCOMPARE(texts, QStringList({"/", "/boot/efi/", "/dev/sr7", image + "/", stick + "/", "/dev/sdr"}));
        QCOMPARE(kinds, QStringList({"Fixed", "Fixed", "CDROM", "CDROM", "Removable", "Removable"}));
        QCOMPARE(drives[4].device, u"/dev/sdq1"_s);
        QCOMPARE(
            QList<DriveKind>({system.driveType(stick + "/"), system.driveType("/dev/sr7"), system.driveType(image),
                              system.driveType(m_dir->filePath("no such folder"))}),
            QList<DriveKind>({DriveKind::Removable, DriveKind::CDROM, DriveKind::CDROM, DriveKind::NoRootDirectory}));
    }

    void linuxDiscInFollowsTheMountTable()
    {
        const QString sys = m_dir->filePath("sys/block");
        for (const char *entry : {"sdq/removable 1", "sdq/sdq1/partition 1"})
            QVERIFY(ScanFixture::writeFile(sys + u'/' + QString::fromLatin1(entry).section(u' ', 0, 0), "1\n"));
        const QString stick = m_dir->filePath("media/STICK");
        QDir().mkpath(stick);
        const QString mountInfo = m_dir->filePath("mountinfo");
        QVERIFY(ScanFixture::writeFile(mountInfo,
                                       ("31 27 8:1 / " + escapeMount(stick) + " rw - vfat /dev/sdq1 rw\n").toUtf8()));
        LinuxVolumeBackend system(QDBusConnection(QString()), sys, mountInfo);
        DriveList list(&system);
        QCOMPARE(list.texts(), QStringList({stick + "/"}));
        QVERIFY(DiscIn(stick + "/", &system));
        QVERIFY(DiscIn("/dev/sdq1", &system));
        list.SaveDriveState();
        QVERIFY(list.DrivePresent("/dev/sdq1"));

        // The stick is unmounted; its folder is still there, but the drive is empty.
        QVERIFY(ScanFixture::writeFile(mountInfo, ""));
        QVERIFY(!DiscIn(stick + "/", &system));
        QVERIFY(!DiscIn("/dev/sdq1", &system));
        list.mediaRemoved();
        QCOMPARE(list.texts(), QStringList({"/dev/sdq1"}));
        QCOMPARE(list.panelTexts(), QStringList({"/dev/sdq1 empty"}));
        // Mounted again elsewhere: the same drive by its device, with its new text selected.
        const QString again = m_dir->filePath("media/STICK1");
        QDir().mkpath(again);
        QVERIFY(ScanFixture::writeFile(mountInfo,
                                       ("31 27 8:1 / " + escapeMount(again) + " rw - vfat /dev/sdq1 rw\n").toUtf8()));
        QCOMPARE(list.mediaArrived("/dev/sdq1"), again + "/");
    }

    // Disc images mounted through loop devices are drives of their own, and a media notice takes
    // only a removable or optical drive for a disc that arrived.
    void linuxMountArrives_data()
    {
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("mountPoint"); // under the test folder
        QTest::addColumn<QString>("kind");       // of the drive listed for the device, "-" for none
        QTest::addColumn<bool>("arrived");
        QTest::newRow("disc image, mount -o loop") << "iso9660" << "/dev/loop3" << "mnt/iso" << "CDROM" << true;
        QTest::newRow("DVD image") << "udf" << "/dev/loop4" << "media/me/DVD" << "CDROM" << true;
        QTest::newRow("stick image, udisksctl loop-setup")
            << "vfat" << "/dev/loop5" << "media/me/STICK" << "Removable" << true;
        QTest::newRow("snap package") << "squashfs" << "/dev/loop6" << "snap/core/17" << "-" << false;
        // The fault: any mount proposed the first drive, the system's root file system.
        QTest::newRow("system disk's partition") << "ext4" << "/dev/vdq1" << "mnt/data" << "Fixed" << false;
    }
    void linuxMountArrives()
    {
        QFETCH(QString, fileSystem);
        QFETCH(QString, device);
        QFETCH(QString, mountPoint);
        QFETCH(QString, kind);
        QFETCH(bool, arrived);

        const QString sys = m_dir->filePath("sys/block");
        for (const char *entry : {"vdq/removable 0", "vdq/vdq1/partition 1", "vdq/vdq2/partition 2",
                                  "loop3/removable 0", "loop4/removable 0", "loop5/removable 0", "loop6/removable 0"}) {
            const QList<QByteArray> file = QByteArray(entry).split(' ');
            QVERIFY(ScanFixture::writeFile(sys + u'/' + QString::fromLatin1(file[0]), file[1] + '\n'));
        }
        const QString mountInfo = m_dir->filePath("mountinfo");
        const QByteArray system = "27 1 254:2 / / rw - ext4 /dev/vdq2 rw\n";
        QVERIFY(ScanFixture::writeFile(mountInfo, system));
        LinuxVolumeBackend backend(QDBusConnection(QString()), sys, mountInfo);
        DriveList drives(&backend);
        drives.SaveDriveState();

        const QString point = m_dir->filePath(mountPoint);
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

QTEST_GUILESS_MAIN(TestVolumes)
#include "tst_volumes.moc"
