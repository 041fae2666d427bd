#include "DiscFinder.h"

#include "DiscIn.h"
#include "TDiskInfo.h"
#include "VolumeBackend.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace
{

bool holdsSerial(const QString &root, const QString &serial, VolumeBackend *backend)
{
    if (!DiscIn(root, backend))
        return false;
    TDiskInfo info(nullptr, backend);
    info.setDrive(root);
    return info.SerialNumber() == serial;
}

QStringList holdingAmong(const QList<DriveEntry> &drives, const QString &serial, VolumeBackend *b)
{
    QStringList holding;
    for (const DriveEntry &d : drives)
        if (holdsSerial(d.text, serial, b))
            holding.append(d.text);
    return holding;
}
} // namespace

QStringList drivesHoldingSerial(const QString &serial, VolumeBackend *backend)
{
    if (serial.isEmpty())
        return {};
    VolumeBackend *b = backend ? backend : VolumeBackend::defaultBackend();
    return holdingAmong(b->drives(), serial, b);
}

QString findDiscBySerial(const QString &serial, VolumeBackend *backend)
{
    if (serial.isEmpty())
        return QString();
    VolumeBackend *b = backend ? backend : VolumeBackend::defaultBackend();
    const QList<DriveEntry> drives = b->drives();
    if (const QStringList holding = holdingAmong(drives, serial, b); !holding.isEmpty())
        return holding.first();
    for (const DriveEntry &d : drives) {
        if (d.device.isEmpty() || !d.mountPoint.isEmpty() || DiscIn(d.text, b))
            continue;
        const QString mounted = b->mount(d.text);
        if (!mounted.isEmpty() && holdsSerial(mounted, serial, b))
            return mounted;
    }
    return QString();
}

namespace
{
// The drive whose volume is mounted at folder, given in any spelling (relative, through a link).
std::optional<DriveEntry> driveRootedAt(const QString &folder, VolumeBackend *b)
{
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const DriveEntry &drive : b->drives()) {
        if (drive.mountPoint.isEmpty())
            continue;
        if (QDir::cleanPath(drive.mountPoint) == clean ||
            (!canonical.isEmpty() && QFileInfo(drive.mountPoint).canonicalFilePath() == canonical))
            return drive;
    }
    return std::nullopt;
}
} // namespace

bool isVolumeRoot(const QString &folder, VolumeBackend *backend)
{
    return driveRootedAt(folder, backend ? backend : VolumeBackend::defaultBackend()).has_value();
}

QString volumeSerialAt(const QString &folder, VolumeBackend *backend)
{
    VolumeBackend *b = backend ? backend : VolumeBackend::defaultBackend();
    const std::optional<DriveEntry> drive = driveRootedAt(folder, b);
    if (!drive)
        return QString();
    // Read as the drive it is: a relative spelling would be looked up from elsewhere.
    TDiskInfo info(nullptr, b);
    info.setDrive(drive->text);
    return info.SerialNumber();
}
