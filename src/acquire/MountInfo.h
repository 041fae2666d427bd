#pragma once

#include <QList>
#include <QString>

// One line of /proc/self/mountinfo.
struct MountEntry {
    QString root;       // the part of the file system mounted here ("/" for a whole volume)
    QString mountPoint; // unescaped
    QString fileSystem; // "vfat", "iso9660", "fuseblk"...
    QString source;     // "/dev/sr0", or whatever the file system names
    bool readOnly = false;

    bool operator==(const MountEntry &o) const
    {
        return mountPoint == o.mountPoint && source == o.source && fileSystem == o.fileSystem && root == o.root;
    }
};

// The mount table of this process, the one place that knows which volumes are mounted where.
class MountInfo
{
public:
    static constexpr const char *DefaultPath = "/proc/self/mountinfo";

    static QList<MountEntry> parse(const QByteArray &text);
    static QList<MountEntry> read(const QString &path = QString::fromLatin1(DefaultPath));
    // Undoes the kernel's octal escapes (\040 for a blank, \011, \012, \134).
    static QString unescape(const QByteArray &field);
};
