#pragma once

#include <QString>
#include <QStringList>

// A change of several catalogue files made as one, by the program that holds the lock.
// The new files are prepared in a staging folder inside DB (the same file system, so each
// move is a rename). Writing the journal, which names them, is the one step that decides:
// before it the old catalogue stands and the staging folder is thrown away; after it the
// files are moved over the old ones, and a move a kill interrupted is carried through by
// recover() at the next start, under the lock.
class CatalogueSwitch
{
public:
    // dbFolder ends in "/".
    explicit CatalogueSwitch(const QString &dbFolder);

    QString stagingFolder() const { return stagingFolderOf(m_dbFolder); }
    static QString stagingFolderOf(const QString &dbFolder);

    // An empty staging folder; whatever an interrupted change left there is removed first.
    void begin();
    // The switch: the staged files named (bare names, in the order they are to move; the
    // group tree last, so a reader never sees a tree whose discs are still to come) are made
    // durable, the journal is written, and they are moved into DB over the files of the same
    // names; then the staging folder goes. Throws QuilloryError naming the file and the
    // system's reason.
    void commit(const QStringList &names);
    // After a failure: throws the staging folder away when the change was not committed (DB is
    // untouched); a committed one is left for recover() to finish.
    void discard();

    // Whether a committed change waits to be carried through: until then DB may hold some of
    // the new files beside the old tree. A reader without the lock can tell the user so.
    static bool isPending(const QString &dbFolder);
    // Run at start while holding the lock: carries a committed change through, or removes an
    // unfinished staging folder. Throws QuilloryError when a move fails.
    static void recover(const QString &dbFolder);

private:
    static QString journalOf(const QString &dbFolder);
    static void moveIn(const QString &dbFolder, const QStringList &names);

    QString m_dbFolder;
};
