#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

// The few UDisks2 calls the volumes need: block properties, mount, unmount and eject, all without root.
class UDisksClient
{
public:
    static constexpr const char *Service = "org.freedesktop.UDisks2";
    static constexpr const char *ManagerPath = "/org/freedesktop/UDisks2";

    explicit UDisksClient(const QDBusConnection &bus);

    // The bus is up and UDisks2 runs there or can be started.
    bool available() const;
    // "/dev/sdb1" → "/org/freedesktop/UDisks2/block_devices/sdb1"; characters other than letters and digits
    // are written as "_" and two hex digits, as UDisks2 does ("dm-0" → "dm_2d0").
    static QString blockObjectPath(const QString &device);

    // The org.freedesktop.UDisks2.Block properties (IdLabel, IdType, IdVersion, IdUUID, Drive...); empty when
    // the bus or the device is not there.
    QVariantMap blockProperties(const QString &device) const;
    QString mount(const QString &device, QString *error) const;
    bool unmount(const QString &device, QString *error) const;
    // Drive.Eject on the drive that holds the device.
    bool ejectDrive(const QString &device, QString *error) const;
    // Loop.Delete: lets go of the loop device of a disc image.
    bool deleteLoop(const QString &device, QString *error) const;

private:
    QDBusConnection m_bus;
};
