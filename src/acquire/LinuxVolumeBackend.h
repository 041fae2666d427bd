#pragma once

#include "MountInfo.h"
#include "VolumeBackend.h"

#include <QDBusConnection>
#include <QHash>

// Drives and volumes of this machine: block devices from sysfs, mounts from the mount table, serial numbers
// from the volumes' own bytes (VolumeProbe), labels and UUIDs from libblkid or UDisks2, sizes from statvfs,
// mounting and ejecting through UDisks2 with the kernel's eject call as the fallback.
class LinuxVolumeBackend : public VolumeBackend
{
    Q_OBJECT
public:
    explicit LinuxVolumeBackend(QObject *parent = nullptr);
    // For tests: another bus, a sysfs "block" folder and a mount table of their own making.
    LinuxVolumeBackend(const QDBusConnection &bus, const QString &sysBlock, const QString &mountInfo,
                       QObject *parent = nullptr);

    QList<DriveEntry> drives() override;
    DriveKind driveType(const QString &root) override;
    bool diskFreeSpace(const QString &root, VolumeSpace &space) override;
    bool volumeInformation(const QString &root, VolumeDetails &details) override;
    QString mount(const QString &root, QString *error = nullptr) override;
    bool eject(const QString &root, QString *error = nullptr) override;
    MediaWatcher *createWatcher(QObject *parent) override;

private:
    struct Resolved {
        bool exists = false; // the root names a device or an existing folder
        QString device;      // canonical block device, empty for volumes without one
        QString mountPoint;  // where the volume is mounted now; empty when it is not
        QString path;        // the folder to ask statvfs about
        QString fileSystem;  // the mount table's name for it
    };
    Resolved resolve(const QString &root, const QList<MountEntry> &mounts) const;
    DriveKind kindOf(const QString &device, const QString &fileSystem, const QString &mountPoint) const;
    QString diskOf(const QString &name) const;
    QStringList partitionsOf(const QString &disk) const;
    QStringList blockNames() const;

    QDBusConnection m_bus;
    QString m_sysBlock;
    QString m_mountInfo;
    // Mount points this backend listed as drive texts, with their devices: a text whose volume has gone must not
    // be mistaken for the folder under it.
    QHash<QString, QString> m_listedMounts;
};
