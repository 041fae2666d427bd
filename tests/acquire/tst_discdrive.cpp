// The Add Disc dialog's drive: the selection that follows a drive through its mount, mounting a
// medium only when the user picks the drive, an unreadable root, and the eject keys.
#include "ScanFixture.h"
#include "acquire/DiscDrive.h"
#include "acquire/FolderVolumeBackend.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using ScanFixture::UnmountedDiscBackend;
using ScanFixture::volume;

class TestDiscDrive : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder(const QString &name) const
    {
        const QString path = m_dir->path() + u'/' + name;
        QDir().mkpath(path);
        return path;
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void pickingADriveMountsItsDisc()
    {
        UnmountedDiscBackend backend;
        backend.addVolume(volume(folder(u"hdd"_s), 0x11111111, DriveKind::Fixed));
        backend.folder = QDir::cleanPath(folder(u"cd"_s));
        backend.addVolume(volume(backend.folder, 0x0A1B2C3D));
        DiscDrive drive(&backend);
        QCOMPARE(drive.currentIndex(), 0); // the first drive is selected at the start
        QCOMPARE(drive.drives().panelTexts().at(1), u"/dev/sr0 empty"_s);

        // A notice's refresh looks, but does not mount.
        drive.select(u"/dev/sr0"_s);
        QVERIFY(!drive.readVolume(false));
        QCOMPARE(backend.mounts, 0);
        QVERIFY(drive.discVolume().serial.isEmpty());

        // The user's pick mounts; the selection stays on the drive though its text is now the mount point.
        QVERIFY(drive.readVolume(true));
        QCOMPARE(backend.mounts, 1);
        QCOMPARE(drive.currentIndex(), 1);
        QCOMPARE(drive.driveText(), backend.folder + u'/');
        const DiscVolume disc = drive.discVolume();
        QCOMPARE(disc.root, backend.folder + u'/');
        QCOMPARE(disc.serial, u"0A1B2C3D"_s);
        QCOMPARE(disc.label, u"AUDIO_CD_1"_s);
        QCOMPARE(disc.totalSize, quint64(2048 * 100));
        QCOMPARE(drive.drives().panelTexts().at(1), backend.folder + u"/ present"_s);
        QVERIFY(drive.readVolume(true));
        QCOMPARE(backend.mounts, 1); // mounted already
    }

    void anUnreadableRootIsRefused()
    {
        // A root that cannot be listed would be recorded as an empty disc. (A medium that leaves or is
        // swapped during the scan is the window tests' business.)
        FolderVolumeBackend backend;
        backend.addVolume(volume(folder(u"cd"_s), 0x0A1B2C3D));
        DiscDrive drive(&backend);
        QVERIFY(drive.readVolume(true));
        DiscVolume disc = drive.discVolume();
        drive.checkReadable(disc);
        disc.root = m_dir->path() + u"/file"_s;
        QFile(disc.root).open(QIODevice::WriteOnly);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, drive.checkReadable(disc));
    }

    void ejectKeys()
    {
        const auto key = [](const QString &device) {
            DriveEntry e;
            e.device = device;
            return DiscDrive::ejectKey(e);
        };
        QCOMPARE(key(u"/dev/sdb1"_s), u"B"_s);
        QCOMPARE(key(u"/dev/sdc"_s), u"C"_s);
        QCOMPARE(key(u"/dev/sr0"_s), u"0"_s);
        QVERIFY(key(u"/dev/mmcblk0p1"_s).isEmpty());
        QVERIFY(key(u"/dev/sdaa1"_s).isEmpty()); // two letters make no single key
        QVERIFY(key(QString()).isEmpty());       // a folder volume
    }
};

QTEST_GUILESS_MAIN(TestDiscDrive)
#include "tst_discdrive.moc"
