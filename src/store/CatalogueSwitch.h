#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

// A change of several catalogue files made as one, by the program that holds the lock.
// The new files are prepared in a staging folder inside DB (the same file system, so each
// move is a rename). Writing the journal, which names them, is the one step that decides:
// before it the old catalogue stands and the staging folder is thrown away; after it the
// files are moved over the old ones, and a move a kill interrupted is carried through by
// recover() at the next start, under the lock.
//
// Nothing here follows a symbolic link: the staging folder, the journals and the files they
// name must be a real folder and regular files. Anything else there is refused with a message
// and left alone, and nothing outside DB is ever removed.
class CatalogueSwitch
{
public:
    // dbFolder ends in "/".
    explicit CatalogueSwitch(const QString &dbFolder);

    QString stagingFolder() const { return stagingFolderOf(m_dbFolder); }
    static QString stagingFolderOf(const QString &dbFolder);

    // An empty staging folder. A change a kill left is dealt with first, as recover() does: a
    // committed one carried through, any other thrown away.
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
    // Whether commit() got past its deciding step: the change stands, even when what followed
    // failed and is left for the next start. (The journal alone cannot tell: it goes before the
    // staging folder does.)
    bool committed() const { return m_committed; }
    // After a failure: throws the staging folder away when the change was not committed (DB is
    // untouched); a committed one is left for recover() to finish.
    void discard();

    // Whether a committed change waits to be carried through: until then DB may hold some of
    // the new files beside the old tree.
    static bool isPending(const QString &dbFolder);
    // Run at start while holding the lock: carries a committed change through, or removes an
    // unfinished staging folder. Throws QuilloryError when a move fails or an entry is not
    // what it should be.
    static void recover(const QString &dbFolder);

    // For a program that reads without the lock while a committed change waits: the files the
    // journal names that are still staged, by bare name, with where they are. Throws
    // QuilloryError when an entry is not what it should be.
    static QHash<QString, QString> waitingFiles(const QString &dbFolder);
    // Makes readPath() read those files from where they wait (an empty table ends it). Set
    // by the catalogue's load, before anything is read, and ended when the lock is taken.
    static void readThrough(const QString &dbFolder, const QHash<QString, QString> &waiting);
    // Where a catalogue file of a bare name is read from: the staged file while readThrough()
    // names it and it has not moved yet, else DB's.
    static QString readPath(const QString &dbFolder, const QString &name);
    // Whether this program reads through any switch at all: false but in a reader that met a
    // switch another program is carrying through.
    static bool isReadingThrough();

    // For tests standing in for a kill: called before each step that changes the disk (what:
    // a short name of the step); a throw stops the change there as a kill would. Null by default.
    static void setStepHook(std::function<void(const char *what)> hook);

private:
    static QString journalOf(const QString &dbFolder);
    static QString addedListOf(const QString &dbFolder);
    static QStringList journalNames(const QString &dbFolder);
    // The names still staged, to be moved; throws for an entry, staged or in DB, that is not
    // a regular file.
    static QStringList movable(const QString &dbFolder, const QStringList &names);
    static void moveIn(const QString &dbFolder, const QStringList &names);
    // Takes away the files an uncommitted change wrote straight into DB.
    static void removeAdded(const QString &dbFolder);

    QString m_dbFolder;
    QSet<QString> m_added;
    bool m_committed = false;
};
