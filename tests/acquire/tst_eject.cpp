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

#include <QDBusMetaType>
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
private Q_SLOTS:
    void initTestCase();
    void ejectOfFolderVolumes();
    void udisksSignalsMeaning();
    void mountTableChangesMeaning();
    void objectPaths();
    void ejectThroughUDisks();
    void mountAndIdentityThroughUDisks();
    void watcherOnTheBus();
    void watcherOnTheMountTable();

private:
    // A stick with two mounted partitions and a system disk, as sysfs and the mount table show them.
    void makeMachine(const QString &root);
    QTemporaryDir m_dir;
    QString m_sys, m_mountInfo, m_part1, m_part2;
};

void TestEject::initTestCase()
{
    qDBusRegisterMetaType<InterfaceMap>();
    makeMachine(m_dir.path());
}

void TestEject::makeMachine(const QString &root)
{
    m_sys = root + "/sys/block";
    QVERIFY(ScanFixture::writeFile(m_sys + "/vdq/removable", "0\n"));
    QVERIFY(ScanFixture::writeFile(m_sys + "/sdq/removable", "1\n"));
    QVERIFY(ScanFixture::writeFile(m_sys + "/sdq/sdq1/partition", "1\n"));
    QVERIFY(ScanFixture::writeFile(m_sys + "/sdq/sdq2/partition", "2\n"));
    m_part1 = root + "/media/STICK";
    m_part2 = root + "/media/STICK2";
    QDir().mkpath(m_part1);
    QDir().mkpath(m_part2);
    m_mountInfo = root + "/mountinfo";
    QVERIFY(ScanFixture::writeFile(m_mountInfo, ("20 1 254:0 / " + root + "/system rw - ext4 /dev/vdq rw\n" +
                                                 "31 20 8:1 / " + m_part1 + " rw - vfat /dev/sdq1 rw\n" +
                                                 "32 20 8:2 / " + m_part2 + " rw - vfat /dev/sdq2 rw\n")
                                                    .toUtf8()));
}

void TestEject::ejectOfFolderVolumes()
{
    FolderVolumeBackend folders;
    QDir(m_dir.path()).mkdir("D");
    const QString d = folders.addVolume({m_dir.filePath("D"), "DISC", 1, "CDFS", 2048, 0, DriveKind::CDROM, true});
    TDiskEject eject(nullptr, &folders);
    eject.setDrive(d);
    QVERIFY(!eject.Ejected());
    eject.setEjected(false); // does nothing
    QVERIFY(folders.ejected().isEmpty());
    eject.setEjected(true);
    QCOMPARE(folders.ejected(), QStringList{d});
    QVERIFY(eject.Ejected());
    QCOMPARE(ejectError([&] { eject.setEjected(true); }), u"No disk in drive!"_s);
    folders.setPresent(d, true);
    folders.setEjectRefused(true);
    QCOMPARE(ejectError([&] { eject.Eject(); }), u"Could not eject disk!"_s);
    QVERIFY(!eject.Ejected()); // the disc is still in
}

void TestEject::udisksSignalsMeaning()
{
    // What the bus test below does not send: drives and partition tables coming, a drive's medium going, and
    // a file system's mount points changing.
    QCOMPARE(MediaWatcher::eventForInterfacesAdded(kDrives + "Stick", {kDrive}), Event::Arrival);
    QCOMPARE(MediaWatcher::eventForInterfacesAdded(kBlocks + "sdb", {kBlock, "org.freedesktop.UDisks2.PartitionTable"}),
             Event::None);
    QCOMPARE(MediaWatcher::eventForPropertiesChanged(kDrives + "DVD", kDrive, {{"MediaAvailable", false}}),
             Event::Removal);
    QCOMPARE(MediaWatcher::eventForPropertiesChanged(kDrives + "DVD", kDrive, {{"Size", 0}}), Event::None);
    const QVariant mounted = QVariant::fromValue(QList<QByteArray>{QByteArray("/media/me/DISC\0", 15)});
    QCOMPARE(MediaWatcher::eventForPropertiesChanged(kBlocks + "sr0", kFs, {{"MountPoints", mounted}}), Event::Arrival);
    QCOMPARE(MediaWatcher::eventForPropertiesChanged(kBlocks + "sr0", kFs,
                                                     {{"MountPoints", QVariant::fromValue(QList<QByteArray>())}}),
             Event::Removal);
    QCOMPARE(MediaWatcher::eventForPropertiesChanged(kBlocks + "sr0", kBlock, {{"IdLabel", "X"}}), Event::None);
}

void TestEject::mountTableChangesMeaning()
{
    const QList<MountEntry> base = MountInfo::parse("1 0 0:1 / / rw - ext4 /dev/vda rw\n"
                                                    "2 1 0:2 / /run rw - tmpfs tmpfs rw\n");
    QList<MountEntry> disc = base + MountInfo::parse("3 1 11:0 / /media/DISC ro - iso9660 /dev/sr0 ro\n");
    QCOMPARE(MediaWatcher::eventsForMountChange(base, disc), QList<Event>{Event::Arrival});
    QCOMPARE(MediaWatcher::eventsForMountChange(disc, base), QList<Event>{Event::Removal});
    QCOMPARE(MediaWatcher::eventsForMountChange(disc, disc), QList<Event>{});
    // Memory file systems coming and going are not media.
    const QList<MountEntry> more = base + MountInfo::parse("4 1 0:9 / /tmp/x rw - tmpfs tmpfs rw\n");
    QCOMPARE(MediaWatcher::eventsForMountChange(base, more), QList<Event>{});
    // One disc out and another in between two looks: removal, then arrival.
    const QList<MountEntry> other = base + MountInfo::parse("5 1 11:0 / /media/OTHER ro - udf /dev/sr0 ro\n");
    QCOMPARE(MediaWatcher::eventsForMountChange(disc, other), QList<Event>({Event::Removal, Event::Arrival}));
}

void TestEject::objectPaths()
{
    QCOMPARE(UDisksClient::blockObjectPath("/dev/sr0"), kBlocks + "sr0");
    QCOMPARE(UDisksClient::blockObjectPath("/dev/dm-0"), kBlocks + "dm_2d0");
    QCOMPARE(UDisksClient::blockObjectPath("/dev/nvme0n1p1"), kBlocks + "nvme0n1p1");
}

void TestEject::ejectThroughUDisks()
{
    FakeUDisks fake;
    QString why;
    if (!fake.start(&why))
        QSKIP(qPrintable("no private D-Bus bus: " + why));
    LinuxVolumeBackend backend(fake.client(), m_sys, m_mountInfo);
    TDiskEject eject(nullptr, &backend);
    eject.setDrive(m_part2 + "/");
    eject.Eject();
    // Every mounted volume of the stick is unmounted, then the drive that holds it ejects.
    QCOMPARE(fake.object().takeCalls(),
             QStringList({"Unmount sdq1", "Unmount sdq2", "Get sdq", "Eject Fake_Stick_123"}));

    // A volume that stays busy: the drive is not asked to eject while it is still mounted.
    fake.object().busy.insert("sdq2");
    eject.setDrive(m_part1 + "/");
    QCOMPARE(ejectError([&] { eject.Eject(); }), u"Could not eject disk!"_s);
    QCOMPARE(eject.lastSystemError(), u"Target is busy"_s);
    QCOMPARE(fake.object().takeCalls(), QStringList({"Unmount sdq1", "Unmount sdq2"}));
    fake.object().busy.clear();

    // UDisks2 refuses, and the kernel's eject on a device that is not there fails too.
    fake.object().refuseEject = true;
    eject.setDrive("/dev/sdq1");
    QVERIFY_THROWS_EXCEPTION(EDiskEject, eject.Eject());
    QVERIFY(!eject.lastSystemError().isEmpty());
    fake.object().takeCalls();

    // Fixed drives are never ejected, and nothing is asked of UDisks2.
    QString error;
    QVERIFY(!backend.eject(m_dir.path() + "/system/", &error));
    QVERIFY(!backend.eject("/dev/vdq", &error));
    QVERIFY(fake.object().takeCalls().isEmpty());
}

void TestEject::mountAndIdentityThroughUDisks()
{
    FakeUDisks fake;
    QString why;
    if (!fake.start(&why))
        QSKIP(qPrintable("no private D-Bus bus: " + why));
    fake.object().blockProperties.insert(
        "sdq1", {{"IdLabel", "HOLIDAY"}, {"IdType", "vfat"}, {"IdVersion", "FAT32"}, {"IdUUID", "00C4-7E1F"}});
    LinuxVolumeBackend backend(fake.client(), m_sys, m_mountInfo);
    // /dev/sdq1 cannot be read here: label, serial and file system come from UDisks2.
    TDiskInfo info(nullptr, &backend);
    info.setDrive(m_part1 + "/");
    QCOMPARE(info.VolumeName(), u"HOLIDAY"_s);
    QCOMPARE(info.SerialNumber(), u"00C47E1F"_s);
    QCOMPARE(info.FileSystemType(), u"FAT32"_s);
    QCOMPARE(info.DriveType(), u"Removable"_s);
    fake.object().takeCalls();

    // A mounted drive is not mounted again; an unmounted one is, and its text becomes the mount point.
    QCOMPARE(backend.mount("/dev/sdq1"), m_part1 + "/");
    QVERIFY(fake.object().takeCalls().isEmpty());
    QVERIFY(ScanFixture::writeFile(m_mountInfo, ""));
    QCOMPARE(backend.mount("/dev/sdq1"), u"/media/tester/STICK/"_s);
    QCOMPARE(fake.object().takeCalls(), QStringList{"Mount sdq1"});
    makeMachine(m_dir.path());
}

void TestEject::watcherOnTheBus()
{
    FakeUDisks fake;
    QString why;
    if (!fake.start(&why))
        QSKIP(qPrintable("no private D-Bus bus: " + why));
    MediaWatcher watcher;
    watcher.setSettleTime(50);
    QVERIFY(watcher.startUDisks(fake.client()));
    QCOMPARE(watcher.source(), MediaWatcher::Source::UDisks);
    QSignalSpy arrived(&watcher, &MediaWatcher::mediaArrived), removed(&watcher, &MediaWatcher::mediaRemoved);

    // A disc goes in: the drive's media, the file system and the mount all signal; one notice comes out.
    fake.emitSignal(kDrives + "DVD", "org.freedesktop.DBus.Properties", "PropertiesChanged",
                    {kDrive, QVariantMap{{"MediaAvailable", true}}, QStringList()});
    InterfaceMap added{{kBlock, {}}, {kFs, {}}};
    fake.emitSignal("/org/freedesktop/UDisks2", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                    {QVariant::fromValue(QDBusObjectPath(kBlocks + "sr0")), QVariant::fromValue(added)});
    QVERIFY(arrived.wait(5000));
    QTest::qWait(200);
    QCOMPARE(arrived.size(), 1);
    QCOMPARE(removed.size(), 0);

    // Jobs mean nothing; the file system leaving is a removal.
    fake.emitSignal("/org/freedesktop/UDisks2", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                    {QVariant::fromValue(QDBusObjectPath("/org/freedesktop/UDisks2/jobs/3")),
                     QVariant::fromValue(InterfaceMap{{"org.freedesktop.UDisks2.Job", {}}})});
    fake.emitSignal("/org/freedesktop/UDisks2", "org.freedesktop.DBus.ObjectManager", "InterfacesRemoved",
                    {QVariant::fromValue(QDBusObjectPath(kBlocks + "sr0")), QStringList{kFs}});
    QVERIFY(removed.wait(5000));
    QCOMPARE(arrived.size(), 1);
    QCOMPARE(removed.size(), 1);
}

void TestEject::watcherOnTheMountTable()
{
    MediaWatcher watcher;
    watcher.setSettleTime(50);
    QVERIFY(watcher.startMountTable());
    QCOMPARE(watcher.source(), MediaWatcher::Source::MountTable);
    QSignalSpy arrived(&watcher, &MediaWatcher::mediaArrived), removed(&watcher, &MediaWatcher::mediaRemoved);
    // A memory file system under a device-like name stands in for a disc being mounted; only root may do it.
    const QString point = m_dir.filePath("mounted");
    QDir().mkpath(point);
    const QString mount = QStandardPaths::findExecutable("mount");
    if (mount.isEmpty() || QProcess::execute(mount, {"-t", "tmpfs", "/dev/quillory-test-disc", point}) != 0)
        QSKIP("this process may not mount file systems, so the mount table cannot be changed");
    QVERIFY(arrived.wait(5000));
    QCOMPARE(removed.size(), 0);
    QCOMPARE(QProcess::execute(QStandardPaths::findExecutable("umount"), {point}), 0);
    QVERIFY(removed.wait(5000));
    QCOMPARE(arrived.size(), 1);
}

QTEST_GUILESS_MAIN(TestEject)
#include "tst_eject.moc"
