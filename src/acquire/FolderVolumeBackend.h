#pragma once

#include "MediaWatcher.h"
#include "VolumeBackend.h"

// A folder standing in for a mounted volume with the given label, serial, file system and size.
struct FolderVolume {
    QString folder;
    QString label;
    quint32 serial = 0;
    QString fileSystem = QStringLiteral("CDFS");
    quint64 totalBytes = 0;
    quint64 freeBytes = 0;
    DriveKind kind = DriveKind::CDROM;
    bool present = true; // a medium is in the drive
};

// Drives without hardware: each drive is a folder, its text the folder with a trailing "/". Inserting and
// removing media is simulated with setPresent and setVolume; the watchers it creates report those changes.
class FolderVolumeBackend : public VolumeBackend
{
    Q_OBJECT
public:
    using VolumeBackend::VolumeBackend;

    // Adds a drive (in list order) and returns its text.
    QString addVolume(const FolderVolume &volume);
    // Puts a medium in (true) or takes it out of the drive; reports arrival or removal.
    void setPresent(const QString &root, bool present);
    // The drive itself goes, as a loop device detached; reports removal.
    void removeVolume(const QString &root);
    // Another medium in the same drive: new label, serial, file system, sizes; reports arrival when present.
    void setVolume(const QString &root, const FolderVolume &volume);
    // Makes the next ejects fail as a drive that refuses does.
    void setEjectRefused(bool refused) { m_ejectRefused = refused; }
    // The drives ejected so far, by text.
    const QStringList &ejected() const { return m_ejected; }

    QList<DriveEntry> drives() override;
    DriveKind driveType(const QString &root) override;
    bool diskFreeSpace(const QString &root, VolumeSpace &space) override;
    bool volumeInformation(const QString &root, VolumeDetails &details) override;
    QString mount(const QString &root, QString *error = nullptr) override;
    bool eject(const QString &root, QString *error = nullptr) override;
    MediaWatcher *createWatcher(QObject *parent) override;

Q_SIGNALS:
    void mediaChanged(MediaWatcher::Event event);

private:
    FolderVolume *find(const QString &root);
    bool readable(const FolderVolume *v) const;

    QList<FolderVolume> m_volumes;
    QStringList m_ejected;
    bool m_ejectRefused = false;
};
