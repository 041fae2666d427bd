// Finding a disc by its volume serial among the drives, as opening a file or copying from a
// catalogued disc does before it reads the medium.
#include "ScanFixture.h"
#include "acquire/DiscFinder.h"
#include "acquire/FolderVolumeBackend.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using ScanFixture::UnmountedDiscBackend;
using ScanFixture::volume;

class TestDiscFinder : public QObject
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
    void theSerialDecidesNotTheLabel()
    {
        FolderVolumeBackend backend;
        FolderVolume a = volume(folder(u"a"_s), 0x1234ABCD);
        a.label = u"HOLIDAY"_s;
        FolderVolume b = volume(folder(u"b"_s), 0x00C0FFEE);
        b.label = u"OTHER"_s;
        backend.addVolume(a);
        const QString rootB = backend.addVolume(b);

        QCOMPARE(findDiscBySerial(u"00C0FFEE"_s, &backend), rootB);
        // Same label as the first disc, another serial: not the disc asked for.
        QCOMPARE(findDiscBySerial(u"1234ABCE"_s, &backend), QString());
        // Serials are compared as written: a lower-case text names no disc.
        QCOMPARE(findDiscBySerial(u"00c0ffee"_s, &backend), QString());
        QCOMPARE(findDiscBySerial(QString(), &backend), QString());
    }

    void theFirstDriveInListOrderWins()
    {
        FolderVolumeBackend backend;
        const QString first = backend.addVolume(volume(folder(u"first"_s), 0x0BADF00D));
        backend.addVolume(volume(folder(u"second"_s), 0x0BADF00D, DriveKind::Removable));
        QCOMPARE(findDiscBySerial(u"0BADF00D"_s, &backend), first);
    }

    void anEmptyDriveIsPassedByAndFoundOnceTheDiscIsIn()
    {
        FolderVolumeBackend backend;
        const QString root = backend.addVolume(volume(folder(u"tray"_s), 0xFEEDBEEF));
        backend.setPresent(root, false);
        QCOMPARE(findDiscBySerial(u"FEEDBEEF"_s, &backend), QString());
        backend.setPresent(root, true);
        QCOMPARE(findDiscBySerial(u"FEEDBEEF"_s, &backend), root);

        // Another disc in the same drive.
        backend.setVolume(root, volume(folder(u"tray"_s), 0x11111111));
        QCOMPARE(findDiscBySerial(u"FEEDBEEF"_s, &backend), QString());
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

QTEST_GUILESS_MAIN(TestDiscFinder)
#include "tst_discfinder.moc"
