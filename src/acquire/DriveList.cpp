#include "DriveList.h"

#include "DiscIn.h"

DriveList::DriveList(VolumeBackend *backend, QObject *parent) : QObject(parent), m_backend(backend)
{
    refresh();
}

VolumeBackend *DriveList::backend() const
{
    return m_backend ? m_backend : VolumeBackend::defaultBackend();
}

void DriveList::refresh()
{
    const QList<DriveEntry> now = backend()->drives();
    bool changed = now.size() != m_entries.size();
    for (int i = 0; !changed && i < now.size(); ++i)
        changed = now[i].id != m_entries[i].id || now[i].text != m_entries[i].text || now[i].kind != m_entries[i].kind;
    // A drive that has gone (a stick pulled out) is forgotten, so that it counts as newly present when it returns.
    QHash<QString, bool> kept;
    for (const DriveEntry &e : now)
        if (m_present.contains(e.id))
            kept.insert(e.id, m_present.value(e.id));
    m_present = kept;
    m_entries = now;
    if (changed)
        Q_EMIT entriesChanged();
}

QStringList DriveList::texts() const
{
    QStringList t;
    for (const DriveEntry &e : m_entries)
        t.append(e.text);
    return t;
}

QList<DriveEntry> DriveList::ejectable() const
{
    QList<DriveEntry> list;
    for (const DriveEntry &e : m_entries)
        if (e.kind != DriveKind::Fixed)
            list.append(e);
    return list;
}

const DriveEntry *DriveList::findEntry(const QString &drive) const
{
    for (const DriveEntry &e : m_entries)
        if (e.text == drive || e.id == drive)
            return &e;
    return nullptr;
}

bool DriveList::DrivePresent(const QString &drive) const
{
    const DriveEntry *e = findEntry(drive);
    return e && m_present.value(e->id, false);
}

QStringList DriveList::SaveDriveState()
{
    QStringList panels;
    for (const DriveEntry &e : m_entries) {
        const bool present = DiscIn(e.text, backend());
        m_present.insert(e.id, present);
        panels.append(e.text + (present ? QStringLiteral(" present") : QStringLiteral(" empty")));
    }
    if (panels != m_panels) {
        m_panels = panels;
        Q_EMIT panelsChanged(m_panels);
    }
    return m_panels;
}

QString DriveList::arrivedDrive() const
{
    for (const DriveEntry &e : m_entries)
        if (e.kind != DriveKind::Fixed && !m_present.value(e.id, false) && DiscIn(e.text, backend()))
            return e.text;
    return QString();
}

QString DriveList::GetDriveState(const QString &currentText) const
{
    const QString arrived = arrivedDrive();
    return arrived.isEmpty() ? currentText : arrived;
}

QString DriveList::mediaArrived(const QString &currentText, bool *arrived)
{
    refresh();
    const QString drive = arrivedDrive();
    SaveDriveState();
    if (arrived)
        *arrived = !drive.isEmpty();
    return drive.isEmpty() ? currentText : drive;
}

void DriveList::mediaRemoved()
{
    refresh();
    // A disc that came in at the same moment (a quick swap) is left to the arrival notice that
    // follows, which knows a new disc by its drive not yet being recorded as present.
    const DriveEntry *arrived = findEntry(arrivedDrive());
    SaveDriveState();
    if (arrived)
        m_present.insert(arrived->id, false);
}
