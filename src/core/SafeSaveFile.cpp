#include "core/SafeSaveFile.h"

#include "core/QuilloryError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Writes smaller than this are gathered; a report or a list written line by line would
// otherwise cost a call into the system per line.
constexpr qsizetype BlockSize = 256 * 1024;

// What the partial name adds to the file name: "." before and ".partial" after.
constexpr int PartialExtra = 9;

QString systemReason(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

} // namespace

SafeSaveFile::SafeSaveFile(const QString &path) : m_path(path) {}

SafeSaveFile::~SafeSaveFile()
{
    discard();
}

// Links followed as far as they go, as the system would, without canonicalising the folders
// (a target that does not exist yet is still found).
QString SafeSaveFile::writtenFile(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops)
        info.setFile(info.symLinkTarget());
    // A loop of links: the link itself is replaced.
    return info.isSymLink() ? path : info.filePath();
}

QString SafeSaveFile::partialName(const QString &path)
{
    const QFileInfo info(path);
    QString name = info.fileName();
    while (!name.isEmpty() && QFile::encodeName(name).size() + PartialExtra > NAME_MAX)
        name.chop(name.size() > 1 && name.back().isLowSurrogate() ? 2 : 1);
    return info.path() + QLatin1String("/.") + name + QLatin1String(".partial");
}

bool SafeSaveFile::isPartialName(const QString &fileName)
{
    return fileName.size() > PartialExtra && fileName.startsWith(u'.') && fileName.endsWith(QLatin1String(".partial"));
}

void SafeSaveFile::replaceWithPartial(const QString &path)
{
    const QByteArray partial = QFile::encodeName(partialName(path));
    if (::rename(partial.constData(), QFile::encodeName(path).constData()) != 0) {
        const int err = errno;
        ::unlink(partial.constData());
        throw QuilloryError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, systemReason(err)));
    }
}

QString SafeSaveFile::targetProblem(const QString &path)
{
    const QString target = writtenFile(path);
    struct stat st;
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return systemReason(EISDIR);
        if (!S_ISREG(st.st_mode))
            return QStringLiteral("It is a device, a pipe or a socket, not a file");
        return QString();
    }
    if (!QFileInfo(target).absoluteDir().exists())
        return systemReason(ENOENT);
    return QString();
}

bool SafeSaveFile::fail(int err)
{
    if (m_error == 0) {
        m_error = err ? err : EIO;
        setErrorString(systemReason(m_error));
    }
    return false;
}

bool SafeSaveFile::open(OpenMode mode)
{
    if (isOpen() || (mode & ~(Truncate | Unbuffered)) != WriteOnly) {
        setErrorString(QStringLiteral("A file is written whole, once."));
        return false;
    }
    m_error = 0;
    if (m_path.isEmpty())
        return fail(ENOENT);
    const QString target = writtenFile(m_path);
    m_target = QFile::encodeName(target);
    m_partial = QFile::encodeName(partialName(target));
    // Found now rather than at the rename, after all the bytes.
    if (const QString why = targetProblem(target); !why.isEmpty()) {
        m_error = EINVAL;
        setErrorString(why);
        return false;
    }
    struct stat st;
    if (::stat(m_target.constData(), &st) == 0)
        m_mode = int(st.st_mode & 07777);
    ::unlink(m_partial.constData());
    do
        m_fd = ::open(m_partial.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        return fail(errno);
    m_used = 0;
    QIODevice::open(WriteOnly | Unbuffered);
    return true;
}

bool SafeSaveFile::writeAll(const char *data, qint64 size)
{
    while (size > 0) {
        // A short count (the disk filling up) is followed by another try, which gives the reason.
        const ssize_t n = ::write(m_fd, data, size_t(std::min<qint64>(size, qint64(1) << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        data += n;
        size -= n;
    }
    return true;
}

bool SafeSaveFile::flushBuffer()
{
    const qsizetype used = m_used;
    m_used = 0;
    return used == 0 || writeAll(m_buffer.constData(), used);
}

qint64 SafeSaveFile::writeData(const char *data, qint64 size)
{
    if (m_fd < 0 || m_error != 0)
        return -1;
    if (size >= BlockSize) {
        if (!flushBuffer() || !writeAll(data, size))
            return -1;
        return size;
    }
    if (m_buffer.isEmpty())
        m_buffer.resize(BlockSize);
    if (m_used + size > BlockSize && !flushBuffer())
        return -1;
    std::memcpy(m_buffer.data() + m_used, data, size_t(size));
    m_used += size;
    return size;
}

bool SafeSaveFile::commit()
{
    if (m_fd < 0)
        return m_error == 0 ? fail(EBADF) : false;
    if (m_error == 0)
        flushBuffer();
    if (m_error == 0) {
        // Neither is worth the file: the bytes are what matters.
        if (m_modified.isValid()) {
            const qint64 ms = m_modified.toMSecsSinceEpoch();
            const qint64 seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
            const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(seconds), long(ms - seconds * 1000) * 1000000}};
            ::futimens(m_fd, times);
        }
        if (m_mode >= 0)
            ::fchmod(m_fd, mode_t(m_mode));
        // A file system without syncs is no failure; one that cannot keep the bytes is.
        if (::fsync(m_fd) != 0 && errno != EINVAL && errno != ENOTSUP)
            fail(errno);
    }
    if (::close(m_fd) != 0 && errno != EINTR)
        fail(errno);
    m_fd = -1;
    if (m_error == 0 && ::rename(m_partial.constData(), m_target.constData()) != 0)
        fail(errno);
    if (m_error != 0)
        removePartial();
    QIODevice::close();
    return m_error == 0;
}

void SafeSaveFile::removePartial()
{
    if (!m_partial.isEmpty())
        ::unlink(m_partial.constData());
    m_partial.clear();
}

void SafeSaveFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        removePartial();
    }
    m_used = 0;
    if (isOpen())
        QIODevice::close();
}

void SafeSaveFile::close()
{
    discard();
}

void SafeSaveFile::failWritesPastTheSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}
