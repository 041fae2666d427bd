#pragma once

#include "DiscAdder.h"
#include "DriveList.h"
#include "TDiskEject.h"
#include "TDiskInfo.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// The drive the Add Disc dialog reads from: the drive list with the remembered presence of a
// disc in each drive, the selected drive, its volume (TDiskInfo) and its eject (TDiskEject).
// The selection follows a drive, not its text, which changes when its medium is mounted.
//
// It also guards a scan: a medium that leaves its drive, or is swapped for another, while the
// scan runs would otherwise give a silently short or mixed-up catalogue entry.
class DiscDrive : public QObject
{
    Q_OBJECT
public:
    // backend nullptr: the default backend at the moment of each call.
    explicit DiscDrive(VolumeBackend *backend = nullptr, QObject *parent = nullptr);

    DriveList &drives() { return m_drives; }
    const DriveList &drives() const { return m_drives; }
    // The selected drive's place in the list, and its text; -1 and empty without drives.
    int currentIndex() const;
    QString driveText() const;
    // Selects a drive by its place in the list, or by its text or id.
    void select(int index);
    void select(const QString &drive);

    // Reads the selected drive's volume and returns whether a disc is in it (DiscIn). When the
    // user picked the drive, a medium that is in it but not mounted is mounted first.
    bool readVolume(bool mountMedium);
    // The outcome of the last readVolume.
    bool discIn() const { return m_discIn; }
    // Whether a disc is in the selected drive now (DiscIn), without reading its volume.
    bool hasDisc() const;
    const TDiskInfo &volume() const { return m_volume; }
    // Why the last mount failed, as the system said it; empty when none was tried or it worked.
    QString mountError() const { return m_mountError; }
    // The disc as the scan needs it, from the last readVolume.
    DiscVolume discVolume() const;

    // The title the dialog proposes for a label: MISC_4 becomes "Misc 4" when the preference
    // asks for it, else the label as it is.
    static QString proposedTitle(const QString &label, bool correctLabel);

    // A medium arrived: the drive that has just got a disc is selected (or the selection
    // stays), and the remembered presence is refreshed. Returns whether a disc came into a
    // removable or optical drive: only then may a notice offer to add it.
    bool mediaArrived();
    // A medium left: the drives and the remembered presence are refreshed.
    void mediaRemoved();

    // Before a scan: the volume's root must be a folder that can be listed, or the scan would
    // record an empty disc. Throws QuilloryError.
    void checkReadable(const DiscVolume &disc);
    // While a scan runs (called between folders; cheap, it looks at most every few tenths of
    // a second): throws QuilloryError when the medium has left the drive.
    void checkPresent(const DiscVolume &disc);
    // Once the scan is over, before anything is stored: the medium must still be there and be
    // the same disc (serial). Throws QuilloryError.
    void checkSameDisc(const DiscVolume &disc) const;
    // The one message a failed Add shows, with the reason.
    static QString addFailedMessage(const QString &reason);

    // Ejects the medium of the drive with that text; throws EDiskEject.
    void eject(const QString &drive);

    // The key of a drive's "Eject Drive" item, shown with Ctrl+Shift: the letter of a SCSI
    // disk's kernel name (sdb and its partitions: B) or the number of an optical drive (sr0:
    // 0). These stay with the drive while it is attached. Other drives (memory cards, NVMe,
    // disc images, folders) get none: their names give no single key.
    static QString ejectKey(const DriveEntry &drive);

Q_SIGNALS:
    // The drives, their texts or kinds changed; the selection may have moved.
    void drivesChanged();
    // The status texts of the drives, one per drive in list order ("… present", "… empty").
    void panelsChanged(const QStringList &texts);

private:
    VolumeBackend *backend() const;
    const DriveEntry *selectedEntry() const;
    void keepSelection();

    VolumeBackend *m_backend;
    DriveList m_drives;
    TDiskInfo m_volume;
    TDiskEject m_eject;
    QString m_selectedId;
    bool m_selectionGone = false;
    bool m_discIn = false;
    QString m_readDrive; // the drive text the last readVolume read
    QString m_mountError;
    QElapsedTimer m_lastLook;
};
