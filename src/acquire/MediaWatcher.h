#pragma once

#include "MountInfo.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

class QDBusMessage;
class QSocketNotifier;

// Reports that a medium arrived or left, as the device-change notices do on Windows. The system's signals
// come from UDisks2 when it runs; without it, from changes of the mount table. A burst of signals for one
// medium (drive, block device, file system, mount) comes out as one notice after a short pause.
class MediaWatcher : public QObject
{
    Q_OBJECT
public:
    enum class Event { None, Arrival, Removal };
    enum class Source { None, UDisks, MountTable };

    explicit MediaWatcher(QObject *parent = nullptr);
    ~MediaWatcher() override;

    // UDisks2 on the system bus first, the mount table otherwise. False when neither can be watched.
    bool start();
    bool startUDisks(const QDBusConnection &bus);
    bool startMountTable(const QString &path = QString::fromLatin1(MountInfo::DefaultPath));
    Source source() const { return m_source; }
    // How long a burst of signals is gathered before the notices go out (milliseconds).
    void setSettleTime(int ms) { m_settle.setInterval(ms); }

    // What one UDisks2 signal means for the drives. Jobs, loop set-up and partition tables mean nothing.
    static Event eventForInterfacesAdded(const QString &objectPath, const QStringList &interfaces);
    static Event eventForInterfacesRemoved(const QString &objectPath, const QStringList &interfaces);
    static Event eventForPropertiesChanged(const QString &objectPath, const QString &interface,
                                           const QVariantMap &changed);
    // What a change of the mount table means: a volume of a device mounted, or unmounted. Removals come first,
    // so a quick swap of discs reads as removal then arrival.
    static QList<Event> eventsForMountChange(const QList<MountEntry> &before, const QList<MountEntry> &after);

public Q_SLOTS:
    // Queues a notice; backends without system signals (folder volumes) report through here.
    void report(MediaWatcher::Event event);

Q_SIGNALS:
    void mediaArrived();
    void mediaRemoved();

private Q_SLOTS:
    void onInterfacesAdded(const QDBusMessage &message);
    void onInterfacesRemoved(const QDBusMessage &message);
    void onPropertiesChanged(const QDBusMessage &message);
    void onMountTableChanged();
    void flush();

private:
    void stop();
    QList<MountEntry> readMountTable();

    Source m_source = Source::None;
    QDBusConnection m_bus;
    QList<Event> m_pending;
    QTimer m_settle;
    int m_mountFd = -1;
    QSocketNotifier *m_mountNotifier = nullptr;
    QList<MountEntry> m_mounts;
};
