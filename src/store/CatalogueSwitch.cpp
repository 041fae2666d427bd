#include "CatalogueSwitch.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

QString systemReason(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A name the journal may hold: a bare file name in DB.
bool isBareName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

// A path ending in "/" makes the system follow a link at its last name; these never do.
QString withoutSlash(const QString &path)
{
    return path.endsWith(u'/') ? path.chopped(1) : path;
}

std::function<void(const char *)> &stepHook()
{
    static std::function<void(const char *)> hook;
    return hook;
}

void step(const char *what)
{
    if (stepHook())
        stepHook()(what);
}

// The type of the entry at path (S_IFREG, S_IFDIR, S_IFLNK...) without following a link
// there; 0 when there is none.
mode_t entryType(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(withoutSlash(path)).constData(), &st) == 0)
        return st.st_mode & S_IFMT;
    if (errno == ENOENT || errno == ENOTDIR)
        return 0;
    throw QuilloryError(QStringLiteral("Cannot look at \"%1\": %2").arg(shown(path), systemReason(errno)));
}

QString describe(mode_t type)
{
    switch (type) {
    case S_IFLNK:
        return QStringLiteral("a symbolic link");
    case S_IFDIR:
        return QStringLiteral("a folder");
    case S_IFREG:
        return QStringLiteral("a file");
    default:
        return QStringLiteral("a special file");
    }
}

// An entry of DB that is not what the catalogue put there: it is neither followed nor
// removed, and the user is told what to do.
[[noreturn]] void refuse(const QString &path, mode_t found, mode_t expected)
{
    throw QuilloryError(
        QStringLiteral("\"%1\" is %2 where the catalogue keeps %3 of its own. It is left as it is and the "
                       "interrupted change of the catalogue is not carried on; move it out of the database "
                       "folder and start again.")
            .arg(shown(withoutSlash(path)), describe(found), describe(expected)));
}

// Whether a regular file is at path (false when nothing is); anything else is refused.
bool isFile(const QString &path)
{
    const mode_t type = entryType(path);
    if (type != 0 && type != S_IFREG)
        refuse(path, type, S_IFREG);
    return type != 0;
}

// Removes the regular file at path, if there is one; anything else is refused.
void removeFile(const QString &path)
{
    if (!isFile(path))
        return;
    step("unlink");
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        throw QuilloryError(QStringLiteral("Cannot remove \"%1\": %2").arg(shown(path), systemReason(errno)));
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
        throw QuilloryError(QStringLiteral("Cannot write \"%1\" to the disk: %2").arg(shown(path), systemReason(err)));
    }
    ::close(fd);
}

// Every file of a change on the disk at once: one sync of the file system that holds DB (and
// so the staging folder inside it), instead of one per file, which for thousands of contents
// files costs a journal commit each. Where the system cannot sync a whole file system, each
// file in turn: the staged ones in the staging folder, the rest where they were written, in DB.
void syncStaged(const QString &dbFolder, const QStringList &staged, const QStringList &names, bool each)
{
#ifdef __linux__
    const int fd = each ? -1 : ::open(QFile::encodeName(dbFolder).constData(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd >= 0) {
        const int rc = ::syncfs(fd);
        const int err = errno;
        ::close(fd);
        if (rc == 0)
            return;
        if (err != ENOSYS)
            throw QuilloryError(
                QStringLiteral("Cannot write \"%1\" to the disk: %2").arg(shown(dbFolder), systemReason(err)));
    }
#endif
    const QString staging = CatalogueSwitch::stagingFolderOf(dbFolder);
    for (const QString &name : names)
        syncPath((staged.contains(name) ? staging : dbFolder) + name, false);
}

// A few files (an added disc's) are synced each: a sync of the whole file system would also
// wait for whatever else is being written to it.
constexpr qsizetype kFilesSyncedEach = 16;

// Removes the folder `name` of the folder parentFd with everything in it, by descriptors
// relative to each folder and without following a link anywhere: a link inside goes itself,
// never what it points to. The staging folder holds files only; folders in it are crafted,
// and a crafted depth is not followed down for ever.
void removeFolderAt(int parentFd, const QByteArray &name, const QString &path, int depth)
{
    const auto failed = [&path](int err) {
        return QuilloryError(QStringLiteral("Cannot remove the folder \"%1\": %2").arg(shown(path), systemReason(err)));
    };
    if (depth > 16)
        throw failed(ELOOP);
    const int fd = ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw failed(errno);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int err = errno;
        ::close(fd);
        throw failed(err);
    }
    std::vector<QByteArray> names;
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    }
    try {
        for (const QByteArray &entry : names) {
            struct stat st;
            if (::fstatat(fd, entry.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    continue;
                throw failed(errno);
            }
            if (S_ISDIR(st.st_mode)) {
                removeFolderAt(fd, entry, path + u'/' + QFile::decodeName(entry), depth + 1);
                continue;
            }
            step("unlink");
            if (::unlinkat(fd, entry.constData(), 0) != 0 && errno != ENOENT)
                throw failed(errno);
        }
    } catch (...) {
        ::closedir(dir);
        throw;
    }
    ::closedir(dir);
    step("rmdir");
    if (::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        throw failed(errno);
}

void removeStaging(const QString &dbFolder)
{
    const QString staging = withoutSlash(CatalogueSwitch::stagingFolderOf(dbFolder));
    const mode_t type = entryType(staging);
    if (type == 0)
        return;
    if (type != S_IFDIR)
        refuse(staging, type, S_IFDIR);
    removeFolderAt(AT_FDCWD, QFile::encodeName(staging), staging, 0);
}

// The committed changes a program without the lock reads through, by DB folder. Asked for
// every contents file a reader opens, so the usual case, none, costs one atomic load.
struct ReadThrough {
    QMutex mutex;
    QHash<QString, QHash<QString, QString>> byDb;
    std::atomic<bool> any{false};
};

ReadThrough &readThroughTable()
{
    static ReadThrough table;
    return table;
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

void CatalogueSwitch::setStepHook(std::function<void(const char *)> hook)
{
    stepHook() = std::move(hook);
}

void CatalogueSwitch::begin(const QStringList &added)
{
    // Never written over: a committed change is carried through first, any other goes.
    recover(m_dbFolder);
    m_added.clear();
    step("mkdir");
    if (::mkdir(QFile::encodeName(withoutSlash(stagingFolder())).constData(), 0777) != 0)
        throw QuilloryError(
            QStringLiteral("Cannot create the folder \"%1\": %2").arg(shown(stagingFolder()), systemReason(errno)));
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
    step("write added list");
    TextCodec::writeLines(addedListOf(m_dbFolder), listed);
    syncPath(stagingFolder(), true);
}

QString CatalogueSwitch::placeFor(const QString &name) const
{
    return (m_added.contains(name) ? m_dbFolder : stagingFolder()) + name;
}

QStringList CatalogueSwitch::journalNames(const QString &dbFolder)
{
    const QString journal = journalOf(dbFolder);
    if (!isFile(journal))
        return {};
    QStringList names;
    for (const QString &name : TextCodec::readLines(journal))
        if (isBareName(name))
            names.append(name);
    return names;
}

void CatalogueSwitch::removeAdded(const QString &dbFolder)
{
    const QString list = addedListOf(dbFolder);
    if (!isFile(list))
        return;
    for (const QString &name : TextCodec::readLines(list))
        if (isBareName(name))
            removeFile(dbFolder + name);
}

void CatalogueSwitch::discard()
{
    if (isPending(m_dbFolder))
        return;
    try {
        removeAdded(m_dbFolder);
        removeStaging(m_dbFolder);
    } catch (const QuilloryError &) {
        // The failure being reported matters more; the next start finishes the removal.
    }
}

void CatalogueSwitch::commit(const QStringList &names)
{
    const QString staging = stagingFolder();
    for (const QString &name : names) {
        if (!isBareName(name) || name == QFileInfo(journalOf(m_dbFolder)).fileName() ||
            name == QFileInfo(addedListOf(m_dbFolder)).fileName())
            throw QuilloryError(QStringLiteral("\"%1\" cannot be moved into the database folder.").arg(name));
    }
    // New files the change does not name are not part of it.
    const QSet<QString> named(names.begin(), names.end());
    QStringList staged;
    for (const QString &name : names)
        if (!m_added.contains(name))
            staged.append(name);
    for (const QString &name : std::as_const(m_added))
        if (!named.contains(name))
            removeFile(m_dbFolder + name);
    // Refused before the journal, so that the old catalogue stands.
    movable(m_dbFolder, staged);
    syncStaged(m_dbFolder, staged, names, names.size() <= kFilesSyncedEach);
    syncPath(staging, true);
    syncPath(m_dbFolder, true);
    // The deciding step: the journal appears whole (written beside and renamed) or not at all.
    step("write journal");
    TextCodec::writeLines(journalOf(m_dbFolder), staged);
    m_committed = true;
    syncPath(staging, true);
    moveIn(m_dbFolder, staged);
}

QStringList CatalogueSwitch::movable(const QString &dbFolder, const QStringList &names)
{
    const QString staging = stagingFolderOf(dbFolder);
    QStringList moving;
    for (const QString &name : names) {
        if (staging + name == journalOf(dbFolder) || staging + name == addedListOf(dbFolder))
            continue;
        // A name already moved (by a run that was interrupted after it) is simply gone here.
        if (!isFile(staging + name))
            continue;
        isFile(dbFolder + name);
        moving.append(name);
    }
    return moving;
}

void CatalogueSwitch::moveIn(const QString &dbFolder, const QStringList &names)
{
    const QString staging = stagingFolderOf(dbFolder);
    const QString journal = journalOf(dbFolder);
    const QString addedList = addedListOf(dbFolder);
    // Every entry is looked at before the first move, so one that is not a file stops the
    // switch before it starts rather than half way.
    const QStringList moving = movable(dbFolder, names);
    for (const QString &name : std::as_const(moving)) {
        step("rename");
        if (::rename(QFile::encodeName(staging + name).constData(), QFile::encodeName(dbFolder + name).constData()) !=
            0)
            throw QuilloryError(QStringLiteral("Cannot move \"%1\" into the database folder \"%2\": %3")
                                    .arg(name, shown(dbFolder), systemReason(errno)));
    }
    syncPath(dbFolder, true);
    // The list of files the change wrote straight into DB goes before the journal: were it
    // left alone with the folder, the next start would take those files, committed and named
    // by the tree, for the leftovers of a change never made.
    if (isFile(addedList)) {
        removeFile(addedList);
        syncPath(staging, true);
    }
    removeFile(journal);
    removeStaging(dbFolder);
}

bool CatalogueSwitch::isPending(const QString &dbFolder)
{
    try {
        return entryType(stagingFolderOf(dbFolder)) == S_IFDIR && entryType(journalOf(dbFolder)) != 0;
    } catch (const QuilloryError &) {
        return false;
    }
}

void CatalogueSwitch::recover(const QString &dbFolder)
{
    const QString staging = stagingFolderOf(dbFolder);
    const mode_t type = entryType(staging);
    if (type == 0)
        return;
    if (type != S_IFDIR)
        refuse(staging, type, S_IFDIR);
    if (entryType(journalOf(dbFolder)) != 0) {
        moveIn(dbFolder, journalNames(dbFolder));
    } else {
        removeAdded(dbFolder);
        removeStaging(dbFolder);
    }
}

QHash<QString, QString> CatalogueSwitch::waitingFiles(const QString &dbFolder)
{
    QHash<QString, QString> waiting;
    if (!isPending(dbFolder))
        return waiting;
    const QString staging = stagingFolderOf(dbFolder);
    for (const QString &name : journalNames(dbFolder))
        if (isFile(staging + name))
            waiting.insert(name, staging + name);
    return waiting;
}

void CatalogueSwitch::readThrough(const QString &dbFolder, const QHash<QString, QString> &waiting)
{
    ReadThrough &table = readThroughTable();
    const QMutexLocker locker(&table.mutex);
    if (waiting.isEmpty())
        table.byDb.remove(dbFolder);
    else
        table.byDb.insert(dbFolder, waiting);
    table.any.store(!table.byDb.isEmpty(), std::memory_order_release);
}

bool CatalogueSwitch::isReadingThrough()
{
    return readThroughTable().any.load(std::memory_order_acquire);
}

QString CatalogueSwitch::readPath(const QString &dbFolder, const QString &name)
{
    ReadThrough &table = readThroughTable();
    if (table.any.load(std::memory_order_acquire)) {
        QString staged;
        {
            const QMutexLocker locker(&table.mutex);
            const auto it = table.byDb.constFind(dbFolder);
            if (it != table.byDb.constEnd())
                staged = it->value(name);
        }
        // Once moved, the file is DB's own.
        struct stat st;
        if (!staged.isEmpty() && ::lstat(QFile::encodeName(staged).constData(), &st) == 0 && S_ISREG(st.st_mode))
            return staged;
    }
    return dbFolder + name;
}
