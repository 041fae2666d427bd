#include "FolderVolumeBackend.h"

#include <QDir>
#include <QFileInfo>

namespace
{

QString textOf(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

} // namespace

QString FolderVolumeBackend::addVolume(const FolderVolume &volume)
{
    FolderVolume v = volume;
    v.folder = QDir::cleanPath(v.folder);
    m_volumes.append(v);
    return textOf(v.folder);
}

FolderVolume *FolderVolumeBackend::find(const QString &root)
{
    if (root.isEmpty())
        return nullptr;
    const QString path = QDir::cleanPath(root);
    for (FolderVolume &v : m_volumes)
        if (path == v.folder || path.startsWith(v.folder + u'/'))
            return &v;
    return nullptr;
}

bool FolderVolumeBackend::readable(const FolderVolume *v) const
{
    return v && v->present && QFileInfo(v->folder).isDir();
}

void FolderVolumeBackend::setPresent(const QString &root, bool present)
{
    if (FolderVolume *v = find(root)) {
        v->present = present;
        Q_EMIT mediaChanged(present ? MediaWatcher::Event::Arrival : MediaWatcher::Event::Removal);
    }
}

void FolderVolumeBackend::removeVolume(const QString &root)
{
    if (FolderVolume *v = find(root)) {
        m_volumes.removeAt(v - m_volumes.data());
        Q_EMIT mediaChanged(MediaWatcher::Event::Removal);
    }
}

void FolderVolumeBackend::setVolume(const QString &root, const FolderVolume &volume)
{
    if (FolderVolume *v = find(root)) {
        const QString folder = v->folder;
        *v = volume;
        v->folder = folder;
        if (v->present)
            Q_EMIT mediaChanged(MediaWatcher::Event::Arrival);
    }
}

QList<DriveEntry> FolderVolumeBackend::drives()
{
    QList<DriveEntry> list;
    for (const FolderVolume &v : m_volumes) {
        DriveEntry e;
        e.id = v.folder;
        e.text = textOf(v.folder);
        e.kind = v.kind;
        e.mountPoint = v.present ? v.folder : QString();
        list.append(e);
    }
    return list;
}

DriveKind FolderVolumeBackend::driveType(const QString &root)
{
    const FolderVolume *v = find(root);
    return v ? v->kind : DriveKind::NoRootDirectory;
}

bool FolderVolumeBackend::diskFreeSpace(const QString &root, VolumeSpace &space)
{
    const FolderVolume *v = find(root);
    if (!readable(v))
        return false;
    // The largest sector that divides both sizes keeps the totals exact; clusters grow until the counts fit.
    quint64 sector = 1;
    for (const quint64 s : {quint64(2048), quint64(512)}) {
        if (v->totalBytes % s == 0 && v->freeBytes % s == 0) {
            sector = s;
            break;
        }
    }
    quint64 perCluster = 1;
    while (v->totalBytes / (sector * perCluster) > 0xFFFFFFFFull && (v->totalBytes % (sector * perCluster * 2)) == 0 &&
           (v->freeBytes % (sector * perCluster * 2)) == 0)
        perCluster *= 2;
    const quint64 cluster = sector * perCluster;
    space.bytesPerSector = quint32(sector);
    space.sectorsPerCluster = quint32(perCluster);
    space.clusters = quint32(qMin<quint64>(v->totalBytes / cluster, 0xFFFFFFFFull));
    space.freeClusters = quint32(qMin<quint64>(v->freeBytes / cluster, 0xFFFFFFFFull));
    return true;
}

bool FolderVolumeBackend::volumeInformation(const QString &root, VolumeDetails &details)
{
    const FolderVolume *v = find(root);
    if (!readable(v))
        return false;
    details.label = v->label;
    details.serial = v->serial;
    details.fileSystem = v->fileSystem;
    return true;
}

QString FolderVolumeBackend::mount(const QString &root, QString *error)
{
    const FolderVolume *v = find(root);
    if (readable(v))
        return textOf(v->folder);
    if (error)
        *error = QStringLiteral("No medium in %1").arg(root);
    return QString();
}

bool FolderVolumeBackend::eject(const QString &root, QString *error)
{
    FolderVolume *v = find(root);
    if (!v || m_ejectRefused) {
        if (error)
            *error = QStringLiteral("The drive refused to eject");
        return false;
    }
    m_ejected.append(textOf(v->folder));
    if (v->present)
        setPresent(v->folder, false);
    return true;
}

MediaWatcher *FolderVolumeBackend::createWatcher(QObject *parent)
{
    auto *w = new MediaWatcher(parent);
    connect(this, &FolderVolumeBackend::mediaChanged, w, &MediaWatcher::report);
    return w;
}
