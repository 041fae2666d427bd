#include "CatalogueSwitch.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

QString systemReason(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

// A name the journal may hold: a bare file name in DB.
bool isBareName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

// Data and directory entries on disk before the next step relies on them.
void syncPath(const QString &path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | (directory ? O_DIRECTORY : 0));
    if (fd < 0 || ::fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        // Some file systems cannot sync a folder; the files themselves must be.
        if (directory && (err == EINVAL || err == EBADF))
            return;
        throw QuilloryError(QStringLiteral("Cannot write \"%1\" to the disk: %2")
                                .arg(QDir::toNativeSeparators(path), systemReason(err)));
    }
    ::close(fd);
}

// Every staged file on the disk at once: one sync of the file system that holds the staging
// folder, instead of one per file, which for thousands of contents files costs a journal commit
// each. Where the system cannot sync a whole file system, each file in turn.
void syncStaged(const QString &staging, const QStringList &names)
{
#ifdef __linux__
    const int fd = ::open(QFile::encodeName(staging).constData(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd >= 0) {
        const int rc = ::syncfs(fd);
        const int err = errno;
        ::close(fd);
        if (rc == 0)
            return;
        if (err != ENOSYS)
            throw QuilloryError(QStringLiteral("Cannot write \"%1\" to the disk: %2")
                                    .arg(QDir::toNativeSeparators(staging), systemReason(err)));
    }
#endif
    for (const QString &name : names)
        syncPath(staging + name, false);
}

void removeFolder(const QString &folder)
{
    if (QFileInfo::exists(folder) && !QDir(folder).removeRecursively())
        throw QuilloryError(QStringLiteral("Cannot remove the folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
}

} // namespace

CatalogueSwitch::CatalogueSwitch(const QString &dbFolder) : m_dbFolder(dbFolder) {}

QString CatalogueSwitch::stagingFolderOf(const QString &dbFolder)
{
    return dbFolder + QLatin1String(".import/");
}

QString CatalogueSwitch::journalOf(const QString &dbFolder)
{
    return stagingFolderOf(dbFolder) + QLatin1String("switch.journal");
}

void CatalogueSwitch::begin()
{
    removeFolder(stagingFolder());
    if (!QDir().mkpath(stagingFolder()))
        throw QuilloryError(
            QStringLiteral("Cannot create the folder \"%1\".").arg(QDir::toNativeSeparators(stagingFolder())));
}

void CatalogueSwitch::discard()
{
    if (isPending(m_dbFolder))
        return;
    try {
        removeFolder(stagingFolder());
    } catch (const QuilloryError &) {
        // The failure being reported matters more; the next start removes the folder.
    }
}

void CatalogueSwitch::commit(const QStringList &names)
{
    const QString staging = stagingFolder();
    for (const QString &name : names) {
        if (!isBareName(name) || QFileInfo(journalOf(m_dbFolder)).fileName() == name)
            throw QuilloryError(QStringLiteral("\"%1\" cannot be moved into the database folder.").arg(name));
    }
    syncStaged(staging, names);
    syncPath(staging, true);
    // The deciding step: the journal appears whole (written beside and renamed) or not at all.
    TextCodec::writeLines(journalOf(m_dbFolder), names);
    syncPath(staging, true);
    moveIn(m_dbFolder, names);
}

void CatalogueSwitch::moveIn(const QString &dbFolder, const QStringList &names)
{
    const QString staging = stagingFolderOf(dbFolder);
    for (const QString &name : names) {
        if (!isBareName(name))
            continue;
        const QByteArray from = QFile::encodeName(staging + name);
        const QByteArray to = QFile::encodeName(dbFolder + name);
        // A name already moved (by a run that was interrupted after it) is simply gone here.
        if (::access(from.constData(), F_OK) != 0)
            continue;
        if (::rename(from.constData(), to.constData()) != 0)
            throw QuilloryError(QStringLiteral("Cannot move \"%1\" into the database folder \"%2\": %3")
                                    .arg(name, QDir::toNativeSeparators(dbFolder), systemReason(errno)));
    }
    syncPath(dbFolder, true);
    // Only once everything has moved does the journal go; the folder goes after it.
    if (!QFile::remove(journalOf(dbFolder)) && QFileInfo::exists(journalOf(dbFolder)))
        throw QuilloryError(QStringLiteral("Cannot remove \"%1\".").arg(QDir::toNativeSeparators(journalOf(dbFolder))));
    removeFolder(staging);
}

bool CatalogueSwitch::isPending(const QString &dbFolder)
{
    return QFileInfo::exists(journalOf(dbFolder));
}

void CatalogueSwitch::recover(const QString &dbFolder)
{
    const QString staging = stagingFolderOf(dbFolder);
    if (!QFileInfo(staging).isDir())
        return;
    if (isPending(dbFolder))
        moveIn(dbFolder, TextCodec::readLines(journalOf(dbFolder)));
    else
        removeFolder(staging);
}
