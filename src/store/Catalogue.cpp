#include "Catalogue.h"

#include "CatalogueLock.h"
#include "CatalogueSwitch.h"
#include "ContentsFile.h"
#include "DataPaths.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <algorithm>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Catalogue::Catalogue(const QString &dataFolder)
    : m_dataFolder(DataPaths::withSlash(dataFolder)), m_dbFolder(DataPaths::dbFolder(dataFolder))
{
}

Catalogue::~Catalogue()
{
    // A lock file at the path of a folder moved away is another program's: let go of ours
    // without removing it.
    // Kept for the rest of the run, never destroyed (its destructor would remove the file).
    if (isLocked() && !isLockedFolder()) {
        static auto *const letGo = new std::vector<QLockFile *>;
        letGo->push_back(m_lock.release());
    }
    m_lock.reset();
    if (m_regainedLock >= 0)
        ::close(m_regainedLock);
}

bool Catalogue::isLockedFolder() const
{
    struct stat st;
    if (::stat(QFile::encodeName(m_dbFolder).constData(), &st) != 0)
        return false;
    if (quint64(st.st_dev) == m_dbDevice && quint64(st.st_ino) == m_dbInode)
        return true;
    // A stick pulled out and put back, or a share mounted again, shows the same folder under a new
    // device and inode: its lock file still names this program, and its tree is the one this program
    // last read or wrote. A copy of DB taken earlier (a backup put back) holds an older tree.
    if (m_treeStamp.size < 0 || treeStamp() != m_treeStamp)
        return false;
    qint64 pid = 0;
    QString host;
    if (!m_lock || !m_lock->getLockInfo(&pid, &host, nullptr) || pid != QCoreApplication::applicationPid() ||
        host != QSysInfo::machineHostName())
        return false;
    // Held by no one: a lock file this program took anew (another catalogue opened here) is held.
    const int fd = ::open(QFile::encodeName(lockFileName()).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    if (m_regainedLock >= 0)
        ::close(m_regainedLock);
    m_regainedLock = fd;
    m_dbDevice = quint64(st.st_dev);
    m_dbInode = quint64(st.st_ino);
    return true;
}

bool Catalogue::ensureDbFolder()
{
    if (QFileInfo(m_dbFolder).isDir()) {
        if (isLocked() && !isLockedFolder())
            throw QuilloryError(QStringLiteral("The catalogue's folder \"%1\" is not the one this program opened: "
                                               "that one was moved or deleted, and another stands in its place. "
                                               "Nothing was saved there.")
                                    .arg(QDir::toNativeSeparators(QDir::cleanPath(m_dbFolder))));
        return false;
    }
    // Held, the catalogue was here when it was opened: a folder made anew would be a second,
    // hollow catalogue (its tree naming discs whose files stayed behind), and the real one,
    // moved or on a disk that went away, would never get the change.
    if (isLocked())
        throw QuilloryError(QStringLiteral("The catalogue's folder \"%1\" is no longer there: it was moved or "
                                           "deleted, or its disk went away. Nothing was saved; put it back and try "
                                           "again.")
                                .arg(QDir::toNativeSeparators(QDir::cleanPath(m_dbFolder))));
    std::error_code made;
    std::filesystem::create_directories(QFile::encodeName(m_dbFolder).toStdString(), made);
    if (made)
        throw QuilloryError(
            QStringLiteral("Cannot create the database folder \"%1\": %2")
                .arg(QDir::toNativeSeparators(QDir::cleanPath(m_dbFolder)), QString::fromLocal8Bit(made.message())));
    return true;
}

void Catalogue::lock(const InfoCallback &info)
{
    if (isLocked())
        return;
    ensureDbFolder();
    m_lock = CatalogueLock::take(lockFileName(), info);
    struct stat st;
    if (::stat(QFile::encodeName(m_dbFolder).constData(), &st) == 0) {
        m_dbDevice = quint64(st.st_dev);
        m_dbInode = quint64(st.st_ino);
    }
    try {
        CatalogueSwitch::recover(m_dbFolder);
        // The owner reads DB itself, even where this program read through a switch before.
        CatalogueSwitch::readThrough(m_dbFolder, {});
        removeLeftovers();
    } catch (const QuilloryError &e) {
        // Nothing may be written over a change that is neither finished nor undone.
        m_lock.reset();
        throw QuilloryError(
            QStringLiteral("An interrupted change of the catalogue could not be finished: %1").arg(e.message()));
    }
}

void Catalogue::removeLeftovers()
{
    const QStringList names =
        QDir(m_dbFolder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDir::Name);
    for (const QString &name : names)
        if (ContentsFile::isUnpackedList(name) || SafeSaveFile::isPartialName(name) ||
            name == QLatin1String("groups.new"))
            QFile::remove(m_dbFolder + name);
}

// Where a write to path would land: the folder, resolved by the system (links, ".."), and the
// name in it. A link is followed, dangling or not. Empty when the folder does not exist, as
// nothing can be written there at all.
static std::pair<QString, QString> landingPlace(const QString &path)
{
    QFileInfo target(QFileInfo(path).absoluteFilePath());
    for (int hops = 0; target.isSymLink() && hops < 40; ++hops)
        target = QFileInfo(target.symLinkTarget());
    return {QFileInfo(target.absolutePath()).canonicalFilePath(), target.fileName()};
}

// A folder the catalogue keeps: its device and inode, and its path as the system resolves it.
struct KnownFolder {
    struct stat st;
    bool found = false;
    QString canonical;
    explicit KnownFolder(const QString &path)
        : found(::stat(QFile::encodeName(path).constData(), &st) == 0), canonical(QFileInfo(path).canonicalFilePath())
    {
    }
};

// Whether path, the same as known but for case, is the known folder found through another spelling:
// a case-blind file system lists a name only as it was made, so a spelling it does not list is its
// own lookup; one it lists is an entry of its own (a twin folder on a disk that heeds case).
static bool anotherSpellingOf(const QString &path, const QString &known)
{
    const QStringList mine = path.split(u'/'), theirs = known.split(u'/');
    if (mine.size() != theirs.size())
        return false;
    for (qsizetype i = 1; i < mine.size(); ++i) {
        if (mine[i] == theirs[i])
            continue;
        const QString parent = mine.first(i).join(u'/');
        if (QDir(parent.isEmpty() ? QStringLiteral("/") : parent)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .contains(mine[i]))
            return false;
    }
    return true;
}

// Compared by device and inode, so another spelling of the same folder (case on a case-blind
// file system, a bind mount) is recognised too. A file system in user space without lasting inodes
// (exFAT, NTFS on many systems) gives each spelling its own: there a path alike but for case, which
// the folder does not list as such, is the same too.
static bool sameFile(const QString &a, const KnownFolder &b)
{
    struct stat st;
    if (!b.found || ::stat(QFile::encodeName(a).constData(), &st) != 0 || st.st_dev != b.st.st_dev)
        return false;
    if (st.st_ino == b.st.st_ino)
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return canonical.compare(b.canonical, Qt::CaseInsensitive) == 0 && anotherSpellingOf(canonical, b.canonical);
}

static QString shownPath(const QString &p)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(p).absoluteFilePath()));
}

void Catalogue::refuseWriteOverCatalogue(const QString &dbFolder, const QString &path, const QString &what)
{
    if (isInsideDb(dbFolder, path))
        throw QuilloryError(QStringLiteral("The %1 \"%2\" would be written inside the database folder \"%3\", "
                                           "where it could replace the catalogue's own files. Choose a place "
                                           "outside that folder.")
                                .arg(what, shownPath(path), shownPath(dbFolder)));
    if (isOwnFile(dbFolder, path))
        throw QuilloryError(QStringLiteral("The %1 \"%2\" would replace one of the catalogue's own files. Choose "
                                           "another name.")
                                .arg(what, shownPath(path)));
}

bool Catalogue::isInsideDb(const QString &dbFolder, const QString &path)
{
    const KnownFolder db(dbFolder);
    if (!db.found)
        return false;
    auto [folder, name] = landingPlace(path);
    if (folder.isEmpty())
        return false;
    if (sameFile(folder + u'/' + name, db))
        return true;
    for (;;) {
        if (sameFile(folder, db))
            return true;
        const QString up = QFileInfo(folder).path();
        if (up == folder || up.isEmpty())
            return false;
        folder = up;
    }
}

bool Catalogue::isOwnFile(const QString &dbFolder, const QString &path)
{
    const QString dataFolder = QFileInfo(QDir::cleanPath(dbFolder)).path();
    const KnownFolder data(dataFolder);
    if (!data.found)
        return false;
    const auto [folder, name] = landingPlace(path);
    if (folder.isEmpty() || !sameFile(folder, data))
        return false;
    // Case aside: on a case-blind file system "Favorites.DAT" is the same file.
    const QStringList own = DataPaths::ownFiles(dataFolder);
    return std::any_of(own.cbegin(), own.cend(), [&name](const QString &file) {
        return QFileInfo(file).fileName().compare(name, Qt::CaseInsensitive) == 0;
    });
}

void Catalogue::load(const InfoCallback &info, TreeWrite write)
{
    m_canSave = true;
    try {
        // A committed switch half carried through is never read as the old tree over some
        // of the new contents files.
        QHash<QString, QString> waiting;
        if (write == TreeWrite::Never && !isLocked()) {
            waiting = settleForReading(info);
        } else if (isLocked() && CatalogueSwitch::isPending(m_dbFolder)) {
            // A committed change this program could not carry through (an import's last moves
            // failed): what is read is what was committed, never the files it replaces.
            waiting = CatalogueSwitch::waitingFiles(m_dbFolder);
            CatalogueSwitch::readThrough(m_dbFolder, waiting);
        }
        const QString treePath = CatalogueSwitch::readPath(m_dbFolder, QLatin1String(TreeFileName));
        if (!QFileInfo::exists(treePath)) {
            m_tree.clear();
            // Contents files without the tree that names them: the tree was lost, not emptied.
            if (const qsizetype held = info ? ContentsFile::serialsPresent(m_dbFolder).size() : 0; held > 0)
                info(QStringLiteral("The group tree \"%1\" is missing, yet the database folder holds the contents "
                                    "files of %2, which no tree names now. Import Database brings back the "
                                    "catalogue from a backup; the files stay where they are until then.")
                         .arg(QDir::toNativeSeparators(treePath),
                              held == 1 ? QStringLiteral("one disc") : QStringLiteral("%1 discs").arg(held)));
        } else if (waiting.isEmpty()) {
            LoadTree(m_tree, m_dbFolder, info, write);
        } else {
            const ContentsFile::Present present = ContentsFile::serialsPresent(m_dbFolder);
            LoadTreeFile(
                m_tree, treePath,
                [&](const QString &serial) {
                    return present.contains(serial) ||
                           waiting.contains(ContentsFile::contentsFileName(QString(), serial));
                },
                info, TreeWrite::Never);
        }
    } catch (...) {
        m_canSave = false;
        m_tree.clear();
        m_tree.addChild(nullptr, defaultRootName(), KindRoot);
        throw;
    }
    if (!m_tree.root())
        m_tree.addChild(nullptr, defaultRootName(), KindRoot);
    noteTreeStamp();
}

Catalogue::TreeStamp Catalogue::treeStamp() const
{
    struct stat st;
    if (::stat(QFile::encodeName(treeFile()).constData(), &st) != 0)
        return {};
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec)};
}

void Catalogue::noteTreeStamp()
{
    m_treeStamp = treeStamp();
}

QHash<QString, QString> Catalogue::settleForReading(const InfoCallback &info)
{
    CatalogueSwitch::readThrough(m_dbFolder, {});
    if (!CatalogueSwitch::isPending(m_dbFolder))
        return {};
    // With the lock free, the switch is finished here and now, as the next owner would.
    try {
        lock(info);
    } catch (const QuilloryError &) {
        // Another program has the catalogue (and will finish the switch), or finishing it failed.
    }
    if (isLocked()) {
        m_lock.reset();
        return {};
    }
    QHash<QString, QString> waiting = CatalogueSwitch::waitingFiles(m_dbFolder);
    CatalogueSwitch::readThrough(m_dbFolder, waiting);
    return waiting;
}

void Catalogue::save()
{
    if (!m_canSave)
        return;
    ensureDbFolder();
    // A switch this program committed but could not finish goes first: carried through later,
    // it would put its older tree over this one.
    if (isLocked() && CatalogueSwitch::isPending(m_dbFolder))
        CatalogueSwitch::recover(m_dbFolder);
    SaveTree(m_tree, m_dbFolder);
    noteTreeStamp();
}
