#include "TDiskInfo.h"

#include "VolumeBackend.h"
#include "VolumeProbe.h"

TDiskInfo::TDiskInfo(QObject *parent, VolumeBackend *backend) : QObject(parent), m_backend(backend) {}

VolumeBackend *TDiskInfo::backend() const
{
    return m_backend ? m_backend : VolumeBackend::defaultBackend();
}

void TDiskInfo::setDrive(const QString &drive)
{
    m_drive = drive;
    VolumeBackend *b = backend();
    VolumeSpace space;
    if (b->diskFreeSpace(drive, space)) {
        m_sectorsPerCluster = space.sectorsPerCluster;
        m_bytesPerSector = space.bytesPerSector;
        m_freeClusters = space.freeClusters;
        m_clusters = space.clusters;
        // 64-bit products: a DVD holds more than 4 GB.
        const quint64 cluster = quint64(space.bytesPerSector) * space.sectorsPerCluster;
        m_diskFreeSpace = quint64(space.freeClusters) * cluster;
        m_totalDiskSpace = quint64(space.clusters) * cluster;
    }
    VolumeDetails details;
    if (b->volumeInformation(drive, details)) {
        m_volumeName = details.label;
        m_serialNumber = VolumeProbe::serialText(details.serial);
        m_fileSystemType = details.fileSystem;
    } else {
        m_volumeName.clear();
        m_serialNumber.clear();
        m_fileSystemType.clear();
    }
}

QString TDiskInfo::DriveType() const
{
    return DriveTypeText(backend()->driveType(m_drive));
}
