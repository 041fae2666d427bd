#pragma once

#include "listing/DiscContents.h"
#include "store/Favourites.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Catalogue;
class GroupTree;
class NameIndex;
class Preferences;
class QTimer;
class WorkspacePrompts;

// One catalogue in use for a whole run: its data folder and lock, the group tree, the
// preferences, the lists of the disc last unpacked and the search history. It opens and
// closes them in a fixed order and knows when nothing of the catalogue may be written
// (another program holds the lock, or the tree could not be read). The window and the
// command line share it; what it has to say goes through the prompts they hand in.
//
// Once open() has the catalogue for writing, every change of the tree, the search history or
// the favourites is written soon after it is made (SaveDelay), so a run that ends without
// close() loses at most that last moment. The command line never calls open(): it saves
// what it changes itself.
class Workspace : public QObject
{
    Q_OBJECT
public:
    // prompts must outlive the workspace.
    Workspace(const QString &dataFolder, WorkspacePrompts &prompts, QObject *parent = nullptr);
    ~Workspace() override;

    Catalogue &catalogue() { return *m_catalogue; }
    GroupTree &tree();
    Preferences &preferences() { return *m_prefs; }
    DiscContents &discContents() { return m_discContents; }
    // The name index of the catalogue, shared by the window's search and comparisons: each
    // leaves the names it made for the next. Made anew when the catalogue is (re)opened (an
    // import may have replaced DB); work still running keeps the one it started with.
    std::shared_ptr<NameIndex> nameIndex();
    QString dataFolder() const;
    QString dbFolder() const;
    QString searchHistoryFile() const;
    QString favouritesFile() const;
    // Why a file or folder the user chose to write (what: "playlist", "report") must not be
    // written there: it would land among the catalogue's own files. Empty when it may.
    QString writeProblem(const QString &path, const QString &what) const;
    // Changed only through the calls below, so that every change is saved.
    const Favourites &favourites() const { return m_favourites; }
    void addFavourite(const Favourites::Location &location);
    void removeFavourite(const Favourites::Location &location);
    // Drops the favourites of discs no longer in the tree; the others take their disc's title.
    void followTree();

    const QStringList &searchHistory() const { return m_searchHistory; }
    void setSearchHistory(const QStringList &history);

    // How long after a change its file is written: changes made meanwhile go with it.
    static constexpr int SaveDelay = 1000; // ms

    bool isReadOnly() const { return m_readOnly; }
    // Whether an archive may be imported: this window holds the catalogue, even one whose tree it
    // could not read (read-only then, and an import is how to mend it).
    bool mayImport() const { return m_locked; }
    // Set when the run is ending, so long work (a search) stops.
    bool stopRequested() const { return m_stop; }

    // The window's start: the preferences (once per run), the database folder, the lock, the
    // first-run sample question, the search history and the group tree. Without the lock, or
    // with an unreadable tree, the catalogue is shown read-only and the user is told why.
    void open();
    // After an import: the group tree again; the preferences, the search history and the
    // favourites kept.
    void reopen();
    // Extracts a database archive into DB, telling progress (position, maximum). The reason when
    // it fails, not yet shown (a progress window must go first), or empty when it went through.
    // unfinished gets what an import that went through left for the next start (empty: nothing).
    QString importArchive(const QString &archiveFile, const std::function<void(int, int)> &progress = {},
                          QString *unfinished = nullptr);
    // The window's end: the window's position (aboutToClose), the preferences, the search history,
    // the favourites and the group tree, in that order, each tried whatever became of the one
    // before; only the position and the preferences when read-only, and nothing of the catalogue
    // before open() has read it. Runs once.
    void close();
    // Before the window closes: what waits to be saved is saved now. When something cannot be,
    // the user is asked whether to close all the same; false when the window should stay.
    bool mayClose();
    // From now on mayClose() does not ask (a signal ends the session).
    void closeWithoutAsking() { m_askBeforeLoss = false; }
    // False once the session ends (a logout): nobody is there to answer a question.
    bool asksBeforeLoss() const { return m_askBeforeLoss; }
    // Whether close() has run: work that let events through may find the run over.
    bool isClosed() const { return m_closed; }
    // Writes the preferences now, with the window's state (preferencesAboutToSave); errors go to the prompts.
    void savePreferences();
    // Reads the stored preferences again (preferencesReloaded).
    void reloadPreferences();

    // The command line's way in: lock (throws QuilloryError when another program has the
    // catalogue; a lock taken over is told, and what killed saves left beside the catalogue
    // and the settings is removed) and load the tree, its messages going to the prompts.
    void lock();
    void loadTree();
    // For a command that only reads: the tree as the file holds it now, without the lock and
    // without writing anything (an older "groups.tree" is upgraded in memory only). Whole-file
    // writes are atomic, so what is read is the catalogue before or after another program's
    // save, never half of it.
    void readTree();

Q_SIGNALS:
    // The stored preferences were read, once, at the start of the run.
    void preferencesLoaded();
    // The preferences window's own choices were read again (the user cancelled it); the window's
    // state (view, skin, tree width) is not among them.
    void preferencesReloaded();
    // Before the preferences are written: the window and the panels put their state into them.
    void preferencesAboutToSave();
    // The catalogue was (re)loaded: a new tree, a new search history, maybe read-only now.
    void opened();
    // Before close() writes anything: the window saves its position (first of the saves), the
    // search band hands in its history.
    void aboutToClose();

private:
    // A box for the user, or, once the session ends, standard error.
    void tellFailure(const QString &failure);
    enum Part { TreePart = 1, HistoryPart = 2, FavouritesPart = 4 };
    void openCatalogue(bool firstRunQuestion);
    void changed(int parts);
    // Writes the parts changed since their last save; a failure is told once until a save
    // succeeds again, and the part is tried again at the next change.
    void saveChanges();
    // Writes one part; the error's text, or an empty string.
    QString savePart(Part part);

    WorkspacePrompts &m_prompts;
    std::unique_ptr<Catalogue> m_catalogue;
    Preferences *m_prefs;
    DiscContents m_discContents;
    std::shared_ptr<NameIndex> m_nameIndex;
    QStringList m_searchHistory;
    Favourites m_favourites;
    QTimer *m_saveTimer;
    int m_unsaved = 0; // Parts
    bool m_saveFailureTold = false;
    // Saves the parts that wait; returns the failures, those parts still waiting.
    QStringList saveUnsaved();
    // The parts the user chose to close without: close() does not tell their failure again.
    int m_lossAccepted = 0;
    bool m_askBeforeLoss = true;
    // The catalogue is read and may be saved as it changes: false while (re)opening it.
    bool m_opened = false;
    bool m_prefsLoaded = false;
    bool m_sideFilesRead = false; // the search history and the favourites
    bool m_locked = false;
    bool m_readOnly = false;
    bool m_closed = false;
    bool m_stop = false;
};
