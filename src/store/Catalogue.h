#pragma once

#include "GroupTree.h"
#include "TreeFile.h"

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
    QString treeFile() const { return m_dbFolder + QLatin1String("groups.tree"); }
    // The lock's bare name in DB: an import must never replace it.
    static QString lockName() { return QStringLiteral("Quillory!.lock"); }
    QString lockFileName() const { return m_dbFolder + lockName(); }

    // Creates the data and database folders when missing; true when "DB" was created now.
    bool ensureDbFolder();
    // Takes the catalogue for this process; throws QuilloryError naming the lock when another has it.
    void lock();
    bool isLocked() const { return m_lock && m_lock->isLocked(); }

    // Loads "groups.tree" when it exists, else a tree holding only the root "My Collection".
    // A failed load leaves the root-only tree and marks the catalogue unsafe to save.
    void load(const InfoCallback &info);
    void save();
    // False after a failed load: saving then would overwrite the user's file with less.
    bool canSave() const { return m_canSave; }

    GroupTree &tree() { return m_tree; }
    const GroupTree &tree() const { return m_tree; }

    static QString defaultRootName() { return QStringLiteral("My Collection"); }

private:
    QString m_dataFolder;
    QString m_dbFolder;
    std::unique_ptr<QLockFile> m_lock;
    GroupTree m_tree;
    bool m_canSave = true;
};
