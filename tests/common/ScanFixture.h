#pragma once

// Helpers for the scanner tests: building a folder tree with known sizes and times, the
// order the file system really enumerates it in, and running a scan into two buffers.

#include "RunProgram.h"
#include "acquire/FolderVolumeBackend.h"
#include "acquire/ImageScanner.h"
#include "acquire/Scanner.h"
#include "store/ContentsList.h"
#include "store/ContentsListWriter.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

namespace ScanFixture
{

// Local time as a file's modification time.
inline bool setMtime(const QString &path, const QDateTime &local, bool followLink = true)
{
    timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(local.toSecsSinceEpoch());
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, followLink ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

inline bool writeFile(const QString &path, const QByteArray &bytes, const QDateTime &mtime = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return !mtime.isValid() || setMtime(path, mtime);
}

// The names of a folder as readdir gives them.
inline QStringList readdirOrder(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Unsorted);
}

struct ScanResult {
    QByteArray files;
    QByteArray folders;
    quint64 total = 0;
    quint64 scanned = 0;
    QList<quint64> gauge;
    int folderCalls = 0;
    QStringList problems; // as the user is told them
};

// A scan of a folder, or of a disc image file; onFolder runs once for every folder opened, when its names are read
// and before its entries are looked at.
inline ScanResult scan(const ScanOptions &options, const QString &root, quint64 totalSize = 0,
                       const std::function<void()> &onFolder = {}, QByteArray *checksums = nullptr)
{
    ScanResult r;
    QBuffer files(&r.files), folders(&r.folders), sums(checksums);
    files.open(QIODevice::WriteOnly);
    folders.open(QIODevice::WriteOnly);
    Scanner s(options, &files, &folders);
    if (checksums && sums.open(QIODevice::WriteOnly))
        s.setChecksumList(&sums);
    s.setTotalSize(totalSize);
    s.setGauge([&r](quint64 pos) { r.gauge << pos; });
    s.setProcessEvents([&r, &onFolder] {
        ++r.folderCalls;
        if (onFolder)
            onFolder();
    });
    r.total = QFileInfo(root).isFile() ? ImageScanner(s).Scan(root) : s.Scan(root);
    r.scanned = s.scannedBytes();
    for (const ScanProblem &p : s.problems())
        r.problems << p.text();
    return r;
}

// One record as the catalogue's writer gives it.
inline QByteArray record(const QStringList &lines)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    ContentsListWriter writer(&buffer);
    writer.writeRecord(lines);
    writer.flush();
    return out;
}

// Runs a tool in a folder; false when it is missing or fails.
inline bool run(const QString &folder, const QString &program, const QStringList &args,
                const QByteArray &input = QByteArray(), QByteArray *output = nullptr)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    const ProgramRun r = runProgram(program, args, input, folder);
    if (output)
        *output = r.out;
    return r.code == 0;
}

// A folder standing in for a drive's medium, as the drive tests use it.
inline FolderVolume volume(const QString &folder, quint32 serial, DriveKind kind = DriveKind::CDROM)
{
    FolderVolume v;
    v.folder = folder;
    v.label = QStringLiteral("AUDIO_CD_1");
    v.serial = serial;
    v.totalBytes = 2048 * 100;
    v.kind = kind;
    return v;
}

// An optical drive whose disc is in the tray but not mounted until someone mounts it, as a
// desktop leaves a disc that nobody has opened yet.
class UnmountedDiscBackend : public FolderVolumeBackend
{
public:
    QString folder;
    bool mounted = false;
    int mounts = 0;
    static constexpr const char *Device = "/dev/sr0";

    QList<DriveEntry> drives() override
    {
        QList<DriveEntry> list = FolderVolumeBackend::drives();
        for (DriveEntry &e : list) {
            if (e.id != folder)
                continue;
            e.id = e.device = QString::fromLatin1(Device);
            if (!mounted) {
                e.text = e.id;
                e.mountPoint.clear();
            }
        }
        return list;
    }
    bool diskFreeSpace(const QString &root, VolumeSpace &space) override
    {
        return !isTray(root) && FolderVolumeBackend::diskFreeSpace(root, space);
    }
    bool volumeInformation(const QString &root, VolumeDetails &details) override
    {
        return !isTray(root) && FolderVolumeBackend::volumeInformation(root, details);
    }
    // The tray's device, or its folder while the disc is not mounted: nothing to read there.
    bool isTray(const QString &root) const
    {
        return root == QLatin1String(Device) || (!mounted && root.startsWith(folder));
    }
    QString mount(const QString &, QString *) override
    {
        ++mounts;
        mounted = true;
        return folder + u'/';
    }
};

} // namespace ScanFixture
