#pragma once

// A stand-in for the UDisks2 daemon on a private D-Bus bus, so that the real D-Bus calls and signals of the
// volume code run without drives. It lives in a thread of its own: the code under test makes blocking calls.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

class FakeUDisksObject : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString device = message.path().section(u'/', -1);
        QDBusMessage reply;
        {
            QMutexLocker lock(&mutex);
            calls.append(message.member() + u' ' + device);
            if (message.member() == QLatin1String("GetAll")) {
                reply = message.createReply(QVariant::fromValue(blockProperties.value(device)));
            } else if (message.member() == QLatin1String("Get")) {
                reply = message.createReply(QVariant::fromValue(
                    QDBusVariant(QVariant::fromValue(QDBusObjectPath("/org/freedesktop/UDisks2/drives/" + drive)))));
            } else if (message.member() == QLatin1String("Unmount") && busy.contains(device)) {
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"),
                                                 QStringLiteral("Target is busy"));
            } else if (message.member() == QLatin1String("Mount")) {
                reply = message.createReply(mountPath);
            } else if (message.member() == QLatin1String("Eject") && refuseEject) {
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                                                 QStringLiteral("Error ejecting"));
            } else {
                reply = message.createReply();
            }
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
    FakeUDisks() = default;
    ~FakeUDisks()
    {
        if (m_started) {
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-udisks-service"));
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-udisks-client"));
        }
        m_thread.quit();
        m_thread.wait();
        delete m_object;
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished();
        }
    }

    // Starts a private bus and the service on it; the reason in *why when the machine cannot.
    bool start(QString *why)
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            *why = QStringLiteral("dbus-daemon is not installed");
            return false;
        }
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nosyslog"),
                                QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000)) {
            *why =
                QStringLiteral("dbus-daemon did not start: ") + QString::fromLocal8Bit(m_daemon.readAllStandardError());
            return false;
        }
        const QString address = QString::fromLatin1(m_daemon.readLine()).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("fake-udisks-service"));
        QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("fake-udisks-client"));
        m_started = true;
        if (!service.isConnected() || !client.isConnected()) {
            *why = QStringLiteral("cannot connect to the private bus at ") + address;
            return false;
        }
        m_object = new FakeUDisksObject;
        const bool registered = service.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), m_object,
                                                              QDBusConnection::SubPath);
        // Registered first, then moved with what QtDBus hung on it, so that calls are answered in the thread.
        m_object->moveToThread(&m_thread);
        m_thread.start();
        if (!registered || !service.registerService(QStringLiteral("org.freedesktop.UDisks2"))) {
            *why = QStringLiteral("cannot register the service on the private bus");
            return false;
        }
        return true;
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
    bool m_started = false;
};
