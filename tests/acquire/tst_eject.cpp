// Ejecting, mounting and the media watcher: the decisions on their own, then the real D-Bus calls and signals
// against a UDisks2 stand-in on a private bus, and the system bus and mount table where the machine allows.
#include "FakeUDisks.h"

#include "ScanFixture.h"
#include "acquire/EDiskEject.h"
#include "acquire/FolderVolumeBackend.h"
#include "acquire/LinuxVolumeBackend.h"
#include "acquire/MediaWatcher.h"
#include "acquire/TDiskEject.h"
#include "acquire/TDiskInfo.h"
#include "acquire/UDisksClient.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using InterfaceMap = QMap<QString, QVariantMap>;
using Event = MediaWatcher::Event;

namespace
{

const QString kBlocks = u"/org/freedesktop/UDisks2/block_devices/"_s;
const QString kDrives = u"/org/freedesktop/UDisks2/drives/"_s;
const QString kFs = u"org.freedesktop.UDisks2.Filesystem"_s;
const QString kDrive = u"org.freedesktop.UDisks2.Drive"_s;
const QString kBlock = u"org.freedesktop.UDisks2.Block"_s;

// The message of the EDiskEject the call throws.
template <typename F> QString ejectError(F f)
{
    try {
        f();
    } catch (const EDiskEject &e) {
        return e.message();
    }
    return u"<no EDiskEject>"_s;
}

} // namespace

class TestEject : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeUDisks m_fake;
    QString m_noBus; // why the fake cannot run here
    QString m_sys = m_dir.filePath("sys/block"), m_mountInfo = m_dir.filePath("mountinfo");
    QString m_part1 = m_dir.filePath("media/STICK"), m_part2 = m_dir.filePath("media/STICK2");

private Q_SLOTS:
    // A stick with two mounted partitions and a system disk, as sysfs and the mount table show them.
    void initTestCase()
    {
        qDBusRegisterMetaType<InterfaceMap>();
        m_noBus = m_fake.start();
        for (const QString &entry :
             {u"vdq/removable 0"_s, u"sdq/removable 1"_s, u"sdq/sdq1/partition 1"_s, u"sdq/sdq2/partition 2"_s})
            QVERIFY(ScanFixture::writeFile(m_sys + u'/' + entry.section(u' ', 0, 0), entry.section(u' ', 1).toUtf8()));
        QVERIFY(QDir().mkpath(m_part1) && QDir().mkpath(m_part2));
        const QString mounts = "20 1 254:0 / " + m_dir.path() + "/system rw - ext4 /dev/vdq rw\n31 20 8:1 / " +
                               m_part1 + " rw - vfat /dev/sdq1 rw\n32 20 8:2 / " + m_part2 +
                               " rw - vfat /dev/sdq2 rw\n";
        QVERIFY(ScanFixture::writeFile(m_mountInfo, mounts.toUtf8()));
    }

    void ejectOfFolderVolumes()
    {
        FolderVolumeBackend folders;
        QDir(m_dir.path()).mkdir("D");
        const QString d = folders.addVolume({m_dir.filePath("D"), "DISC", 1, "CDFS", 2048, 0, DriveKind::CDROM, true});
        TDiskEject eject(nullptr, &folders);
        eject.setDrive(d);
        eject.setEjected(true);
        QCOMPARE(folders.ejected(), QStringList{d});
        QVERIFY(eject.Ejected());
        QCOMPARE(ejectError([&] { eject.setEjected(true); }), u"No disk in drive!"_s);
        folders.setPresent(d, true);
        folders.setEjectRefused(true);
        QCOMPARE(ejectError([&] { eject.Eject(); }), u"Could not eject disk!"_s);
        QVERIFY(!eject.Ejected()); // the disc is still in
    }

    // What the bus test below does not send: drives and partition tables coming, a drive's medium going, and a
    // file system's mount points changing.
    void udisksSignalsMeaning()
    {
        QCOMPARE(MediaWatcher::eventForInterfacesAdded(kDrives + "Stick", {kDrive}), Event::Arrival);
        QCOMPARE(
            MediaWatcher::eventForInterfacesAdded(kBlocks + "sdb", {kBlock, "org.freedesktop.UDisks2.PartitionTable"}),
            Event::None);
        const QList<std::tuple<QString, QString, QVariantMap, Event>> changes{
            {kDrives + "DVD", kDrive, {{"MediaAvailable", false}}, Event::Removal},
            {kDrives + "DVD", kDrive, {{"Size", 0}}, Event::None},
            {kBlocks + "sr0",
             kFs,
             {{"MountPoints", QVariant::fromValue(QList<QByteArray>{QByteArray("/media/me/DISC\0", 15)})}},
             Event::Arrival},
            {kBlocks + "sr0", kFs, {{"MountPoints", QVariant::fromValue(QList<QByteArray>())}}, Event::Removal},
            {kBlocks + "sr0", kBlock, {{"IdLabel", "X"}}, Event::None}};
        for (const auto &[path, interface, properties, event] : changes)
            QCOMPARE(MediaWatcher::eventForPropertiesChanged(path, interface, properties), event);
    }

    // Memory file systems coming and going are not media; one disc out and another in between two looks is a
    // removal, then an arrival.
    void mountTableChangesMeaning()
    {
        const auto table = [](const QByteArray &more) {
            return MountInfo::parse("1 0 0:1 / / rw - ext4 /dev/vda rw\n2 1 0:2 / /run rw - tmpfs tmpfs rw\n" + more);
        };
        const QByteArray disc = "3 1 11:0 / /media/DISC ro - iso9660 /dev/sr0 ro\n";
        const QList<std::tuple<QByteArray, QByteArray, QList<Event>>> changes{
            {"", disc, {Event::Arrival}},
            {disc, "", {Event::Removal}},
            {disc, disc, {}},
            {"", "4 1 0:9 / /tmp/x rw - tmpfs tmpfs rw\n", {}},
            {disc, "5 1 11:0 / /media/OTHER ro - udf /dev/sr0 ro\n", {Event::Removal, Event::Arrival}}};
        for (const auto &[before, after, events] : changes)
            QCOMPARE(MediaWatcher::eventsForMountChange(table(before), table(after)), events);
    }

    void objectPaths()
    {
        for (const auto &[device, object] : {std::pair{"sr0", "sr0"}, {"dm-0", "dm_2d0"}, {"nvme0n1p1", "nvme0n1p1"}})
            QCOMPARE(UDisksClient::blockObjectPath(u"/dev/"_s + device), kBlocks + object);
    }

    void ejectMountAndIdentityThroughUDisks()
    {
        if (!m_noBus.isEmpty())
            QSKIP(qPrintable("no private D-Bus bus: " + m_noBus));
        FakeUDisksObject &fake = m_fake.object();
        LinuxVolumeBackend backend(m_fake.client(), m_sys, m_mountInfo);
        TDiskEject eject(nullptr, &backend);
        eject.setDrive(m_part2 + "/");
        eject.Eject();
        // Every mounted volume of the stick is unmounted, then the drive that holds it ejects.
        QCOMPARE(fake.takeCalls(), QStringList({"Unmount sdq1", "Unmount sdq2", "Get sdq", "Eject Fake_Stick_123"}));

        // A volume that stays busy: the drive is not asked to eject while it is still mounted.
        fake.busy.insert("sdq2");
        eject.setDrive(m_part1 + "/");
        QCOMPARE(ejectError([&] { eject.Eject(); }), u"Could not eject disk!"_s);
        QCOMPARE(eject.lastSystemError(), u"Target is busy"_s);
        QCOMPARE(fake.takeCalls(), QStringList({"Unmount sdq1", "Unmount sdq2"}));
        fake.busy.clear();

        // UDisks2 refuses, and the kernel's eject on a device that is not there fails too.
        fake.refuseEject = true;
        eject.setDrive("/dev/sdq1");
        QVERIFY_THROWS_EXCEPTION(EDiskEject, eject.Eject());
        QVERIFY(!eject.lastSystemError().isEmpty());
        fake.takeCalls();

        // Fixed drives are never ejected, and nothing is asked of UDisks2.
        QString error;
        QVERIFY(!backend.eject(m_dir.path() + "/system/", &error));
        QVERIFY(!backend.eject("/dev/vdq", &error));
        QVERIFY(fake.takeCalls().isEmpty());

        // /dev/sdq1 cannot be read here: label, serial and file system come from UDisks2.
        fake.blockProperties.insert(
            "sdq1", {{"IdLabel", "HOLIDAY"}, {"IdType", "vfat"}, {"IdVersion", "FAT32"}, {"IdUUID", "00C4-7E1F"}});
        TDiskInfo info(nullptr, &backend);
        info.setDrive(m_part1 + "/");
        QCOMPARE(QStringList({info.VolumeName(), info.SerialNumber(), info.FileSystemType(), info.DriveType()}),
                 QStringList({"HOLIDAY", "00C47E1F", "FAT32", "Removable"}));
        fake.takeCalls();

        // A mounted drive is not mounted again; an unmounted one is, and its text becomes the mount point.
        QCOMPARE(backend.mount("/dev/sdq1"), m_part1 + "/");
        QVERIFY(fake.takeCalls().isEmpty());
        QVERIFY(ScanFixture::writeFile(m_mountInfo, ""));
        QCOMPARE(backend.mount("/dev/sdq1"), u"/media/tester/STICK/"_s);
        QCOMPARE(fake.takeCalls(), QStringList{"Mount sdq1"});
    }

    void watcherOnTheBus()
    {
        if (!m_noBus.isEmpty())
            QSKIP(qPrintable("no private D-Bus bus: " + m_noBus));
        MediaWatcher watcher;
        watcher.setSettleTime(50);
        QVERIFY(watcher.startUDisks(m_fake.client()));
        QSignalSpy arrived(&watcher, &MediaWatcher::mediaArrived), removed(&watcher, &MediaWatcher::mediaRemoved);
        const auto objects = [&](const char *name, const QString &path, const QVariant &interfaces) {
            m_fake.emitSignal("/org/freedesktop/UDisks2", "org.freedesktop.DBus.ObjectManager", name,
                              {QVariant::fromValue(QDBusObjectPath(path)), interfaces});
        };

        // A disc goes in: the drive's media, the file system and the mount all signal; one notice comes out.
        m_fake.emitSignal(kDrives + "DVD", "org.freedesktop.DBus.Properties", "PropertiesChanged",
                          {kDrive, QVariantMap{{"MediaAvailable", true}}, QStringList()});
        objects("InterfacesAdded", kBlocks + "sr0", QVariant::fromValue(InterfaceMap{{kBlock, {}}, {kFs, {}}}));
        QVERIFY(arrived.wait(5000));
        QTest::qWait(200);
        QCOMPARE(arrived.size(), 1);
        QCOMPARE(removed.size(), 0);

        // Jobs mean nothing; the file system leaving is a removal.
        objects("InterfacesAdded", "/org/freedesktop/UDisks2/jobs/3",
                QVariant::fromValue(InterfaceMap{{"org.freedesktop.UDisks2.Job", {}}}));
        objects("InterfacesRemoved", kBlocks + "sr0", QStringList{kFs});
        QVERIFY(removed.wait(5000));
        QCOMPARE(arrived.size(), 1);
    }

    void watcherOnTheMountTable()
    {
        MediaWatcher watcher;
        watcher.setSettleTime(50);
        QVERIFY(watcher.startMountTable());
        QSignalSpy arrived(&watcher, &MediaWatcher::mediaArrived), removed(&watcher, &MediaWatcher::mediaRemoved);
        // A memory file system under a device-like name stands in for a disc being mounted; only root may do it.
        const QString point = m_dir.filePath("mounted");
        QDir().mkpath(point);
        const QString mount = QStandardPaths::findExecutable("mount");
        if (mount.isEmpty() || QProcess::execute(mount, {"-t", "tmpfs", "/dev/quillory-test-disc", point}) != 0)
            QSKIP("this process may not mount file systems, so the mount table cannot be changed");
        QVERIFY(arrived.wait(5000));
        QCOMPARE(QProcess::execute(QStandardPaths::findExecutable("umount"), {point}), 0);
        QVERIFY(removed.wait(5000));
        QCOMPARE(arrived.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestEject)
#include "tst_eject.moc"
