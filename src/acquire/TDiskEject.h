#pragma once

#include <QObject>
#include <QString>

class VolumeBackend;

// Ejects the medium of one drive. Drive is the drive's text (mount point or device path).
class TDiskEject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Drive READ Drive WRITE setDrive)
    Q_PROPERTY(bool Ejected READ Ejected WRITE setEjected)
public:
    // backend nullptr: the default backend at the moment of each call.
    explicit TDiskEject(QObject *parent = nullptr, VolumeBackend *backend = nullptr);

    QString Drive() const { return m_drive; }
    void setDrive(const QString &drive) { m_drive = drive; }
    // True when no readable medium is in the drive.
    bool Ejected() const;
    // true: ejects, or raises EDiskEject "No disk in drive!" when the drive is already empty; false does nothing.
    void setEjected(bool ejected);
    // Unmounts and ejects; raises EDiskEject "Could not eject disk!" when the system refuses,
    // with the system's reason on a second line when it gave one.
    void Eject();

private:
    VolumeBackend *backend() const;

    VolumeBackend *m_backend;
    QString m_drive;
};
