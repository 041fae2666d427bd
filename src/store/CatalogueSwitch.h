#pragma once

#include <QSet>
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
    // Of `added`, bare names of files the change may write, those no entry of DB has yet are
    // written straight into DB instead (placeFor() says where): they replace nothing, so they
    // need no move, which for thousands of new contents files would cost as much again as
    // writing them. They are named in a list made durable before any is written, so that a
    // change that is not committed takes them away again, at discard() or at the next start.
    void begin(const QStringList &added = {});
    // Where the change writes the file of a bare name: DB itself for a new file, else staging.
    QString placeFor(const QString &name) const;
    // The switch: the staged files named (bare names, in the order they are to move; the
    // group tree last, so a reader never sees a tree whose discs are still to come) are made
    // durable, the journal is written, and they are moved into DB over the files of the same
    // names; then the staging folder goes. A file written straight into DB stays when named and
    // is removed when not. Throws QuilloryError naming the file and the system's reason.
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
    static QString addedListOf(const QString &dbFolder);
    static void moveIn(const QString &dbFolder, const QStringList &names);
    // Takes away the files an uncommitted change wrote straight into DB.
    static void removeAdded(const QString &dbFolder);

    QString m_dbFolder;
    QSet<QString> m_added;
};
