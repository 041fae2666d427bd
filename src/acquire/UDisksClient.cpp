#include "UDisksClient.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFileInfo>

namespace
{

constexpr int kQueryTimeout = 3000;
// Unmounting flushes a stick and ejecting waits for a tray: give the drive time.
constexpr int kActionTimeout = 60000;

const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

bool callOk(const QDBusMessage &reply, QString *error)
{
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error)
        *error = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return false;
}

} // namespace

UDisksClient::UDisksClient(const QDBusConnection &bus) : m_bus(bus) {}

bool UDisksClient::available() const
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QString service = QString::fromLatin1(Service);
    if (m_bus.interface()->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> activatable = m_bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

QString UDisksClient::blockObjectPath(const QString &device)
{
    const QString name = QFileInfo(device).fileName();
    QString path = QString::fromLatin1(ManagerPath) + QStringLiteral("/block_devices/");
    for (const char c : name.toUtf8()) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            path += QLatin1Char(c);
        else
            path += QStringLiteral("_%1").arg(quint8(c), 2, 16, QLatin1Char('0'));
    }
    return path;
}

QVariantMap UDisksClient::blockProperties(const QString &device) const
{
    if (!m_bus.isConnected())
        return {};
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(Service), blockObjectPath(device),
                                                       kProperties, QStringLiteral("GetAll"));
    call << kBlock;
    const QDBusReply<QVariantMap> reply = m_bus.call(call, QDBus::Block, kQueryTimeout);
    return reply.isValid() ? reply.value() : QVariantMap();
}

QString UDisksClient::mount(const QString &device, QString *error) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(Service), blockObjectPath(device),
                                                       kFilesystem, QStringLiteral("Mount"));
    call << QVariantMap();
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kActionTimeout);
    if (!callOk(reply, error))
        return QString();
    return reply.arguments().value(0).toString();
}

bool UDisksClient::unmount(const QString &device, QString *error) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(Service), blockObjectPath(device),
                                                       kFilesystem, QStringLiteral("Unmount"));
    call << QVariantMap();
    return callOk(m_bus.call(call, QDBus::Block, kActionTimeout), error);
}

bool UDisksClient::ejectDrive(const QString &device, QString *error) const
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromLatin1(Service), blockObjectPath(device),
                                                      kProperties, QStringLiteral("Get"));
    get << kBlock << QStringLiteral("Drive");
    const QDBusMessage driveReply = m_bus.call(get, QDBus::Block, kQueryTimeout);
    if (!callOk(driveReply, error))
        return false;
    const QDBusObjectPath drive =
        qvariant_cast<QDBusVariant>(driveReply.arguments().value(0)).variant().value<QDBusObjectPath>();
    if (drive.path().isEmpty() || drive.path() == QLatin1String("/")) {
        if (error)
            *error = QStringLiteral("no drive holds %1").arg(device);
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(Service), drive.path(), kDrive, QStringLiteral("Eject"));
    call << QVariantMap();
    return callOk(m_bus.call(call, QDBus::Block, kActionTimeout), error);
}

bool UDisksClient::deleteLoop(const QString &device, QString *error) const
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(Service), blockObjectPath(device),
                                       QStringLiteral("org.freedesktop.UDisks2.Loop"), QStringLiteral("Delete"));
    call << QVariantMap();
    return callOk(m_bus.call(call, QDBus::Block, kActionTimeout), error);
}
