#pragma once

#include "GroupTree.h"
#include "TreeFile.h"

#include <QHash>
#include <QLockFile>
#include <QString>
#include <memory>

// One catalogue on disk: its data folder, the "DB" folder inside it, the lock that keeps a
// second program from writing, and the group tree loaded from it.
class Catalogue
{
public:
    explicit Catalogue(const QString &dataFolder);
    ~Catalogue();

    QString dataFolder() const { return m_dataFolder; }
    QString dbFolder() const { return m_dbFolder; }
    QString treeFile() const { return m_dbFolder + QLatin1String(TreeFileName); }
    // The lock's bare name in DB: an import must never replace it.
    static QString lockName() { return QStringLiteral("Quillory!.lock"); }
    QString lockFileName() const { return m_dbFolder + lockName(); }

    // Creates the data and database folders when missing; true when "DB" was created now.
    // Refused once the catalogue is held: its folder gone since means it moved or went away,
    // and another folder in its place is another catalogue.
    bool ensureDbFolder();
    // Takes the catalogue for this process; throws QuilloryError naming the lock (and the
    // computer, when it is another one) when another program has it. A lock its owner left
    // behind is taken over, and info says so (CatalogueLock). Holding the lock, it
    // then finishes or throws away a change a kill interrupted (an import's switch) and
    // removes the lists a killed scan left in DB, so DB holds only the catalogue.
    void lock(const InfoCallback &info = {});
    bool isLocked() const { return m_lock && m_lock->isLocked(); }

    // Whether path lies inside the database folder, whatever links or ".." lead there. A file
    // the user names to be written (an export, a report) or read as an archive must never be
    // one of the catalogue's own.
    static bool isInsideDb(const QString &dbFolder, const QString &path);
    // Whether path, followed the same way, is one of the catalogue's files beside DB
    // (DataPaths::ownFiles), whether that file exists yet or not.
    static bool isOwnFile(const QString &dbFolder, const QString &path);
    // Throws QuilloryError when a file the user chose to write (what: "archive", "report")
    // lies inside the database folder or is one of the catalogue's own files beside it.
    static void refuseWriteOverCatalogue(const QString &dbFolder, const QString &path, const QString &what);

    // Loads "groups.tree" when it exists, else a tree holding only the root "My Collection".
    // A failed load leaves the root-only tree and marks the catalogue unsafe to save.
    // TreeWrite::Never for a program that must not write (no lock): the older format is then
    // upgraded in memory only, and a committed switch a kill left half done is finished first
    // (the lock taken for it and let go) or, while another program has the lock, read as
    // committed.
    void load(const InfoCallback &info, TreeWrite write = TreeWrite::Allowed);
    // What load() does first for a program without the lock, for one that reads contents files
    // without the tree: a committed switch a kill left half done is finished, or read through
    // (CatalogueSwitch::readThrough). Returns the staged files read through, by bare name.
    QHash<QString, QString> settleForReading(const InfoCallback &info = {});
    void save();
    // False after a failed load: saving then would overwrite the user's file with less.
    bool canSave() const { return m_canSave; }

    GroupTree &tree() { return m_tree; }
    const GroupTree &tree() const { return m_tree; }

    static QString defaultRootName() { return QStringLiteral("My Collection"); }

private:
    void removeLeftovers();
    // Whether the folder at the database folder's path is still the one that was locked.
    bool isLockedFolder() const;

    QString m_dataFolder;
    QString m_dbFolder;
    std::unique_ptr<QLockFile> m_lock;
    // The locked folder's device and inode.
    // Learnt again when the folder comes back (a stick put back gets a new device number).
    mutable quint64 m_dbDevice = 0;
    mutable quint64 m_dbInode = 0;
    // The lock file of the folder come back, held (flock) as the lock held the first one.
    mutable int m_regainedLock = -1;
    // The tree file as this program last read or wrote it: its size and time (seconds).
    struct TreeStamp {
        qint64 size = -1;
        qint64 mtime = 0;
        bool operator==(const TreeStamp &) const = default;
    };
    TreeStamp m_treeStamp;
    TreeStamp treeStamp() const;
    void noteTreeStamp();
    GroupTree m_tree;
    bool m_canSave = true;
};
