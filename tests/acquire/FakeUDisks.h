#pragma once

// A stand-in for the UDisks2 daemon on a private D-Bus bus, so that the real D-Bus calls and signals of the
// volume code run without drives. It lives in a thread of its own: the code under test makes blocking calls.

#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QtDBus>

class FakeUDisksObject : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString device = message.path().section(u'/', -1), member = message.member();
        QDBusMessage reply;
        {
            QMutexLocker lock(&mutex);
            calls.append(member + u' ' + device);
            if (member == QLatin1String("GetAll"))
                reply = message.createReply(QVariant::fromValue(blockProperties.value(device)));
            else if (member == QLatin1String("Get"))
                reply = message.createReply(QVariant::fromValue(
                    QDBusVariant(QVariant::fromValue(QDBusObjectPath("/org/freedesktop/UDisks2/drives/" + drive)))));
            else if (member == QLatin1String("Unmount") && busy.contains(device))
                reply = message.createErrorReply("org.freedesktop.UDisks2.Error.DeviceBusy", "Target is busy");
            else if (member == QLatin1String("Mount"))
                reply = message.createReply(mountPath);
            else if (member == QLatin1String("Eject") && refuseEject)
                reply = message.createErrorReply("org.freedesktop.UDisks2.Error.Failed", "Error ejecting");
            else
                reply = message.createReply();
        }
        connection.send(reply);
        return true;
    }

    QStringList takeCalls()
    {
        QMutexLocker lock(&mutex);
        return std::exchange(calls, {});
    }

    QMutex mutex;
    QStringList calls;
    QHash<QString, QVariantMap> blockProperties; // by device name
    QSet<QString> busy;
    QString drive = QStringLiteral("Fake_Stick_123");
    QString mountPath = QStringLiteral("/media/tester/STICK");
    bool refuseEject = false;
};

class FakeUDisks
{
public:
    ~FakeUDisks()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-udisks-service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-udisks-client"));
        m_thread.quit();
        m_thread.wait();
        delete m_object;
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    // Starts a private bus and the service on it; why the machine cannot, or an empty string.
    QString start()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return QStringLiteral("dbus-daemon is not installed");
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nosyslog"),
                                QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000))
            return "dbus-daemon did not start: " + QString::fromLocal8Bit(m_daemon.readAllStandardError());
        const QString address = QString::fromLatin1(m_daemon.readLine()).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("fake-udisks-service"));
        if (!service.isConnected() ||
            !QDBusConnection::connectToBus(address, QStringLiteral("fake-udisks-client")).isConnected())
            return "cannot connect to the private bus at " + address;
        m_object = new FakeUDisksObject;
        const bool registered = service.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), m_object,
                                                              QDBusConnection::SubPath);
        // Registered first, then moved with what QtDBus hung on it, so that calls are answered in the thread.
        m_object->moveToThread(&m_thread);
        m_thread.start();
        if (!registered || !service.registerService(QStringLiteral("org.freedesktop.UDisks2")))
            return QStringLiteral("cannot register the service on the private bus");
        return QString();
    }

    QDBusConnection client() const { return QDBusConnection(QStringLiteral("fake-udisks-client")); }
    FakeUDisksObject &object() { return *m_object; }

    void emitSignal(const QString &path, const QString &interface, const QString &name, const QVariantList &args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal.setArguments(args);
        QDBusConnection(QStringLiteral("fake-udisks-service")).send(signal);
    }

private:
    QProcess m_daemon;
    QThread m_thread;
    FakeUDisksObject *m_object = nullptr;
};
