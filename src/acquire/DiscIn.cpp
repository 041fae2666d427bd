#include "DiscIn.h"

#include "VolumeBackend.h"

bool DiscIn(const QString &drive, VolumeBackend *backend)
{
    if (drive.isEmpty())
        return false;
    VolumeBackend *b = backend ? backend : VolumeBackend::defaultBackend();
    VolumeSpace space;
    return b->diskFreeSpace(drive, space);
}
