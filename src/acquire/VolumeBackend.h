#pragma once

#include <QList>
#include <QObject>
#include <QString>

class MediaWatcher;

// The drive types Windows reports, by their codes; only Removable, Fixed and CDROM drives are listed.
enum class DriveKind {
    NoTypeInformation = 0,
    NoRootDirectory = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CDROM = 5,
    RamDisk = 6,
};

// "No Type Information", "Root Directory does not exist", "Removable", "Fixed", "Remote", "CDROM", "RamDisk".
QString DriveTypeText(DriveKind kind);

// One drive that can hold a volume.
struct DriveEntry {
    QString id;   // stable for the run: the device path, or the folder of a folder volume
    QString text; // the drive's root text: mount point ending in "/" while mounted, else the device path
    DriveKind kind = DriveKind::Fixed;
    QString device;     // block device, empty for folder volumes
    QString mountPoint; // without the trailing "/"; empty while not mounted
};

// What GetDiskFreeSpace reports for a root.
struct VolumeSpace {
    quint32 sectorsPerCluster = 0;
    quint32 bytesPerSector = 0;
    quint32 freeClusters = 0;
    quint32 clusters = 0;
};

// What GetVolumeInformation reports for a root.
struct VolumeDetails {
    QString label;
    quint32 serial = 0;
    QString fileSystem; // as Windows names it
};

// Everything that touches drives and volumes. The Linux implementation talks to the kernel and UDisks2;
// FolderVolumeBackend lets a folder stand in for a mounted volume, so the scanner, the dialogs and the tests
// run without hardware. A "root" is a drive's text or any path on a mounted volume.
class VolumeBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Optical drives, removable drives and mounted fixed volumes, in the order the drive list shows them.
    virtual QList<DriveEntry> drives() = 0;
    virtual DriveKind driveType(const QString &root) = 0;
    // False when no readable volume is there (no medium, not mounted, unreadable).
    virtual bool diskFreeSpace(const QString &root, VolumeSpace &space) = 0;
    virtual bool volumeInformation(const QString &root, VolumeDetails &details) = 0;
    // Mounts the medium of a drive that holds one but is not mounted; returns the drive's new text, or empty
    // with error set.
    virtual QString mount(const QString &root, QString *error = nullptr) = 0;
    // Unmounts and ejects the medium of the drive; false with error set when the system refuses.
    virtual bool eject(const QString &root, QString *error = nullptr) = 0;
    // A watcher that reports media arrival and removal for this backend's drives, owned by parent.
    virtual MediaWatcher *createWatcher(QObject *parent) = 0;

    // The backend every component uses unless told otherwise: the Linux one, or what setDefaultBackend chose.
    static VolumeBackend *defaultBackend();
    // Not owned; nullptr restores the Linux backend. Tests and the command line's overrides set a folder backend.
    static void setDefaultBackend(VolumeBackend *backend);
};
