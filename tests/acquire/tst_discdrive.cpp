// The Add Disc dialog's drive: the selection that follows a drive through its mount, mounting a
// medium only when the user picks the drive, an unreadable root, and the eject keys. And finding
// a disc by its volume serial among the drives, as opening a file or copying from a catalogued
// disc does before it reads the medium (an empty drive, and the disc put in later, are the
// prompt's test).
#include "ScanFixture.h"
#include "acquire/DiscDrive.h"
#include "acquire/DiscFinder.h"
#include "acquire/FolderVolumeBackend.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace ScanFixture;

class TestDiscDrive : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString folder(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        return path;
    }

private Q_SLOTS:
    void pickingADriveMountsItsDisc()
    {
        UnmountedDiscBackend backend;
        backend.folder = QDir::cleanPath(m_dir.filePath(u"cd"_s));
        QVERIFY(QDir().mkpath(m_dir.filePath(u"hdd"_s)) && QDir().mkpath(backend.folder));
        backend.addVolume(volume(m_dir.filePath(u"hdd"_s), 0x11111111, DriveKind::Fixed));
        backend.addVolume(volume(backend.folder, 0x0A1B2C3D));
        DiscDrive drive(&backend);
        QCOMPARE(drive.drives().panelTexts().at(1), u"/dev/sr0 empty"_s);

        // A notice's refresh looks, but does not mount.
        drive.select(u"/dev/sr0"_s);
        QVERIFY(!drive.readVolume(false));
        QCOMPARE(backend.mounts, 0);
        QVERIFY(drive.discVolume().serial.isEmpty());

        // The user's pick mounts; the selection stays on the drive though its text is now the mount point.
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
        disc.root = m_dir.filePath(u"file"_s);
        QFile(disc.root).open(QIODevice::WriteOnly);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, drive.checkReadable(disc));
    }

    void ejectKeys()
    {
        // Two letters make no single key; a folder volume has no device.
        const QList<std::pair<QString, QString>> keys{{u"/dev/sdb1"_s, u"B"_s}, {u"/dev/sdc"_s, u"C"_s},
                                                      {u"/dev/sr0"_s, u"0"_s},  {u"/dev/mmcblk0p1"_s, {}},
                                                      {u"/dev/sdaa1"_s, {}},    {{}, {}}};
        for (const auto &[device, key] : keys) {
            DriveEntry e;
            e.device = device;
            QCOMPARE(DiscDrive::ejectKey(e), key);
        }
    }

    void theSerialDecidesAndTheFirstDriveInListOrderWins()
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
    }

    void aDiscInTheTrayIsMountedOnlyWhenNoMountedDriveHoldsIt()
    {
        UnmountedDiscBackend backend;
        backend.folder = folder(u"sr0"_s);
        backend.addVolume(volume(backend.folder, 0xCAFE0001));
        const QString stick = backend.addVolume(volume(folder(u"stick"_s), 0xCAFE0002, DriveKind::Removable));

        QCOMPARE(findDiscBySerial(u"CAFE0002"_s, &backend), stick);
        QCOMPARE(backend.mounts, 0);

        QCOMPARE(findDiscBySerial(u"CAFE0001"_s, &backend), backend.folder + u'/');
        QCOMPARE(backend.mounts, 1);
    }
};

QTEST_GUILESS_MAIN(TestDiscDrive)
#include "tst_discdrive.moc"
