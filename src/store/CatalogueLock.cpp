#include "CatalogueLock.h"

#include "core/QuilloryError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace
{

struct Owner {
    bool known = false; // the file names a process
    qint64 pid = 0;
    QString host;
};

Owner ownerOf(const QLockFile &lock)
{
    Owner o;
    QString app;
    o.known = lock.getLockInfo(&o.pid, &o.host, &app);
    return o;
}

bool onThisComputer(const Owner &o)
{
    return o.host.isEmpty() || o.host == QSysInfo::machineHostName();
}

// No process of that id exists. A live process of another program under a reused id is not
// gone by this test; the lock file's own check, which compares program names, takes over
// such a lock.
bool processGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString inUse(const QString &lockFile)
{
    return QStringLiteral("The catalogue is in use by another Quillory! program (lock file \"%1\").").arg(shown(lockFile));
}

QString leftByDeadProgram(const QString &lockFile, qint64 pid)
{
    return QStringLiteral("The catalogue's lock file \"%1\" was left by a Quillory! program (process %2) that no "
                          "longer runs; it has been taken over.")
        .arg(shown(lockFile))
        .arg(pid);
}

// QLockFile keeps the system's reason to itself; the folder tells it again (a read-only
// medium, a folder of another user's, a full disk).
QString whyNotCreated(const QString &lockFile)
{
    // "/." so that a file standing where the folder should be is seen as no folder.
    const QByteArray folder = QFile::encodeName(QFileInfo(lockFile).absolutePath() + QStringLiteral("/."));
    if (::access(folder.constData(), W_OK) != 0)
        return QStringLiteral(": %1").arg(QString::fromLocal8Bit(strerror(errno)));
    struct statvfs fs;
    if (::statvfs(folder.constData(), &fs) == 0 && fs.f_bavail == 0)
        return QStringLiteral(": %1").arg(QString::fromLocal8Bit(strerror(ENOSPC)));
    return QString();
}

// A lock file is a few short lines; anything longer is damaged, and its start is enough to
// see whether it changes.
QByteArray contents(int fd)
{
    QByteArray bytes(4096, Qt::Uninitialized);
    ssize_t n;
    do
        n = ::pread(fd, bytes.data(), size_t(bytes.size()), 0);
    while (n < 0 && errno == EINTR);
    bytes.resize(n > 0 ? n : 0);
    return bytes;
}

enum class Removal { Removed, Held, Changed, Gone, NotAFile, Failed };

// Removes a lock file its owner left, but only while it is still that file: no live owner
// holds it locked, the name still leads to the same inode and the bytes are the same. The
// lock is then made anew with an exclusive create, so of several programs doing this at
// once, one owns the catalogue and the others find a live owner.
Removal removeAbandoned(const QString &lockFile, bool ownerUnreadable, int *error)
{
    const QByteArray path = QFile::encodeName(lockFile);
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = errno;
        return errno == ENOENT ? Removal::Gone : errno == ELOOP ? Removal::NotAFile : Removal::Failed;
    }
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat before;
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode))
        return Removal::NotAFile;
    // An owner keeps its lock file locked for as long as it runs, and so does a program
    // removing an abandoned one.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return Removal::Held;
    const QByteArray seen = contents(fd);
    // A program that made the file a moment ago may not have locked it or written itself into
    // it yet: it gets the time to, and is then seen as the live owner it is.
    if (ownerUnreadable)
        QThread::msleep(200);
    struct stat now;
    if (contents(fd) != seen || ::stat(path.constData(), &now) != 0 || now.st_dev != before.st_dev ||
        now.st_ino != before.st_ino)
        return Removal::Changed;
    if (::unlink(path.constData()) != 0) {
        *error = errno;
        return errno == ENOENT ? Removal::Gone : Removal::Failed;
    }
    return Removal::Removed;
}

// Something other than a file where the lock belongs: reading it for its owner would wait for
// ever on a pipe.
bool standsThereNotAFile(const QString &lockFile)
{
    struct stat st;
    return ::lstat(QFile::encodeName(lockFile).constData(), &st) == 0 && !S_ISREG(st.st_mode);
}

QString notALockFile(const QString &lockFile)
{
    return QStringLiteral("\"%1\" is not a lock file (a folder, a link or a special file stands there); no "
                          "Quillory! program made it, so it is left for you to remove.")
        .arg(shown(lockFile));
}
} // namespace

void CatalogueLock::clearUnreadable(const QString &lockFile)
{
    if (!QFileInfo::exists(lockFile) || standsThereNotAFile(lockFile) || ownerOf(QLockFile(lockFile)).known)
        return;
    int error = 0;
    removeAbandoned(lockFile, true, &error);
}

std::unique_ptr<QLockFile> CatalogueLock::take(const QString &lockFile, const InfoCallback &info)
{
    if (standsThereNotAFile(lockFile))
        throw QuilloryError(notALockFile(lockFile));
    auto lock = std::make_unique<QLockFile>(lockFile);
    // A session holds the lock for hours, so age says nothing: a lock is stale by its owner only.
    lock->setStaleLockTime(0);
    // The lock file's own check takes over a lock whose process is gone without a word; what
    // the file named before says whose lock that was.
    Owner before = ownerOf(*lock);
    QString takenOver;
    for (int attempt = 0; attempt < 5; ++attempt) {
        // An owner that ended normally since took its file with it: nothing was taken over.
        if (attempt == 0 && before.known && !QFileInfo::exists(lockFile))
            before = {};
        if (lock->tryLock(0)) {
            if (takenOver.isEmpty() && attempt == 0 && before.known && onThisComputer(before) &&
                before.pid != QCoreApplication::applicationPid())
                takenOver = leftByDeadProgram(lockFile, before.pid);
            if (!takenOver.isEmpty() && info)
                info(takenOver);
            return lock;
        }
        if (lock->error() != QLockFile::LockFailedError)
            throw QuilloryError(
                QStringLiteral("Cannot create the lock file \"%1\"%2.").arg(shown(lockFile), whyNotCreated(lockFile)));
        const Owner owner = ownerOf(*lock);
        // Whether a program on another computer still runs cannot be seen from here, so such a
        // lock is never taken over.
        if (owner.known && !onThisComputer(owner))
            throw QuilloryError(QStringLiteral("The catalogue is in use by a Quillory! program on the computer \"%1\" "
                                               "(lock file \"%2\"). If Quillory! no longer runs there, the lock "
                                               "file must be removed by hand.")
                                    .arg(owner.host, shown(lockFile)));
        if (owner.known && !processGone(owner.pid))
            throw QuilloryError(inUse(lockFile));
        int error = 0;
        switch (removeAbandoned(lockFile, !owner.known, &error)) {
        case Removal::Removed:
            takenOver = owner.known ? leftByDeadProgram(lockFile, owner.pid)
                                    : QStringLiteral("The catalogue's lock file \"%1\" was empty or damaged, left by a "
                                                     "Quillory! program that was stopped; it has been taken over.")
                                          .arg(shown(lockFile));
            break;
        case Removal::Held:
            throw QuilloryError(inUse(lockFile));
        case Removal::Changed:
        case Removal::Gone:
            break; // another program got there first: look again
        case Removal::NotAFile:
            throw QuilloryError(notALockFile(lockFile));
        case Removal::Failed:
            throw QuilloryError(QStringLiteral("The lock file \"%1\" was left by a Quillory! program that no longer "
                                               "runs, but it cannot be removed: %2")
                                    .arg(shown(lockFile), QString::fromLocal8Bit(strerror(error))));
        }
    }
    throw QuilloryError(inUse(lockFile));
}
