#include "CatalogueSwitch.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
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

// Every file of a change on the disk at once: one sync of the file system that holds DB (and
// so the staging folder inside it), instead of one per file, which for thousands of contents
// files costs a journal commit each. Where the system cannot sync a whole file system, each
// file in turn: the staged ones in the staging folder, the rest where they were written, in DB.
void syncStaged(const QString &dbFolder, const QStringList &staged, const QStringList &names)
{
#ifdef __linux__
    const int fd = ::open(QFile::encodeName(dbFolder).constData(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd >= 0) {
        const int rc = ::syncfs(fd);
        const int err = errno;
        ::close(fd);
        if (rc == 0)
            return;
        if (err != ENOSYS)
            throw QuilloryError(QStringLiteral("Cannot write \"%1\" to the disk: %2")
                                    .arg(QDir::toNativeSeparators(dbFolder), systemReason(err)));
    }
#endif
    const QString staging = CatalogueSwitch::stagingFolderOf(dbFolder);
    for (const QString &name : names)
        syncPath((staged.contains(name) ? staging : dbFolder) + name, false);
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

QString CatalogueSwitch::addedListOf(const QString &dbFolder)
{
    return stagingFolderOf(dbFolder) + QLatin1String("added.journal");
}

void CatalogueSwitch::begin(const QStringList &added)
{
    removeFolder(stagingFolder());
    if (!QDir().mkpath(stagingFolder()))
        throw QuilloryError(
            QStringLiteral("Cannot create the folder \"%1\".").arg(QDir::toNativeSeparators(stagingFolder())));
    m_added.clear();
    if (added.isEmpty())
        return;
    // What DB holds, by the file system's names: any entry at all (a folder, a dangling link)
    // keeps its name out of the new files, so nothing there is ever written over or removed.
    QSet<QByteArray> present;
    if (DIR *dir = ::opendir(QFile::encodeName(m_dbFolder).constData())) {
        while (const dirent *e = ::readdir(dir))
            present.insert(QByteArray(e->d_name));
        ::closedir(dir);
    } else {
        return; // unlistable: every file goes through staging
    }
    QStringList listed;
    for (const QString &name : added) {
        if (isBareName(name) && !m_added.contains(name) && !present.contains(QFile::encodeName(name))) {
            m_added.insert(name);
            listed.append(name);
        }
    }
    if (listed.isEmpty())
        return;
    TextCodec::writeLines(addedListOf(m_dbFolder), listed);
    syncPath(stagingFolder(), true);
}

QString CatalogueSwitch::placeFor(const QString &name) const
{
    return (m_added.contains(name) ? m_dbFolder : stagingFolder()) + name;
}

void CatalogueSwitch::removeAdded(const QString &dbFolder)
{
    const QString list = addedListOf(dbFolder);
    if (!QFileInfo::exists(list))
        return;
    for (const QString &name : TextCodec::readLines(list)) {
        if (isBareName(name) && !QFile::remove(dbFolder + name) && QFileInfo::exists(dbFolder + name))
            throw QuilloryError(
                QStringLiteral("Cannot remove \"%1\".").arg(QDir::toNativeSeparators(dbFolder + name)));
    }
}

void CatalogueSwitch::discard()
{
    if (isPending(m_dbFolder))
        return;
    try {
        removeAdded(m_dbFolder);
        removeFolder(stagingFolder());
    } catch (const QuilloryError &) {
        // The failure being reported matters more; the next start finishes the removal.
    }
}

void CatalogueSwitch::commit(const QStringList &names)
{
    const QString staging = stagingFolder();
    for (const QString &name : names) {
        if (!isBareName(name) || QFileInfo(journalOf(m_dbFolder)).fileName() == name)
            throw QuilloryError(QStringLiteral("\"%1\" cannot be moved into the database folder.").arg(name));
    }
    // New files the change does not name are not part of it.
    const QSet<QString> named(names.begin(), names.end());
    QStringList staged;
    for (const QString &name : names)
        if (!m_added.contains(name))
            staged.append(name);
    for (const QString &name : std::as_const(m_added)) {
        if (!named.contains(name) && !QFile::remove(m_dbFolder + name) && QFileInfo::exists(m_dbFolder + name))
            throw QuilloryError(
                QStringLiteral("Cannot remove \"%1\".").arg(QDir::toNativeSeparators(m_dbFolder + name)));
    }
    syncStaged(m_dbFolder, staged, names);
    syncPath(staging, true);
    syncPath(m_dbFolder, true);
    // The deciding step: the journal appears whole (written beside and renamed) or not at all.
    TextCodec::writeLines(journalOf(m_dbFolder), staged);
    syncPath(staging, true);
    moveIn(m_dbFolder, staged);
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
    if (isPending(dbFolder)) {
        moveIn(dbFolder, TextCodec::readLines(journalOf(dbFolder)));
    } else {
        removeAdded(dbFolder);
        removeFolder(staging);
    }
}
