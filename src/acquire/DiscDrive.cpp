#include "DiscDrive.h"

#include "DiscIn.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace
{
// How often a running scan looks whether its medium is still there.
constexpr qint64 LookIntervalMs = 250;
} // namespace

DiscDrive::DiscDrive(VolumeBackend *backend, QObject *parent)
    : QObject(parent), m_backend(backend), m_drives(backend), m_volume(nullptr, backend), m_eject(nullptr, backend)
{
    connect(&m_drives, &DriveList::entriesChanged, this, [this] {
        keepSelection();
        Q_EMIT drivesChanged();
    });
    connect(&m_drives, &DriveList::panelsChanged, this, &DiscDrive::panelsChanged);
    keepSelection();
    m_drives.SaveDriveState();
}

VolumeBackend *DiscDrive::backend() const
{
    return m_backend ? m_backend : VolumeBackend::defaultBackend();
}

void DiscDrive::keepSelection()
{
    const QList<DriveEntry> &entries = m_drives.entries();
    for (const DriveEntry &e : entries)
        if (e.id == m_selectedId)
            return;
    // The first drive is selected at the start. A selected drive that went (a stick pulled, an
    // image's loop device detached) leaves none: the first drive, often the system's own disk,
    // would be offered in the Add Disc window the notice refreshes.
    if (!m_selectedId.isEmpty())
        m_selectionGone = true;
    m_selectedId = entries.isEmpty() || m_selectionGone ? QString() : entries.first().id;
}

const DriveEntry *DiscDrive::selectedEntry() const
{
    for (const DriveEntry &e : m_drives.entries())
        if (e.id == m_selectedId)
            return &e;
    return nullptr;
}

int DiscDrive::currentIndex() const
{
    const QList<DriveEntry> &entries = m_drives.entries();
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].id == m_selectedId)
            return i;
    return -1;
}

QString DiscDrive::driveText() const
{
    const DriveEntry *e = selectedEntry();
    return e ? e->text : QString();
}

void DiscDrive::select(int index)
{
    const QList<DriveEntry> &entries = m_drives.entries();
    if (index >= 0 && index < entries.size())
        m_selectedId = entries[index].id;
}

void DiscDrive::select(const QString &drive)
{
    for (const DriveEntry &e : m_drives.entries())
        if (e.text == drive || e.id == drive) {
            m_selectedId = e.id;
            return;
        }
}

bool DiscDrive::readVolume(bool mountMedium)
{
    m_mountError.clear();
    m_drives.refresh();
    const DriveEntry *e = selectedEntry();
    m_discIn = false;
    m_readDrive.clear();
    if (!e)
        return false;
    QString text = e->text;
    VolumeBackend *b = backend();
    // A device without a mounted volume: the medium may be in the drive all the same.
    if (mountMedium && !e->device.isEmpty() && e->mountPoint.isEmpty() && !DiscIn(text, b)) {
        const QString mounted = b->mount(text, &m_mountError);
        if (!mounted.isEmpty()) {
            m_drives.refresh();
            m_drives.SaveDriveState(); // we have looked: the disc is there now
            text = driveText();
        }
    }
    m_discIn = DiscIn(text, b);
    if (m_discIn) {
        m_volume.setDrive(text);
        m_readDrive = text;
    }
    return m_discIn;
}

bool DiscDrive::hasDisc() const
{
    return DiscIn(driveText(), backend());
}

DiscVolume DiscDrive::discVolume() const
{
    DiscVolume v;
    if (!m_discIn)
        return v;
    v.root = m_readDrive;
    v.label = m_volume.VolumeName();
    v.serial = m_volume.SerialNumber();
    v.fileSystem = m_volume.FileSystemType();
    v.totalSize = m_volume.TotalDiskSpace();
    return v;
}

QString DiscDrive::proposedTitle(const QString &label, bool correctLabel)
{
    return correctLabel ? DiscAdder::CorrectLabel(label) : label;
}

bool DiscDrive::mediaArrived()
{
    bool arrived = false;
    select(m_drives.mediaArrived(driveText(), &arrived));
    return arrived;
}

void DiscDrive::mediaRemoved()
{
    m_drives.mediaRemoved();
}

void DiscDrive::checkReadable(const DiscVolume &disc)
{
    m_lastLook.invalidate(); // a new scan: its first folder looks at once
    const QByteArray path = QFile::encodeName(disc.root);
    DIR *d = ::opendir(path.constData());
    if (!d) {
        const int err = errno;
        throw QuilloryError(QStringLiteral("The folders of %1 cannot be read: %2")
                                .arg(disc.root, QString::fromLocal8Bit(strerror(err))));
    }
    ::closedir(d);
}

void DiscDrive::checkPresent(const DiscVolume &disc)
{
    if (m_lastLook.isValid() && m_lastLook.elapsed() < LookIntervalMs)
        return;
    m_lastLook.start();
    if (!DiscIn(disc.root, backend()))
        throw QuilloryError(
            QStringLiteral("The disc was removed from drive %1 before the scan was complete.").arg(disc.root));
}

void DiscDrive::checkSameDisc(const DiscVolume &disc) const
{
    VolumeBackend *b = backend();
    if (!DiscIn(disc.root, b))
        throw QuilloryError(
            QStringLiteral("The disc was removed from drive %1 before the scan was complete.").arg(disc.root));
    TDiskInfo now(nullptr, b);
    now.setDrive(disc.root);
    if (now.SerialNumber() != disc.serial)
        throw QuilloryError(
            QStringLiteral("Another disc (serial number %1) was put into drive %2 during the scan.")
                .arg(now.SerialNumber().isEmpty() ? QStringLiteral("unknown") : now.SerialNumber(), disc.root));
}

QString DiscDrive::addFailedMessage(const QString &reason)
{
    return QStringLiteral("The disc was not added to the database, which is unchanged.\n") + reason;
}

void DiscDrive::eject(const QString &drive)
{
    m_eject.setDrive(drive);
    m_eject.Eject();
}

QString DiscDrive::ejectKey(const DriveEntry &drive)
{
    static const QRegularExpression scsiDisk(QStringLiteral("^sd([a-z])[0-9]*$"));
    static const QRegularExpression optical(QStringLiteral("^sr([0-9])$"));
    if (drive.device.isEmpty())
        return QString();
    const QString name = QFileInfo(drive.device).fileName();
    if (const QRegularExpressionMatch m = scsiDisk.match(name); m.hasMatch())
        return m.captured(1).toUpper();
    if (const QRegularExpressionMatch m = optical.match(name); m.hasMatch())
        return m.captured(1);
    return QString();
}
