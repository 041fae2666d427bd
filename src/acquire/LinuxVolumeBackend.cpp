#include "LinuxVolumeBackend.h"

#include "MediaWatcher.h"
#include "UDisksClient.h"
#include "VolumeProbe.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <blkid/blkid.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace
{

QString canonicalDevice(const QString &source)
{
    const QString c = QFileInfo(source).canonicalFilePath();
    return c.isEmpty() ? source : c;
}

QString withSlash(const QString &mountPoint)
{
    return mountPoint.endsWith(u'/') ? mountPoint : mountPoint + u'/';
}

bool isDiscFileSystem(const QString &fs)
{
    return fs == QLatin1String("iso9660") || fs == QLatin1String("udf");
}

bool isLoop(const QString &device)
{
    return QFileInfo(device).fileName().startsWith(QLatin1String("loop"));
}

// A disc image mounted through a loop device is a medium of its own: an optical one when it holds a disc's file
// system, else a removable one. Package images (squashfs: snaps, a live system's own root) and a loop that holds
// the root file system are the system's, never a medium.
DriveKind loopKind(const QString &fileSystem, const QString &mountPoint)
{
    if (fileSystem == QLatin1String("squashfs") || mountPoint == QLatin1String("/"))
        return DriveKind::Fixed;
    return isDiscFileSystem(fileSystem) ? DriveKind::CDROM : DriveKind::Removable;
}

QString readSmallFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(f.read(64)).trimmed();
}

void naturalSort(QStringList &names)
{
    QCollator c;
    c.setNumericMode(true);
    std::sort(names.begin(), names.end(), [&c](const QString &a, const QString &b) { return c.compare(a, b) < 0; });
}

// The mount of a device's whole file system, when it has one (bind mounts of sub-folders do not count).
const MountEntry *volumeMount(const QList<MountEntry> &mounts, const QString &device)
{
    const MountEntry *best = nullptr;
    for (const MountEntry &m : mounts) {
        if (m.root != QLatin1String("/") || !m.source.startsWith(QLatin1String("/dev/")))
            continue;
        if (canonicalDevice(m.source) != device)
            continue;
        if (!best || m.mountPoint.size() < best->mountPoint.size())
            best = &m;
    }
    return best;
}

struct BlkidTags {
    QString label, type, version, uuid;
};

// Probing needs read access to the device; the cache and udev's links answer without it.
BlkidTags blkidTags(const QString &device)
{
    BlkidTags t;
    const QByteArray dev = QFile::encodeName(device);
    if (blkid_probe pr = blkid_new_probe_from_filename(dev.constData())) {
        blkid_probe_enable_superblocks(pr, 1);
        blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE |
                                                  BLKID_SUBLKS_VERSION);
        if (blkid_do_safeprobe(pr) == 0) {
            auto value = [pr](const char *name) {
                const char *v = nullptr;
                size_t len = 0;
                return blkid_probe_lookup_value(pr, name, &v, &len) == 0 && v ? QString::fromUtf8(v) : QString();
            };
            t.label = value("LABEL");
            t.type = value("TYPE");
            t.version = value("VERSION");
            t.uuid = value("UUID");
        }
        blkid_free_probe(pr);
        if (!t.type.isEmpty())
            return t;
    }
    blkid_cache cache = nullptr;
    if (blkid_get_cache(&cache, nullptr) == 0) {
        auto tag = [cache, &dev](const char *name) {
            char *v = blkid_get_tag_value(cache, name, dev.constData());
            const QString s = v ? QString::fromUtf8(v) : QString();
            free(v);
            return s;
        };
        t.label = tag("LABEL");
        t.type = tag("TYPE");
        t.version = tag("VERSION");
        t.uuid = tag("UUID");
        blkid_put_cache(cache);
    }
    return t;
}

// udev's /dev/disk/by-uuid and by-label links; names escape blanks and the like as \xHH.
QString udevLinkName(const QString &folder, const QString &device)
{
    const QFileInfoList links = QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links) {
        if (link.canonicalFilePath() != device)
            continue;
        const QByteArray name = QFile::encodeName(link.fileName());
        QByteArray out;
        for (int i = 0; i < name.size(); ++i) {
            if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
                bool ok = false;
                const int c = name.mid(i + 2, 2).toInt(&ok, 16);
                if (ok) {
                    out += char(c);
                    i += 3;
                    continue;
                }
            }
            out += name[i];
        }
        return QString::fromUtf8(out);
    }
    return QString();
}

} // namespace

LinuxVolumeBackend::LinuxVolumeBackend(QObject *parent)
    : LinuxVolumeBackend(QDBusConnection::systemBus(), QStringLiteral("/sys/block"),
                         QString::fromLatin1(MountInfo::DefaultPath), parent)
{
}

LinuxVolumeBackend::LinuxVolumeBackend(const QDBusConnection &bus, const QString &sysBlock, const QString &mountInfo,
                                       QObject *parent)
    : VolumeBackend(parent), m_bus(bus), m_sysBlock(sysBlock), m_mountInfo(mountInfo)
{
}

QStringList LinuxVolumeBackend::blockNames() const
{
    QStringList names = QDir(m_sysBlock).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    naturalSort(names);
    return names;
}

QStringList LinuxVolumeBackend::partitionsOf(const QString &disk) const
{
    QStringList parts;
    const QDir dir(m_sysBlock + u'/' + disk);
    for (const QString &sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFileInfo::exists(dir.filePath(sub) + QStringLiteral("/partition")))
            parts.append(sub);
    naturalSort(parts);
    return parts;
}

QString LinuxVolumeBackend::diskOf(const QString &name) const
{
    if (QFileInfo::exists(m_sysBlock + u'/' + name))
        return name;
    for (const QString &disk : blockNames())
        if (QFileInfo::exists(m_sysBlock + u'/' + disk + u'/' + name + QStringLiteral("/partition")))
            return disk;
    return QString();
}

DriveKind LinuxVolumeBackend::kindOf(const QString &device, const QString &fileSystem, const QString &mountPoint) const
{
    if (device.isEmpty()) {
        static const QStringList remote = {QStringLiteral("nfs"),  QStringLiteral("nfs4"),       QStringLiteral("cifs"),
                                           QStringLiteral("smb3"), QStringLiteral("fuse.sshfs"), QStringLiteral("9p")};
        if (remote.contains(fileSystem))
            return DriveKind::Remote;
        if (fileSystem == QLatin1String("tmpfs") || fileSystem == QLatin1String("ramfs"))
            return DriveKind::RamDisk;
        return DriveKind::Fixed;
    }
    const QString name = QFileInfo(device).fileName();
    if (name.startsWith(QLatin1String("sr")))
        return DriveKind::CDROM;
    if (isLoop(device))
        return loopKind(fileSystem, mountPoint);
    const QString disk = diskOf(name);
    if (!disk.isEmpty() && readSmallFile(m_sysBlock + u'/' + disk + QStringLiteral("/removable")) == QLatin1String("1"))
        return DriveKind::Removable;
    return DriveKind::Fixed;
}

QList<DriveEntry> LinuxVolumeBackend::drives()
{
    const QList<MountEntry> mounts = MountInfo::read(m_mountInfo);
    QList<DriveEntry> fixed, optical, removable;
    QSet<QString> covered;
    auto make = [&](const QString &device, DriveKind kind) {
        DriveEntry e;
        e.id = device;
        e.device = device;
        e.kind = kind;
        if (const MountEntry *m = volumeMount(mounts, device))
            e.mountPoint = m->mountPoint;
        e.text = e.mountPoint.isEmpty() ? device : withSlash(e.mountPoint);
        covered.insert(device);
        return e;
    };
    for (const QString &name : blockNames()) {
        const QString device = QStringLiteral("/dev/") + name;
        if (name.startsWith(QLatin1String("sr"))) {
            optical.append(make(device, DriveKind::CDROM));
            continue;
        }
        if (name.startsWith(QLatin1String("loop")) || name.startsWith(QLatin1String("ram")) ||
            name.startsWith(QLatin1String("zram")))
            continue;
        if (readSmallFile(m_sysBlock + u'/' + name + QStringLiteral("/removable")) != QLatin1String("1"))
            continue;
        const QStringList parts = partitionsOf(name);
        if (parts.isEmpty())
            removable.append(make(device, DriveKind::Removable));
        for (const QString &p : parts)
            removable.append(make(QStringLiteral("/dev/") + p, DriveKind::Removable));
    }
    QList<const MountEntry *> byPoint;
    for (const MountEntry &m : mounts)
        if (m.root == QLatin1String("/") && m.source.startsWith(QLatin1String("/dev/")))
            byPoint.append(&m);
    std::sort(byPoint.begin(), byPoint.end(),
              [](const MountEntry *a, const MountEntry *b) { return a->mountPoint < b->mountPoint; });
    for (const MountEntry *m : byPoint) {
        const QString device = canonicalDevice(m->source);
        if (covered.contains(device))
            continue;
        if (isLoop(device)) {
            // The first mount of an image stands for it; the system's own loops are no drives at all.
            const DriveKind kind = loopKind(m->fileSystem, m->mountPoint);
            if (kind == DriveKind::CDROM)
                optical.append(make(device, kind));
            else if (kind == DriveKind::Removable)
                removable.append(make(device, kind));
            else
                covered.insert(device);
            continue;
        }
        fixed.append(make(device, kindOf(device, m->fileSystem, m->mountPoint) == DriveKind::Removable
                                      ? DriveKind::Removable
                                      : DriveKind::Fixed));
    }
    QList<DriveEntry> all = fixed + optical + removable;
    m_listedMounts.clear();
    for (const DriveEntry &e : all)
        if (!e.mountPoint.isEmpty())
            m_listedMounts.insert(e.mountPoint, e.device);
    return all;
}

LinuxVolumeBackend::Resolved LinuxVolumeBackend::resolve(const QString &root, const QList<MountEntry> &mounts) const
{
    Resolved r;
    if (root.isEmpty())
        return r;
    if (root.startsWith(QLatin1String("/dev/"))) {
        r.device = canonicalDevice(root);
        r.exists = true;
        if (const MountEntry *m = volumeMount(mounts, r.device)) {
            r.mountPoint = m->mountPoint;
            r.path = m->mountPoint;
            r.fileSystem = m->fileSystem;
        }
        return r;
    }
    const QString path = QDir::cleanPath(root);
    if (!QFileInfo(path).isDir())
        return r;
    r.exists = true;
    // The innermost mount that holds the path; a later line mounted over an earlier one at the same point.
    const MountEntry *best = nullptr;
    for (const MountEntry &m : mounts) {
        const bool holds =
            path == m.mountPoint || m.mountPoint == QLatin1String("/") || path.startsWith(m.mountPoint + u'/');
        if (holds && (!best || m.mountPoint.size() >= best->mountPoint.size()))
            best = &m;
    }
    const auto listed = m_listedMounts.constFind(path);
    if (listed != m_listedMounts.constEnd() && (!best || best->mountPoint != path)) {
        r.device = listed.value(); // the volume that was listed here has gone
        return r;
    }
    r.path = path;
    if (best) {
        r.mountPoint = best->mountPoint;
        r.fileSystem = best->fileSystem;
        if (best->source.startsWith(QLatin1String("/dev/")))
            r.device = canonicalDevice(best->source);
    } else {
        r.mountPoint = path;
    }
    return r;
}

DriveKind LinuxVolumeBackend::driveType(const QString &root)
{
    const Resolved r = resolve(root, MountInfo::read(m_mountInfo));
    if (!r.exists)
        return DriveKind::NoRootDirectory;
    return kindOf(r.device, r.fileSystem, r.mountPoint);
}

bool LinuxVolumeBackend::diskFreeSpace(const QString &root, VolumeSpace &space)
{
    const Resolved r = resolve(root, MountInfo::read(m_mountInfo));
    if (r.path.isEmpty())
        return false;
    struct statvfs st {
    };
    if (::statvfs(QFile::encodeName(r.path).constData(), &st) != 0)
        return false;
    const quint64 unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    if (unit == 0)
        return false;
    quint64 bytesPerSector = 512;
    if (kindOf(r.device, r.fileSystem, r.mountPoint) == DriveKind::CDROM || unit % 512 != 0)
        bytesPerSector = qMin<quint64>(unit, unit % 2048 == 0 ? 2048 : unit);
    quint64 perCluster = unit / bytesPerSector;
    quint64 clusters = st.f_blocks;
    quint64 free = st.f_bavail;
    // Keep the counts in 32 bits on very large volumes by reporting larger clusters, as the totals must stay exact
    // to the cluster.
    while (clusters > 0xFFFFFFFFull) {
        clusters /= 2;
        free /= 2;
        perCluster *= 2;
    }
    space.bytesPerSector = quint32(bytesPerSector);
    space.sectorsPerCluster = quint32(perCluster);
    space.clusters = quint32(clusters);
    space.freeClusters = quint32(qMin<quint64>(free, clusters));
    return true;
}

bool LinuxVolumeBackend::volumeInformation(const QString &root, VolumeDetails &details)
{
    const Resolved r = resolve(root, MountInfo::read(m_mountInfo));
    if (r.path.isEmpty())
        return false;
    if (r.device.isEmpty()) {
        // No block device (network, memory or overlay file systems): the file-system id stands in for a serial.
        struct statvfs st {
        };
        if (::statvfs(QFile::encodeName(r.path).constData(), &st) != 0)
            return false;
        details.label.clear();
        details.serial = quint32(st.f_fsid);
        details.fileSystem = r.fileSystem;
        return true;
    }
    const VolumeProbeResult probe = VolumeProbe::probeFile(r.device);
    const bool probeLabel =
        probe.valid && (probe.fileSystem == QLatin1String("CDFS") || probe.fileSystem == QLatin1String("UDF"));
    BlkidTags tags = blkidTags(r.device);
    if (tags.type.isEmpty() || (tags.uuid.isEmpty() && !probe.valid)) {
        const QVariantMap props = UDisksClient(m_bus).blockProperties(r.device);
        if (!props.isEmpty()) {
            tags.label = props.value(QStringLiteral("IdLabel")).toString();
            tags.type = props.value(QStringLiteral("IdType")).toString();
            tags.version = props.value(QStringLiteral("IdVersion")).toString();
            tags.uuid = props.value(QStringLiteral("IdUUID")).toString();
        }
    }
    if (tags.uuid.isEmpty())
        tags.uuid = udevLinkName(QStringLiteral("/dev/disk/by-uuid"), r.device);
    if (tags.label.isEmpty() && !probeLabel)
        tags.label = udevLinkName(QStringLiteral("/dev/disk/by-label"), r.device);
    const QString systemType = !tags.type.isEmpty() ? tags.type : r.fileSystem;

    details.label = probeLabel ? probe.label : tags.label;
    details.serial = probe.valid ? probe.serial : VolumeProbe::serialFromUuid(tags.uuid, systemType);
    if (!probe.valid && tags.uuid.isEmpty()) {
        // Nothing names the volume: the kernel's file-system id is at least stable while it stays as it is.
        struct statvfs st {};
        if (::statvfs(QFile::encodeName(r.path).constData(), &st) == 0)
            details.serial = quint32(st.f_fsid);
    }
    details.fileSystem = probe.valid ? probe.fileSystem : VolumeProbe::windowsFileSystemName(systemType, tags.version);
    return true;
}

QString LinuxVolumeBackend::mount(const QString &root, QString *error)
{
    const Resolved r = resolve(root, MountInfo::read(m_mountInfo));
    if (r.device.isEmpty()) {
        if (!r.mountPoint.isEmpty())
            return withSlash(r.mountPoint);
        if (error)
            *error = QStringLiteral("%1 is not a drive").arg(root);
        return QString();
    }
    if (!r.mountPoint.isEmpty())
        return withSlash(r.mountPoint);
    UDisksClient udisks(m_bus);
    if (!udisks.available()) {
        if (error)
            *error = QStringLiteral("UDisks2 is not running: %1 cannot be mounted").arg(r.device);
        return QString();
    }
    const QString mountPoint = udisks.mount(r.device, error);
    if (mountPoint.isEmpty())
        return QString();
    m_listedMounts.insert(QDir::cleanPath(mountPoint), r.device);
    return withSlash(QDir::cleanPath(mountPoint));
}

bool LinuxVolumeBackend::eject(const QString &root, QString *error)
{
    const QList<MountEntry> mounts = MountInfo::read(m_mountInfo);
    const Resolved r = resolve(root, mounts);
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (r.device.isEmpty())
        return fail(QStringLiteral("%1 is not a drive").arg(root));
    // Never take a system volume away: only media in optical and removable drives are ejected.
    if (kindOf(r.device, r.fileSystem, r.mountPoint) == DriveKind::Fixed)
        return fail(QStringLiteral("%1 is a fixed drive").arg(r.device));
    const QString diskName = diskOf(QFileInfo(r.device).fileName());
    const QString disk = diskName.isEmpty() ? r.device : QStringLiteral("/dev/") + diskName;
    QStringList members = {disk};
    for (const QString &p : partitionsOf(diskName))
        members.append(QStringLiteral("/dev/") + p);
    QList<QPair<QString, QString>> mounted; // device, mount point
    for (const QString &dev : members)
        if (const MountEntry *m = volumeMount(mounts, dev))
            mounted.append({dev, m->mountPoint});

    UDisksClient udisks(m_bus);
    QString why;
    if (isLoop(disk)) {
        // An image has no tray: it leaves when it is unmounted and its loop device let go.
        const bool viaUDisks = udisks.available();
        for (const auto &m : mounted) {
            if (viaUDisks && !udisks.unmount(m.first, &why))
                return fail(why);
            if (!viaUDisks && ::umount2(QFile::encodeName(m.second).constData(), 0) != 0) {
                const int err = errno;
                return fail(
                    QStringLiteral("cannot unmount %1: %2").arg(m.second, QString::fromLocal8Bit(strerror(err))));
            }
        }
        // A loop set up with auto-clear (mount -o loop) has gone with its last mount already.
        if (viaUDisks)
            udisks.deleteLoop(disk, nullptr);
        return true;
    }
    if (udisks.available()) {
        for (const auto &m : mounted)
            if (!udisks.unmount(m.first, &why))
                return fail(why);
        if (udisks.ejectDrive(disk, &why))
            return true;
    } else {
        // Without UDisks2 only root may unmount; for anyone else the eject call below reports the busy drive.
        for (const auto &m : mounted)
            ::umount2(QFile::encodeName(m.second).constData(), 0);
    }
    const int fd = ::open(QFile::encodeName(disk).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(why.isEmpty() ? QStringLiteral("cannot open %1").arg(disk) : why);
    const bool ok = ::ioctl(fd, CDROMEJECT, 0) == 0;
    ::close(fd);
    return ok ? true : fail(why.isEmpty() ? QStringLiteral("the drive refused to eject") : why);
}

MediaWatcher *LinuxVolumeBackend::createWatcher(QObject *parent)
{
    auto *w = new MediaWatcher(parent);
    if (!w->startUDisks(m_bus))
        w->startMountTable(m_mountInfo);
    return w;
}
