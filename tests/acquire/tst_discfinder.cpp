// Finding a disc by its volume serial among the drives, as opening a file or copying from a
// catalogued disc does before it reads the medium (an empty drive, and the disc put in later,
// are the prompt's test).
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

QTEST_GUILESS_MAIN(TestDiscFinder)
#include "tst_discfinder.moc"
