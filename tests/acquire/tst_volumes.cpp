// Drives on folder volumes and on the Linux backend over a sysfs tree and mount table made here, through a UDisks2
// stand-in on a private bus; serials of images made by the real tools, checked against values worked out apart.
#include "CabTestUtil.h"
#include "ScanFixture.h"
#include "acquire/DiscDrive.h"
#include "acquire/DiscFinder.h"
#include "acquire/DiscIn.h"
#include "acquire/DriveList.h"
#include "acquire/EDiskEject.h"
#include "acquire/FolderVolumeBackend.h"
#include "acquire/LinuxVolumeBackend.h"
#include "acquire/MediaWatcher.h"
#include "acquire/TDiskEject.h"
#include "acquire/TDiskInfo.h"
#include "acquire/UDisksClient.h"
#include "acquire/VolumeProbe.h"
#include "core/QuilloryError.h"

#include <QMutex>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtDBus>

using namespace Qt::StringLiterals;
using namespace ScanFixture;
using InterfaceMap = QMap<QString, QVariantMap>;
using Event = MediaWatcher::Event;

namespace
{

const QString kBlocks = u"/org/freedesktop/UDisks2/block_devices/"_s;
const QString kDrives = u"/org/freedesktop/UDisks2/drives/"_s;
const QString kFs = u"org.freedesktop.UDisks2.Filesystem"_s;
const QString kDrive = u"org.freedesktop.UDisks2.Drive"_s;
const QString kBlock = u"org.freedesktop.UDisks2.Block"_s;

// A stand-in for the UDisks2 daemon on a private D-Bus bus, so that the real D-Bus calls and signals of the
// volume code run without drives. It lives in a thread of its own: the code under test makes blocking calls.
class FakeUDisksObject : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString device = message.path().section(u'/', -1), member = message.member();
        QDBusMessage reply;
        {
            QMutexLocker lock(&mutex);
            calls.append(member + u' ' + device);
            if (member == QLatin1String("GetAll"))
                reply = message.createReply(QVariant::fromValue(blockProperties.value(device)));
            else if (member == QLatin1String("Get"))
                reply = message.createReply(QVariant::fromValue(
                    QDBusVariant(QVariant::fromValue(QDBusObjectPath("/org/freedesktop/UDisks2/drives/" + drive)))));
            else if (member == QLatin1String("Unmount") && busy.contains(device))
                reply = message.createErrorReply("org.freedesktop.UDisks2.Error.DeviceBusy", "Target is busy");
            else if (member == QLatin1String("Mount"))
                reply = message.createReply(mountPath);
            else if (member == QLatin1String("Eject") && refuseEject)
                reply = message.createErrorReply("org.freedesktop.UDisks2.Error.Failed", "Error ejecting");
            else
                reply = message.createReply();
        }
        connection.send(reply);
        return true;
    }

    QStringList takeCalls()
    {
        QMutexLocker lock(&mutex);
        return std::exchange(calls, {});
    }

    QMutex mutex;
    QStringList calls;
    QHash<QString, QVariantMap> blockProperties; // by device name
    QSet<QString> busy;
    QString drive = u"Fake_Stick_123"_s;
    QString mountPath = u"/media/tester/STICK"_s;
    bool refuseEject = false;
};

class FakeUDisks
{
public:
    ~FakeUDisks()
    {
        QDBusConnection::disconnectFromBus(u"fake-udisks-service"_s);
        QDBusConnection::disconnectFromBus(u"fake-udisks-client"_s);
        m_thread.quit();
        m_thread.wait();
        delete m_object;
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    // Starts a private bus and the service on it; why the machine cannot, or an empty string.
    QString start()
    {
        const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
        if (daemon.isEmpty())
            return u"dbus-daemon is not installed"_s;
        m_daemon.start(daemon, {u"--session"_s, u"--nofork"_s, u"--nosyslog"_s, u"--print-address=1"_s});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000))
            return "dbus-daemon did not start: " + QString::fromLocal8Bit(m_daemon.readAllStandardError());
        const QString address = QString::fromLatin1(m_daemon.readLine()).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(address, u"fake-udisks-service"_s);
        if (!service.isConnected() || !QDBusConnection::connectToBus(address, u"fake-udisks-client"_s).isConnected())
            return "cannot connect to the private bus at " + address;
        m_object = new FakeUDisksObject;
        const bool registered =
            service.registerVirtualObject(u"/org/freedesktop/UDisks2"_s, m_object, QDBusConnection::SubPath);
        // Registered first, then moved with what QtDBus hung on it, so that calls are answered in the thread.
        m_object->moveToThread(&m_thread);
        m_thread.start();
        if (!registered || !service.registerService(u"org.freedesktop.UDisks2"_s))
            return u"cannot register the service on the private bus"_s;
        return QString();
    }

    QDBusConnection client() const { return QDBusConnection(u"fake-udisks-client"_s); }
    FakeUDisksObject &object() { return *m_object; }

    void emitSignal(const QString &path, const QString &interface, const QString &name, const QVariantList &args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal.setArguments(args);
        QDBusConnection(u"fake-udisks-service"_s).send(signal);
    }

private:
    QProcess m_daemon;
    QThread m_thread;
    FakeUDisksObject *m_object = nullptr;
};

// The message of the EDiskEject the call throws.
template <typename F> QString ejectError(F f)
{
    try {
        f();
    } catch (const EDiskEject &e) {
        return e.shownText();
    }
    return u"<no EDiskEject>"_s;
}

// A line of the mount table: a whole file system from device mounted at point.
QByteArray mountLine(const QString &point, const QString &fs, const QString &device, const QString &mode = u"rw"_s)
{
    return (u"40 27 0:0 / "_s + QString(point).replace(u' ', u"\\040"_s) + u' ' + mode + u" - "_s + fs + u' ' +
            device + u' ' + mode + u'\n')
        .toUtf8();
}

QString tool(const QString &name)
{
    const QString path = QStandardPaths::findExecutable(name);
    return path.isEmpty() ? QStandardPaths::findExecutable(name, {u"/usr/sbin"_s, u"/sbin"_s}) : path;
}

// Runs a tool; the output on success, a null string on failure (with the reason in *why).
QString toolOutput(const QString &program, const QStringList &args, QString *why = nullptr)
{
    const ProgramRun r = runProgram(program, args);
    if (r.code != 0 && why)
        *why = program + u' ' + args.join(u' ') + u": "_s + QString::fromLocal8Bit(r.err);
    if (r.code != 0)
        return QString();
    const QString out = QString::fromLocal8Bit(r.out).trimmed();
    return out.isNull() ? u""_s : out;
}

QString expected(const QStringList &args)
{
    return toolOutput(u"python3"_s,
                      QStringList{QStringLiteral(QUILLORY_SOURCE_DIR "/tests/acquire/volume_serial.py")} + args);
}

VolumeProbeResult probeBytes(const QByteArray &image, quint32 session = 0)
{
    return VolumeProbe::probe(
        [&image](qint64 offset, char *data, qint64 size) {
            if (offset < 0 || offset + size > image.size())
                return false;
            memcpy(data, image.constData() + offset, size_t(size));
            return true;
        },
        session);
}

} // namespace

class TestVolumes : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FolderVolumeBackend> m_folders;
    QString m_c, m_d, m_e, m_sys, m_mountInfo;
    FakeUDisks m_fake;
    QString m_noBus; // why the fake cannot run here
    QTemporaryDir m_imageDir;
    QStringList m_images; // made by images(), reused by the damage test

    QString at(const QString &rel) const { return m_dir->filePath(rel); }
    QString folder(const QString &rel) const
    {
        QDir().mkpath(at(rel));
        return at(rel);
    }
    // The block devices as sysfs shows them ("sdq/sdq1/partition 1": a file and its text), and the mount table.
    void machine(const QStringList &sysfs, const QByteArray &mounts)
    {
        for (const QString &entry : sysfs)
            QVERIFY(writeFile(m_sys + u'/' + entry.section(u' ', 0, 0), entry.section(u' ', 1).toUtf8() + '\n'));
        QVERIFY(writeFile(m_mountInfo, mounts));
    }

private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<InterfaceMap>();
        m_noBus = m_fake.start();
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_sys = at(u"sys/block"_s);
        m_mountInfo = at(u"mountinfo"_s);
        m_folders = std::make_unique<FolderVolumeBackend>();
        m_c = m_folders->addVolume(
            {folder("C"), "SYSTEM", 0x0A1B2C3D, "NTFS", 500ull << 30, 100ull << 30, DriveKind::Fixed, true});
        m_d = m_folders->addVolume(
            {folder("D"), "HOLIDAY_2003", 0x1234, "UDF", 4831838208ull, 0, DriveKind::CDROM, false});
        m_e = m_folders->addVolume(
            {folder("E"), "STICK", 0xDEADBEEF, "FAT32", 8ull << 30, 1ull << 30, DriveKind::Removable, true});
        VolumeBackend::setDefaultBackend(m_folders.get());
    }
    void cleanup()
    {
        VolumeBackend::setDefaultBackend(nullptr);
        m_folders.reset();
        m_dir.reset();
    }

    void infoAndEjectOfFolderVolumes()
    {
        TDiskInfo info; // the default backend, chosen at run time
        m_folders->setPresent(m_d, true);
        info.setDrive(m_d);
        // Leading zeros kept; a 4.5 GB DVD above what 32 bits hold, without wrapping.
        QCOMPARE(QStringList({info.VolumeName(), info.SerialNumber(), info.FileSystemType(), info.DriveType(),
                              QString::number(info.TotalDiskSpace())}),
                 QStringList({"HOLIDAY_2003", "00001234", "UDF", "CDROM", "4831838208"}));
        info.setDrive(at("nowhere"));
        QCOMPARE(info.DriveType(), u"Root Directory does not exist"_s);
        // An emptied drive keeps its free-space figures, but not its serial: that would name the wrong disc.
        info.setDrive(m_e);
        m_folders->setPresent(m_e, false);
        info.setDrive(m_e);
        QCOMPARE(info.TotalDiskSpace(), 8ull << 30);
        QCOMPARE(info.SerialNumber() + info.VolumeName() + info.FileSystemType(), QString());

        TDiskEject eject(nullptr, m_folders.get());
        eject.setDrive(m_d);
        eject.setEjected(true);
        QCOMPARE(m_folders->ejected(), QStringList{m_d});
        QVERIFY(eject.Ejected());
        QCOMPARE(ejectError([&] { eject.setEjected(true); }), u"No disk in drive!"_s);
        m_folders->setPresent(m_d, true);
        m_folders->setEjectRefused(true);
        QCOMPARE(ejectError([&] { eject.Eject(); }), u"Could not eject disk!\nThe drive refused to eject"_s);
        try {
            eject.Eject();
        } catch (const EDiskEject &e) {
            QCOMPARE(e.message(), u"Could not eject disk!"_s); // the text as documented; the reason beside it
        }
        QVERIFY(!eject.Ejected()); // the disc is still in
    }

    void driveListPresenceAndArrival()
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

        QCOMPARE(QList<bool>({DiscIn(m_c), DiscIn(m_d), DiscIn(QString()), DiscIn(at("elsewhere"))}),
                 QList<bool>({true, false, false, false}));

        // An arrival selects the new disc; nothing new, and the current selection stays.
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
        // A swap within one notice (E emptied as D filled) is told removal first: the removal
        // must leave the new disc in D to the arrival that follows.
        m_folders->setPresent(m_d, false);
        list.mediaRemoved();
        m_folders->setPresent(m_e, false);
        m_folders->setPresent(m_d, true);
        list.mediaRemoved();
        QCOMPARE(list.panelTexts().mid(1), QStringList({m_d + " present", m_e + " empty"}));
        bool arrived = false;
        QCOMPARE(list.mediaArrived(m_c, &arrived), m_d);
        QVERIFY(arrived);
        m_folders->setPresent(m_e, true);
        QCOMPARE(list.mediaArrived(m_d), m_e);
        // The stick is pulled out (its folder goes) and plugged in again: it counts as new.
        QVERIFY(QDir(at("E")).removeRecursively());
        list.refresh();
        list.SaveDriveState();
        QVERIFY(!list.DrivePresent(m_e));
        folder("E");
        QCOMPARE(list.mediaArrived(QString()), m_e);
    }

    void folderWatcherCoalescesNotices()
    {
        std::unique_ptr<MediaWatcher> w(m_folders->createWatcher(nullptr));
        w->setSettleTime(20);
        QSignalSpy arrived(w.get(), &MediaWatcher::mediaArrived), removed(w.get(), &MediaWatcher::mediaRemoved);
        m_folders->setPresent(m_d, true);
        m_folders->setPresent(m_d, true);
        QVERIFY(arrived.wait(2000));
        QCOMPARE(arrived.size(), 1);
        m_folders->setPresent(m_d, false);
        m_folders->setPresent(m_e, true);
        QTRY_COMPARE(arrived.size(), 2);
        QCOMPARE(removed.size(), 1);
    }

    // The mount table's lines; memory file systems are not media; a disc swapped between two looks is both events.
    void mountTable()
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

    void linuxDriveList()
    {
        // A system disk, an optical drive, a stick, an empty card reader, a mounted image, memory and bind mounts.
        const QString stick = folder("media/USB STICK"), image = folder("media/image");
        const QByteArray rest = "27 1 254:2 / / rw - ext4 /dev/vdq2 rw\n"
                                "28 27 254:1 / /boot/efi rw - vfat /dev/vdq1 rw\n"
                                "29 27 254:2 /var/lib/x /etc/hosts rw - ext4 /dev/vdq2 rw\n"
                                "30 27 0:5 / /run rw - tmpfs tmpfs rw\n" +
                                mountLine(image, "iso9660", "/dev/loop9", "ro");
        machine({"vdq/removable 0", "vdq/vdq1/partition 1", "vdq/vdq2/partition 2", "sr7/removable 1",
                 "sdq/removable 1", "sdq/sdq1/partition 1", "sdr/removable 1", "loop9/removable 0",
                 "zram0/removable 0"},
                rest + mountLine(stick, "vfat", "/dev/sdq1"));
        LinuxVolumeBackend system(QDBusConnection(QString()), m_sys, m_mountInfo);
        DriveList list(&system);
        QStringList kinds;
        for (const DriveEntry &e : list.entries())
            kinds << DriveTypeText(e.kind);
        QCOMPARE(list.texts(), QStringList({"/", "/boot/efi/", "/dev/sr7", image + "/", stick + "/", "/dev/sdr"}));
        QCOMPARE(kinds, QStringList({"Fixed", "Fixed", "CDROM", "CDROM", "Removable", "Removable"}));
        QCOMPARE(list.entries()[4].device, u"/dev/sdq1"_s);
        QCOMPARE(
            QList<DriveKind>({system.driveType(stick + "/"), system.driveType("/dev/sr7"), system.driveType(image),
                              system.driveType(at("no such folder"))}),
            QList<DriveKind>({DriveKind::Removable, DriveKind::CDROM, DriveKind::CDROM, DriveKind::NoRootDirectory}));
        QVERIFY(DiscIn(stick + "/", &system) && DiscIn("/dev/sdq1", &system));
        list.SaveDriveState();
        QVERIFY(list.DrivePresent("/dev/sdq1"));

        // The stick is unmounted; its folder is still there, but the drive is empty.
        QVERIFY(writeFile(m_mountInfo, rest));
        QVERIFY(!DiscIn(stick + "/", &system) && !DiscIn("/dev/sdq1", &system));
        list.mediaRemoved();
        QCOMPARE(list.texts().at(4), u"/dev/sdq1"_s);
        QCOMPARE(list.panelTexts().at(4), u"/dev/sdq1 empty"_s);
        // Mounted again elsewhere: the same drive by its device, with its new text selected.
        const QString again = folder("media/STICK1");
        QVERIFY(writeFile(m_mountInfo, rest + mountLine(again, "vfat", "/dev/sdq1")));
        QCOMPARE(list.mediaArrived("/dev/sdq1"), again + "/");
    }

    // Images mounted through loop devices are drives; a notice takes only a removable or optical drive for a disc.
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
        const QByteArray system = "27 1 254:2 / / rw - ext4 /dev/vdq2 rw\n";
        machine({"vdq/removable 0", "vdq/vdq1/partition 1", "vdq/vdq2/partition 2", "loop3/removable 0",
                 "loop4/removable 0", "loop5/removable 0", "loop6/removable 0"},
                system);
        LinuxVolumeBackend backend(QDBusConnection(QString()), m_sys, m_mountInfo);
        DriveList drives(&backend);
        drives.SaveDriveState();

        const QString point = folder(mountPoint);
        QVERIFY(writeFile(m_mountInfo, system + mountLine(point, fileSystem, device)));
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

    // The Add Disc dialog's drive: a notice's refresh looks, the user's pick mounts.
    void pickingADriveMountsItsDisc()
    {
        UnmountedDiscBackend backend;
        backend.folder = folder(u"cd"_s);
        backend.addVolume(volume(folder(u"hdd"_s), 0x11111111, DriveKind::Fixed));
        backend.addVolume(volume(backend.folder, 0x0A1B2C3D));
        DiscDrive drive(&backend);
        QCOMPARE(drive.drives().panelTexts().at(1), u"/dev/sr0 empty"_s);

        drive.select(u"/dev/sr0"_s);
        QVERIFY(!drive.readVolume(false));
        QCOMPARE(backend.mounts, 0);
        QVERIFY(drive.discVolume().serial.isEmpty());

        // The selection stays on the drive though its text is now the mount point.
        QVERIFY(drive.readVolume(true));
        QCOMPARE(drive.currentIndex(), 1);
        QCOMPARE(drive.driveText(), backend.folder + u'/');
        QCOMPARE(drive.discVolume().serial, u"0A1B2C3D"_s);
        QCOMPARE(drive.drives().panelTexts().at(1), backend.folder + u"/ present"_s);
        QVERIFY(drive.readVolume(true));
        QCOMPARE(backend.mounts, 1); // mounted once only

        // A root that cannot be listed would be recorded as an empty disc.
        DiscVolume disc = drive.discVolume();
        drive.checkReadable(disc);
        disc.root = at(u"file"_s);
        QVERIFY(writeFile(disc.root, "x"));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, drive.checkReadable(disc));

        // The eject keys: two letters make no single key; a folder volume has no device.
        const QList<std::pair<QString, QString>> keys{{u"/dev/sdb1"_s, u"B"_s}, {u"/dev/sdc"_s, u"C"_s},
                                                      {u"/dev/sr0"_s, u"0"_s},  {u"/dev/mmcblk0p1"_s, {}},
                                                      {u"/dev/sdaa1"_s, {}},    {{}, {}}};
        for (const auto &[device, key] : keys) {
            DriveEntry e;
            e.device = device;
            QCOMPARE(DiscDrive::ejectKey(e), key);
        }
    }

    // Finding a disc by its serial (before opening a catalogued file): the first drive in list order wins, and a
    // disc in the tray is mounted only when no mounted drive holds it.
    void findingADiscBySerial()
    {
        // The volumes share their label: only the serial tells them apart.
        FolderVolumeBackend backend;
        backend.addVolume(volume(folder(u"a"_s), 0x1234ABCD));
        const QString first = backend.addVolume(volume(folder(u"b"_s), 0x00C0FFEE));
        backend.addVolume(volume(folder(u"c"_s), 0x00C0FFEE, DriveKind::Removable));
        QCOMPARE(findDiscBySerial(u"00C0FFEE"_s, &backend), first);
        // Another serial, a serial in lower case (compared as written), none: no disc.
        for (const QString &other : {u"1234ABCE"_s, u"00c0ffee"_s, QString()})
            QCOMPARE(findDiscBySerial(other, &backend), QString());

        UnmountedDiscBackend tray;
        tray.folder = folder(u"sr0"_s);
        tray.addVolume(volume(tray.folder, 0xCAFE0001));
        const QString stick = tray.addVolume(volume(folder(u"stick"_s), 0xCAFE0002, DriveKind::Removable));
        QCOMPARE(findDiscBySerial(u"CAFE0002"_s, &tray), stick);
        QCOMPARE(tray.mounts, 0);
        QCOMPARE(findDiscBySerial(u"CAFE0001"_s, &tray), tray.folder + u'/');
        QCOMPARE(tray.mounts, 1);
    }

    // The signals the bus test below does not send, and the object paths of devices.
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
        for (const auto &[device, object] : {std::pair{"sr0", "sr0"}, {"dm-0", "dm_2d0"}, {"nvme0n1p1", "nvme0n1p1"}})
            QCOMPARE(UDisksClient::blockObjectPath(u"/dev/"_s + device), kBlocks + object);
    }

    // A stick with two mounted partitions and a system disk, through UDisks2.
    void ejectMountAndIdentityThroughUDisks()
    {
        if (!m_noBus.isEmpty())
            QSKIP(qPrintable("no private D-Bus bus: " + m_noBus));
        const QString part1 = folder("media/STICK"), part2 = folder("media/STICK2");
        machine({"vdq/removable 0", "sdq/removable 1", "sdq/sdq1/partition 1", "sdq/sdq2/partition 2"},
                mountLine(at("system"), "ext4", "/dev/vdq") + mountLine(part1, "vfat", "/dev/sdq1") +
                    mountLine(part2, "vfat", "/dev/sdq2"));
        FakeUDisksObject &fake = m_fake.object();
        LinuxVolumeBackend backend(m_fake.client(), m_sys, m_mountInfo);
        TDiskEject eject(nullptr, &backend);
        eject.setDrive(part2 + "/");
        eject.Eject();
        // Every mounted volume of the stick is unmounted, then the drive that holds it ejects.
        QCOMPARE(fake.takeCalls(), QStringList({"Unmount sdq1", "Unmount sdq2", "Get sdq", "Eject Fake_Stick_123"}));

        // A volume that stays busy: the drive is not asked to eject while it is still mounted.
        fake.busy.insert("sdq2");
        eject.setDrive(part1 + "/");
        QCOMPARE(ejectError([&] { eject.Eject(); }), u"Could not eject disk!\nTarget is busy"_s);
        QCOMPARE(fake.takeCalls(), QStringList({"Unmount sdq1", "Unmount sdq2"}));
        fake.busy.clear();

        // UDisks2 refuses, and the kernel's eject on a device that is not there fails too.
        fake.refuseEject = true;
        eject.setDrive("/dev/sdq1");
        QVERIFY(ejectError([&] { eject.Eject(); }).startsWith(u"Could not eject disk!\n"_s));
        fake.refuseEject = false;
        fake.takeCalls();

        // Fixed drives are never ejected, and nothing is asked of UDisks2.
        QString error;
        QVERIFY(!backend.eject(at("system/"), &error));
        QVERIFY(!backend.eject("/dev/vdq", &error));
        QVERIFY(fake.takeCalls().isEmpty());

        // /dev/sdq1 cannot be read here: label, serial and file system come from UDisks2.
        fake.blockProperties.insert(
            "sdq1", {{"IdLabel", "HOLIDAY"}, {"IdType", "vfat"}, {"IdVersion", "FAT32"}, {"IdUUID", "00C4-7E1F"}});
        TDiskInfo info(nullptr, &backend);
        info.setDrive(part1 + "/");
        QCOMPARE(QStringList({info.VolumeName(), info.SerialNumber(), info.FileSystemType(), info.DriveType()}),
                 QStringList({"HOLIDAY", "00C47E1F", "FAT32", "Removable"}));
        fake.takeCalls();

        // A mounted drive is not mounted again; an unmounted one is, and its text becomes the mount point.
        QCOMPARE(backend.mount("/dev/sdq1"), part1 + "/");
        QVERIFY(fake.takeCalls().isEmpty());
        QVERIFY(writeFile(m_mountInfo, ""));
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
        const QString point = folder("mounted");
        const QString mount = QStandardPaths::findExecutable("mount");
        if (mount.isEmpty() || QProcess::execute(mount, {"-t", "tmpfs", "/dev/quillory-test-disc", point}) != 0)
            QSKIP("this process may not mount file systems, so the mount table cannot be changed");
        QVERIFY(arrived.wait(5000));
        QCOMPARE(QProcess::execute(QStandardPaths::findExecutable("umount"), {point}), 0);
        QVERIFY(removed.wait(5000));
        QCOMPARE(arrived.size(), 1);
    }

    // A folder that opens but cannot be read (a damaged directory block of a real ext4 volume)
    // counts once, and so does a file whose inode is damaged: the rest of the volume is still
    // catalogued.
    void damagedEntriesCountOnce()
    {
        const QString image = folder("ext4") + "/ext4.img", mnt = folder("damaged");
        QFile img(image);
        QVERIFY(img.open(QIODevice::WriteOnly) && img.resize(8 << 20));
        img.close();
        if (!run(mnt, "mkfs.ext4", {"-q", "-b", "1024", image}) || !run(mnt, "mount", {"-o", "loop", image, mnt}))
            QSKIP("this process may not loop-mount an ext4 image");
        auto unmount = qScopeGuard([&] { run(folder("ext4"), "umount", {mnt}); });
        QVERIFY(writeFile(mnt + "/good/a.txt", "1234567"));
        // Enough names for the folder to take several blocks; the second is damaged below.
        for (int i = 0; i < 200; ++i)
            QVERIFY(writeFile(mnt + u"/bad/file with a long name %1.txt"_s.arg(i), "x"));
        QVERIFY(writeFile(mnt + "/good/inode.bin", "x"));
        QVERIFY(run(folder("ext4"), "umount", {mnt}));
        // Its extent header zeroed: the file cannot even be looked at ("Structure needs cleaning").
        QVERIFY(run(mnt, "debugfs", {"-w", "-R", "sif /good/inode.bin block[0] 0", image}));
        QByteArray blocks;
        QVERIFY(run(mnt, "debugfs", {"-R", "blocks /bad", image}, {}, &blocks));
        const QList<QByteArray> numbers = blocks.simplified().split(' ');
        QVERIFY(numbers.size() > 1);
        QVERIFY(img.open(QIODevice::ReadWrite) && img.seek(numbers[1].toLongLong() * 1024 + 4));
        QVERIFY(img.write(QByteArray(2, '\0')) == 2); // the first entry's length: 0
        img.close();
        QVERIFY(run(mnt, "mount", {"-o", "loop,ro", image, mnt}));

        const ScanResult r = scan({}, mnt);
        QVERIFY2(r.files.contains("a.txt"), r.files.constData());
        QStringList problems = r.problems;
        problems.sort();
        QCOMPARE(problems, QStringList({u"Cannot read \"%1\": %2"_s.arg(mnt + "/bad", strerror(EBADMSG)),
                                        u"Cannot read \"%1\": %2"_s.arg(mnt + "/good/inode.bin", strerror(EUCLEAN))}));
    }

    // One image per row made by the real tool ("IMG": its path); its serial given to the tool, or volume_serial.py's.
    void images_data()
    {
        QTest::addColumn<QStringList>("make"); // tool and arguments; a second tool after "&&"
        QTest::addColumn<int>("mib");          // size of the empty image the tool formats, 0 when it makes its own
        QTest::addColumn<QString>("fs");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QStringList>("reference");
        QTest::addColumn<QString>("uuidType"); // the serial from blkid's UUID must agree
        const auto row = [](const char *name, const QStringList &make, int mib, const char *fs, const char *label,
                            const char *serial, const QStringList &reference = {}, const char *uuidType = "") {
            QTest::newRow(name) << make << mib << fs << label << serial << reference << uuidType;
        };
        const auto fat = [](const char *bits, const char *kib, const char *serial) {
            return QStringList{"mkfs.vfat", "-C", "-F",   bits, "-S",      "512", "-s",
                               "1",         "-i", serial, "-n", "FATDISC", "IMG", kib};
        };
        row("FAT12, leading zeros", fat("12", "1440", "00001234"), 0, "FAT", "", "00001234");
        row("FAT16", fat("16", "32768", "0A1B2C3D"), 0, "FAT", "", "0A1B2C3D");
        row("FAT32", fat("32", "65536", "DEADBEEF"), 0, "FAT32", "", "DEADBEEF");
        row("exFAT", {"mkfs.exfat", "-L", "EXDISC", "IMG"}, 16, "exFAT", "", "", {"boot", "IMG", "0x64", "4"}, "exfat");
        // The high half differs from the low half, whose leading zeros must survive.
        row("NTFS",
            {"mkntfs", "-F", "-Q", "-q", "-L", "NTDISC", "IMG", "&&", "ntfslabel", "--new-serial=1234567800ABCDEF",
             "IMG"},
            16, "NTFS", "", "00ABCDEF", {}, "ntfs");
        // Formatted over an old UDF disc, whose anchor the quick format leaves where it was.
        row("NTFS over UDF",
            {"mkudffs", "--media-type=hd", "--blocksize=2048", "--vid=OLD", "IMG", "&&", "mkntfs", "-F", "-Q", "-q",
             "-L", "NTDISC", "IMG", "&&", "ntfslabel", "--new-serial=1234567800ABCDEF", "IMG"},
            16, "NTFS", "", "00ABCDEF", {}, "ntfs");
        const QStringList iso{"xorriso", "-as", "mkisofs", "-o", "IMG", "-V"};
        row("ISO 9660, primary descriptor only", iso + QStringList{"PLAIN_DISC", "TREE"}, 0, "CDFS", "PLAIN_DISC", "",
            {"iso", "IMG"});
        // The Joliet descriptor gives another number than the primary one: the choice matters.
        row("Joliet", iso + QStringList{"My Disc 2003", "-J", "TREE"}, 0, "CDFS", "My Disc 2003", "", {"iso", "IMG"});
        // A bridge disc is taken by its UDF side, before the ISO 9660 one.
        row("UDF bridge", {"genisoimage", "-quiet", "-udf", "-V", "BRIDGE", "-o", "IMG", "TREE"}, 0, "UDF", "BRIDGE", "",
            {"udf", "IMG", "2048"});
        // The label is the logical volume's; on write-once media the file set lives in a virtual partition.
        for (const auto &[name, media, block, revision] :
             {std::tuple{"UDF 2.01, 2048-byte blocks", "hd", "2048", "2.01"},
              {"UDF 2.01, 512-byte blocks", "hd", "512", "2.01"},
              {"UDF 1.02", "hd", "2048", "1.02"},
              {"DVD-R, UDF 2.50, virtual partition", "dvdr", "2048", "2.50"}})
            row(name,
                {"mkudffs", u"--media-type="_s + media, u"--blocksize="_s + block, u"--udfrev="_s + revision,
                 "--lvid=Holiday DVD", "--vid=HOLIDAY", "IMG"},
                8, "UDF", "Holiday DVD", "", {"udf", "IMG", block});
    }

    void images()
    {
        QFETCH(QStringList, make);
        QFETCH(int, mib);
        QFETCH(QString, fs);
        QFETCH(QString, label);
        QFETCH(QString, serial);
        QFETCH(QStringList, reference);
        QFETCH(QString, uuidType);
        const QString image =
            m_imageDir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') + u".img"_s);
        const QString tree = m_imageDir.filePath(u"isotree"_s);
        QVERIFY(writeFile(tree + u"/Sub Folder/Long file name.txt"_s, "contents\n"));
        QFile::remove(image);
        if (mib)
            QVERIFY(QFile(image).open(QIODevice::WriteOnly) && QFile::resize(image, qint64(mib) << 20));
        make.replaceInStrings(QRegularExpression(u"^IMG$"_s), image)
            .replaceInStrings(QRegularExpression(u"^TREE$"_s), tree);
        reference.replaceInStrings(QRegularExpression(u"^IMG$"_s), image);
        for (const QString &command : make.join(u'\n').split(u"\n&&\n"_s)) {
            QStringList step = command.split(u'\n');
            const QString program = tool(step.takeFirst());
            if (program.isEmpty())
                QSKIP(qPrintable(make.first() + u" is not installed"_s));
            QString why;
            QVERIFY2(!toolOutput(program, step, &why).isNull(), qPrintable(why));
        }
        const VolumeProbeResult r = VolumeProbe::probeFile(image);
        // The probe reads the labels of CD and DVD volumes only.
        QCOMPARE(QStringList({r.valid ? r.fileSystem : u"not valid"_s, label.isEmpty() ? label : r.label}),
                 QStringList({fs, label}));
        QCOMPARE(VolumeProbe::serialText(r.serial), reference.isEmpty() ? serial : expected(reference));
        if (make.contains(u"-J"_s)) // the image must tell the descriptors apart
            QVERIFY(VolumeProbe::serialText(r.serial) != expected(reference + QStringList{"0", "primary"}));
        const QString blkid = uuidType.isEmpty() ? QString() : tool(u"blkid"_s);
        const QString uuid =
            blkid.isEmpty() ? QString() : toolOutput(blkid, {"-p", "-o", "value", "-s", "UUID", image});
        if (!uuid.isEmpty())
            QCOMPARE(VolumeProbe::serialFromUuid(uuid, uuidType), r.serial);
        m_images.append(image);
    }

    void isoMultisession()
    {
        const QString xorriso = tool(u"xorriso"_s);
        if (xorriso.isEmpty())
            QSKIP("xorriso is not installed");
        const QString one = m_imageDir.filePath(u"ms1"_s), two = m_imageDir.filePath(u"ms2"_s);
        QVERIFY(writeFile(one + u"/a.txt"_s, "first\n") && writeFile(two + u"/b.txt"_s, "second\n"));
        const QString first = m_imageDir.filePath(u"session1.iso"_s), second = m_imageDir.filePath(u"session2.bin"_s);
        QString why;
        const auto mkisofs = [&](const QStringList &args) {
            return !toolOutput(xorriso, QStringList{"-as", "mkisofs"} + args, &why).isNull();
        };
        QVERIFY2(mkisofs({"-V", "SESSION_1", "-J", "-o", first, one}), qPrintable(why));
        const quint32 start = quint32(QFileInfo(first).size() / 2048);
        // The second session as a recorder writes it after the first: addresses from its own start.
        QVERIFY2(mkisofs({"-V", "SESSION_2", "-J", "-C", u"0,%1"_s.arg(start), "-M", first, "-o", second, two}),
                 qPrintable(why));
        QByteArray disc = CabTestUtil::readFile(first);
        disc.resize(qsizetype(start) * 2048, '\0');
        disc += CabTestUtil::readFile(second);
        const QString discPath = m_imageDir.filePath(u"multisession.img"_s);
        QVERIFY(writeFile(discPath, disc));

        const VolumeProbeResult last = probeBytes(disc, start);
        QVERIFY(last.valid);
        QCOMPARE(last.label, u"SESSION_2"_s);
        QCOMPARE(VolumeProbe::serialText(last.serial), expected({"iso", discPath, QString::number(start)}));
        // Read as a single-session image, the first session's descriptors answer, with another serial.
        const VolumeProbeResult firstOnly = probeBytes(disc, 0);
        QCOMPARE(firstOnly.label, u"SESSION_1"_s);
        QVERIFY(firstOnly.serial != last.serial);
        // A drive that reports a session start where no descriptors are falls back to the start of the disc.
        QCOMPARE(probeBytes(disc, start + 1000).serial, firstOnly.serial);
    }

    void damagedImagesAndNoVolume()
    {
        QRandomGenerator rng(4711);
        for (const QString &path : std::as_const(m_images)) {
            // The structures all live in the first megabyte.
            const QByteArray original = CabTestUtil::readFile(path).left(1 << 20);
            // Truncated anywhere, or bytes changed at random in the places the walk reads: no crash, no endless walk.
            for (const qsizetype cut : {qsizetype(100), qsizetype(32768 + 100), qsizetype(256 * 2048 + 10)})
                probeBytes(original.left(cut));
            for (int round = 0; round < 300; ++round) {
                QByteArray damaged = original;
                for (int i = 0; i < 64; ++i)
                    damaged[rng.bounded(qMin<qsizetype>(damaged.size(), 300 * 2048))] = char(rng.bounded(256));
                probeBytes(damaged, rng.bounded(3) == 0 ? 16 : 0);
            }
        }
        // A descriptor set that never ends: every sector claims to be a primary descriptor.
        QByteArray endless(4 << 20, '\0');
        for (qsizetype s = 16; s * 2048 < endless.size(); ++s)
            endless.replace(s * 2048, 6, "\1CD001");
        QVERIFY(probeBytes(endless).valid);

        QVERIFY(!probeBytes(QByteArray(1 << 20, '\0')).valid);
        QVERIFY(!probeBytes(QByteArray()).valid);
        QVERIFY(!VolumeProbe::probeFile(m_imageDir.filePath(u"missing.img"_s)).valid);
        // An old FAT volume without the extended boot signature has no serial: Windows shows 0000-0000.
        QByteArray boot(512, '\0');
        // A jump, 512 bytes a sector, 1 a cluster, 1 reserved, 2 FATs, 224 root entries, 9 sectors a FAT; no 0x29.
        for (const auto &[at, value] :
             {std::pair{0, 0xEB}, {12, 2}, {13, 1}, {14, 1}, {16, 2}, {0x11, 224}, {0x16, 9}, {510, 0x55}, {511, 0xAA}})
            boot[at] = char(value);
        boot.replace(0x27, 4, "\x44\x33\x22\x11");
        const VolumeProbeResult r = probeBytes(boot);
        QVERIFY(r.valid);
        QCOMPARE(r.serial, 0u);
        QCOMPARE(r.fileSystem, u"FAT"_s);
    }

    void uuidFallbackAndNames()
    {
        // Volumes the program cannot read go by the system's UUID. CD and DVD UUIDs are dates that do not give Windows'
        // number: a stand-in that must stay the same from one version to the next, as catalogues hold it.
        const auto serial = [](const QString &uuid, const QString &type) {
            return VolumeProbe::serialText(VolumeProbe::serialFromUuid(uuid, type));
        };
        QCOMPARE(serial(u"0012-AB3C"_s, u"vfat"_s), u"0012AB3C"_s);
        QCOMPARE(serial(u"0b5e1c2a-9f3d-4e6b-8a7c-1d2e3f4a5b6c"_s, u"ext4"_s), u"0B5E1C2A"_s);
        QCOMPARE(serial(QString(), u"vfat"_s), u"00000000"_s);
        QCOMPARE(serial(u"2024-01-02-03-04-05-00"_s, u"iso9660"_s), u"60AC526A"_s);
        QCOMPARE(serial(u"2024-01-02-03-04-06-00"_s, u"iso9660"_s), u"3DC32639"_s);
        // Mounted volumes go by the kernel's names: FAT12 and FAT16 are both "FAT" to Windows.
        QCOMPARE(VolumeProbe::windowsFileSystemName(u"vfat"_s, u"FAT32"_s), u"FAT32"_s);
        QCOMPARE(VolumeProbe::windowsFileSystemName(u"vfat"_s, u"FAT16"_s), u"FAT"_s);
        QCOMPARE(VolumeProbe::windowsFileSystemName(u"ntfs3"_s), u"NTFS"_s);
        QCOMPARE(VolumeProbe::windowsFileSystemName(u"ext4"_s), u"ext4"_s);
    }
};

QTEST_GUILESS_MAIN(TestVolumes)
#include "tst_volumes.moc"
