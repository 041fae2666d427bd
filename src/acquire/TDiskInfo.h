#pragma once

#include <QObject>
#include <QString>

class VolumeBackend;

// The volume information of one drive. Setting Drive re-reads everything; the figures of the last drive set
// stay until Drive is set again. Drive is the drive's text (a mount point such as "/media/me/DISC/", or a
// device path) rather than a letter; "/" when created.
class TDiskInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Drive READ Drive WRITE setDrive)
    Q_PROPERTY(quint32 SectorsPerCluster READ SectorsPerCluster WRITE setSectorsPerCluster)
    Q_PROPERTY(quint32 BytesPerSector READ BytesPerSector WRITE setBytesPerSector)
    Q_PROPERTY(quint32 FreeClusters READ FreeClusters WRITE setFreeClusters)
    Q_PROPERTY(quint32 Clusters READ Clusters WRITE setClusters)
    Q_PROPERTY(quint64 DiskFreeSpace READ DiskFreeSpace WRITE setDiskFreeSpace)
    Q_PROPERTY(quint64 TotalDiskSpace READ TotalDiskSpace WRITE setTotalDiskSpace)
    Q_PROPERTY(QString DriveType READ DriveType)
    Q_PROPERTY(QString VolumeName READ VolumeName WRITE setVolumeName)
    Q_PROPERTY(QString SerialNumber READ SerialNumber WRITE setSerialNumber)
    Q_PROPERTY(QString FileSystemType READ FileSystemType WRITE setFileSystemType)
public:
    // backend nullptr: the default backend at the moment of each query.
    explicit TDiskInfo(QObject *parent = nullptr, VolumeBackend *backend = nullptr);

    QString Drive() const { return m_drive; }
    // Asks for the free-space figures first (kept from before when that fails), then for label, serial and file
    // system (emptied when that fails, so a stale serial never names the wrong disc).
    void setDrive(const QString &drive);

    quint32 SectorsPerCluster() const { return m_sectorsPerCluster; }
    quint32 BytesPerSector() const { return m_bytesPerSector; }
    quint32 FreeClusters() const { return m_freeClusters; }
    quint32 Clusters() const { return m_clusters; }
    quint64 DiskFreeSpace() const { return m_diskFreeSpace; }
    quint64 TotalDiskSpace() const { return m_totalDiskSpace; }
    QString DriveType() const;
    QString VolumeName() const { return m_volumeName; }
    QString SerialNumber() const { return m_serialNumber; }
    QString FileSystemType() const { return m_fileSystemType; }

    void setSectorsPerCluster(quint32 v) { m_sectorsPerCluster = v; }
    void setBytesPerSector(quint32 v) { m_bytesPerSector = v; }
    void setFreeClusters(quint32 v) { m_freeClusters = v; }
    void setClusters(quint32 v) { m_clusters = v; }
    void setDiskFreeSpace(quint64 v) { m_diskFreeSpace = v; }
    void setTotalDiskSpace(quint64 v) { m_totalDiskSpace = v; }
    void setVolumeName(const QString &v) { m_volumeName = v; }
    void setSerialNumber(const QString &v) { m_serialNumber = v; }
    void setFileSystemType(const QString &v) { m_fileSystemType = v; }

private:
    VolumeBackend *backend() const;

    VolumeBackend *m_backend;
    QString m_drive = QStringLiteral("/");
    quint32 m_sectorsPerCluster = 0;
    quint32 m_bytesPerSector = 0;
    quint32 m_freeClusters = 0;
    quint32 m_clusters = 0;
    quint64 m_diskFreeSpace = 0;
    quint64 m_totalDiskSpace = 0;
    QString m_volumeName;
    QString m_serialNumber;
    QString m_fileSystemType;
};
