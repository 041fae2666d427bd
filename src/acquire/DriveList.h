#pragma once

#include "VolumeBackend.h"

#include <QHash>
#include <QObject>
#include <QStringList>

// The drives the Add Disc dialog offers, with the remembered presence of a disc in each (DrivePresent) and
// the status-bar texts that show it. Drives come and go on Linux (a stick is plugged in, a disc is mounted and
// its text becomes the mount point), so the list is re-read on every media notice; the remembered presence
// follows each drive by its device, not by its text.
class DriveList : public QObject
{
    Q_OBJECT
public:
    // backend nullptr: the default backend at the moment of each call.
    explicit DriveList(VolumeBackend *backend = nullptr, QObject *parent = nullptr);

    // Re-reads the drives; emits entriesChanged when texts, kinds or the number of drives changed.
    void refresh();
    const QList<DriveEntry> &entries() const { return m_entries; }
    QStringList texts() const;
    // Drives that get an "Eject Drive " + text item: every drive that is not fixed.
    QList<DriveEntry> ejectable() const;

    // True when a disc was in the drive (by text or id) when the list last looked.
    bool DrivePresent(const QString &drive) const;
    // For each entry in list order: remembers DiscIn of the entry and sets its panel text to the entry's text
    // + " present" or + " empty". Returns the panel texts (panel i + 1 of the status bar shows text i).
    QStringList SaveDriveState();
    // The drive in which a disc has just appeared: the first removable or optical drive remembered empty that now
    // holds a disc; empty when there is none. A fixed drive is the system's own: a volume mounted there (or a
    // notice about something else) is never taken for a disc that arrived.
    QString arrivedDrive() const;
    // arrivedDrive, or currentText when there is none.
    QString GetDriveState(const QString &currentText) const;
    QStringList panelTexts() const { return m_panels; }

    // A medium arrived: re-read the drives, pick the drive to select (GetDriveState), remember the state.
    // Returns the text to select; arrived, when given, tells whether a disc came into a drive (arrivedDrive).
    QString mediaArrived(const QString &currentText, bool *arrived = nullptr);
    // A medium left: re-read the drives and remember the state.
    void mediaRemoved();

Q_SIGNALS:
    void entriesChanged();
    void panelsChanged(const QStringList &texts);

private:
    VolumeBackend *backend() const;
    const DriveEntry *findEntry(const QString &drive) const;

    VolumeBackend *m_backend;
    QList<DriveEntry> m_entries;
    QHash<QString, bool> m_present; // by drive id
    QStringList m_panels;
};
