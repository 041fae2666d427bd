#include "DiscFinder.h"

#include "DiscIn.h"
#include "TDiskInfo.h"
#include "VolumeBackend.h"

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

} // namespace

QString findDiscBySerial(const QString &serial, VolumeBackend *backend)
{
    if (serial.isEmpty())
        return QString();
    VolumeBackend *b = backend ? backend : VolumeBackend::defaultBackend();
    const QList<DriveEntry> drives = b->drives();
    for (const DriveEntry &d : drives) {
        if (holdsSerial(d.text, serial, b))
            return d.text;
    }
    for (const DriveEntry &d : drives) {
        if (d.device.isEmpty() || !d.mountPoint.isEmpty() || DiscIn(d.text, b))
            continue;
        const QString mounted = b->mount(d.text);
        if (!mounted.isEmpty() && holdsSerial(mounted, serial, b))
            return mounted;
    }
    return QString();
}
