#include "MediaWatcher.h"

#include "UDisksClient.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QSet>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace
{

const QString kBlockDevices = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
const QString kDrives = QStringLiteral("/org/freedesktop/UDisks2/drives/");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");

bool isVolumeOrDrive(const QString &path, const QStringList &interfaces)
{
    if (path.startsWith(kBlockDevices))
        return interfaces.contains(kFilesystem);
    if (path.startsWith(kDrives))
        return interfaces.contains(kDrive);
    return false;
}

// D-Bus dictionaries arrive as QDBusArgument; tests and local calls hand in plain maps.
QVariantMap toMap(const QVariant &v)
{
    if (v.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v.toMap();
}

// InterfacesAdded carries a{sa{sv}}: the names are the keys.
QStringList interfaceNames(const QVariant &v)
{
    if (v.canConvert<QDBusArgument>()) {
        QMap<QString, QVariantMap> interfaces;
        v.value<QDBusArgument>() >> interfaces;
        return interfaces.keys();
    }
    return v.toMap().keys();
}

bool mountPointsEmpty(const QVariant &v)
{
    if (v.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = v.value<QDBusArgument>();
        QList<QByteArray> points;
        arg >> points;
        return points.isEmpty();
    }
    if (v.canConvert<QList<QByteArray>>())
        return v.value<QList<QByteArray>>().isEmpty();
    return v.toList().isEmpty();
}

QString key(const MountEntry &e)
{
    return e.source + u'\n' + e.mountPoint;
}

} // namespace

MediaWatcher::MediaWatcher(QObject *parent) : QObject(parent), m_bus(QString())
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(300);
    connect(&m_settle, &QTimer::timeout, this, &MediaWatcher::flush);
}

MediaWatcher::~MediaWatcher()
{
    stop();
}

bool MediaWatcher::start()
{
    return startUDisks(QDBusConnection::systemBus()) || startMountTable();
}

bool MediaWatcher::startUDisks(const QDBusConnection &bus)
{
    stop();
    if (!UDisksClient(bus).available())
        return false;
    m_bus = bus;
    const QString service = QString::fromLatin1(UDisksClient::Service);
    const QString manager = QString::fromLatin1(UDisksClient::ManagerPath);
    const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    bool ok = m_bus.connect(service, manager, objectManager, QStringLiteral("InterfacesAdded"), this,
                            SLOT(onInterfacesAdded(QDBusMessage)));
    ok = m_bus.connect(service, manager, objectManager, QStringLiteral("InterfacesRemoved"), this,
                       SLOT(onInterfacesRemoved(QDBusMessage))) &&
         ok;
    // Any object of the service: drives and block devices each have their own path.
    ok = m_bus.connect(service, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                       QStringLiteral("PropertiesChanged"), this, SLOT(onPropertiesChanged(QDBusMessage))) &&
         ok;
    if (!ok) {
        stop();
        return false;
    }
    m_source = Source::UDisks;
    return true;
}

bool MediaWatcher::startMountTable(const QString &path)
{
    stop();
    m_mountFd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_mountFd < 0)
        return false;
    m_mounts = readMountTable();
    // The kernel flags a change of the mount table as an exceptional condition (POLLPRI) on this file.
    m_mountNotifier = new QSocketNotifier(m_mountFd, QSocketNotifier::Exception, this);
    connect(m_mountNotifier, &QSocketNotifier::activated, this, &MediaWatcher::onMountTableChanged);
    m_source = Source::MountTable;
    return true;
}

void MediaWatcher::stop()
{
    if (m_source == Source::UDisks) {
        const QString service = QString::fromLatin1(UDisksClient::Service);
        const QString manager = QString::fromLatin1(UDisksClient::ManagerPath);
        const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
        m_bus.disconnect(service, manager, objectManager, QStringLiteral("InterfacesAdded"), this,
                         SLOT(onInterfacesAdded(QDBusMessage)));
        m_bus.disconnect(service, manager, objectManager, QStringLiteral("InterfacesRemoved"), this,
                         SLOT(onInterfacesRemoved(QDBusMessage)));
        m_bus.disconnect(service, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), this, SLOT(onPropertiesChanged(QDBusMessage)));
    }
    delete m_mountNotifier;
    m_mountNotifier = nullptr;
    if (m_mountFd >= 0)
        ::close(m_mountFd);
    m_mountFd = -1;
    m_source = Source::None;
}

QList<MountEntry> MediaWatcher::readMountTable()
{
    QByteArray text;
    if (::lseek(m_mountFd, 0, SEEK_SET) == 0) {
        char buf[16384];
        ssize_t n;
        while ((n = ::read(m_mountFd, buf, sizeof buf)) > 0)
            text.append(buf, n);
    }
    return MountInfo::parse(text);
}

MediaWatcher::Event MediaWatcher::eventForInterfacesAdded(const QString &objectPath, const QStringList &interfaces)
{
    return isVolumeOrDrive(objectPath, interfaces) ? Event::Arrival : Event::None;
}

MediaWatcher::Event MediaWatcher::eventForInterfacesRemoved(const QString &objectPath, const QStringList &interfaces)
{
    return isVolumeOrDrive(objectPath, interfaces) ? Event::Removal : Event::None;
}

MediaWatcher::Event MediaWatcher::eventForPropertiesChanged(const QString &objectPath, const QString &interface,
                                                            const QVariantMap &changed)
{
    if (interface == kDrive && objectPath.startsWith(kDrives)) {
        const auto it = changed.constFind(QStringLiteral("MediaAvailable"));
        if (it != changed.constEnd())
            return it->toBool() ? Event::Arrival : Event::Removal;
    }
    if (interface == kFilesystem && objectPath.startsWith(kBlockDevices)) {
        const auto it = changed.constFind(QStringLiteral("MountPoints"));
        if (it != changed.constEnd())
            return mountPointsEmpty(*it) ? Event::Removal : Event::Arrival;
    }
    return Event::None;
}

QList<MediaWatcher::Event> MediaWatcher::eventsForMountChange(const QList<MountEntry> &before,
                                                              const QList<MountEntry> &after)
{
    QSet<QString> old, now;
    for (const MountEntry &e : before)
        if (e.source.startsWith(QLatin1String("/dev/")))
            old.insert(key(e));
    for (const MountEntry &e : after)
        if (e.source.startsWith(QLatin1String("/dev/")))
            now.insert(key(e));
    QList<Event> events;
    if (!(old - now).isEmpty())
        events.append(Event::Removal);
    if (!(now - old).isEmpty())
        events.append(Event::Arrival);
    return events;
}

void MediaWatcher::report(Event event)
{
    if (event == Event::None)
        return;
    if (m_pending.isEmpty() || m_pending.last() != event)
        m_pending.append(event);
    m_settle.start();
}

void MediaWatcher::flush()
{
    const QList<Event> events = std::exchange(m_pending, {});
    for (const Event e : events) {
        if (e == Event::Arrival)
            Q_EMIT mediaArrived();
        else
            Q_EMIT mediaRemoved();
    }
}

void MediaWatcher::onInterfacesAdded(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    const QString path = args[0].value<QDBusObjectPath>().path();
    report(eventForInterfacesAdded(path, interfaceNames(args[1])));
}

void MediaWatcher::onInterfacesRemoved(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    report(eventForInterfacesRemoved(args[0].value<QDBusObjectPath>().path(), args[1].toStringList()));
}

void MediaWatcher::onPropertiesChanged(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    report(eventForPropertiesChanged(message.path(), args[0].toString(), toMap(args[1])));
}

void MediaWatcher::onMountTableChanged()
{
    const QList<MountEntry> now = readMountTable();
    for (const Event e : eventsForMountChange(m_mounts, now))
        report(e);
    m_mounts = now;
}
