#include "VolumeBackend.h"

#include "LinuxVolumeBackend.h"

#include <QPointer>

namespace
{
QPointer<VolumeBackend> g_chosen;
} // namespace

QString DriveTypeText(DriveKind kind)
{
    switch (kind) {
    case DriveKind::NoTypeInformation:
        return QStringLiteral("No Type Information");
    case DriveKind::NoRootDirectory:
        return QStringLiteral("Root Directory does not exist");
    case DriveKind::Removable:
        return QStringLiteral("Removable");
    case DriveKind::Fixed:
        return QStringLiteral("Fixed");
    case DriveKind::Remote:
        return QStringLiteral("Remote");
    case DriveKind::CDROM:
        return QStringLiteral("CDROM");
    case DriveKind::RamDisk:
        return QStringLiteral("RamDisk");
    }
    return QStringLiteral("No Type Information");
}

VolumeBackend *VolumeBackend::defaultBackend()
{
    if (g_chosen)
        return g_chosen.data();
    static LinuxVolumeBackend *system = new LinuxVolumeBackend; // lives for the process, like the drives
    return system;
}

void VolumeBackend::setDefaultBackend(VolumeBackend *backend)
{
    g_chosen = backend;
}
