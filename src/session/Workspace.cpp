#include "Workspace.h"

#include "WorkspacePrompts.h"
#include "backup/DatabaseBackup.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "core/TextCodec.h"
#include "listing/LocationState.h"
#include "search/NameIndex.h"
#include "settings/Preferences.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/DataPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

Workspace::Workspace(const QString &dataFolder, WorkspacePrompts &prompts, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_catalogue(std::make_unique<Catalogue>(dataFolder)),
      m_prefs(new Preferences(this)), m_saveTimer(new QTimer(this))
{
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(SaveDelay);
    connect(m_saveTimer, &QTimer::timeout, this, &Workspace::saveChanges);
    // Every edit of the tree announces itself through one of these. A reset is left out: only
    // a load replaces the whole tree, and what it brings is what the file already holds.
    GroupTree &tree = m_catalogue->tree();
    const auto treeChanged = [this] { changed(TreePart); };
    connect(&tree, &GroupTree::inserted, this, treeChanged);
    connect(&tree, &GroupTree::removed, this, treeChanged);
    connect(&tree, &GroupTree::moved, this, treeChanged);
    connect(&tree, &GroupTree::relayoutDone, this, treeChanged);
    connect(&tree, &GroupTree::nodeChanged, this, treeChanged);
}

Workspace::~Workspace() = default;

GroupTree &Workspace::tree()
{
    return m_catalogue->tree();
}

QString Workspace::dataFolder() const
{
    return m_catalogue->dataFolder();
}

QString Workspace::dbFolder() const
{
    return m_catalogue->dbFolder();
}

QString Workspace::writeProblem(const QString &path, const QString &what) const
{
    try {
        Catalogue::refuseWriteOverCatalogue(dbFolder(), path, what);
    } catch (const QuilloryError &e) {
        return e.message();
    }
    return QString();
}

QString Workspace::searchHistoryFile() const
{
    return DataPaths::searchHistoryFile(m_catalogue->dataFolder());
}

QString Workspace::favouritesFile() const
{
    return DataPaths::favouritesFile(m_catalogue->dataFolder());
}

std::shared_ptr<NameIndex> Workspace::nameIndex()
{
    if (!m_nameIndex)
        m_nameIndex = std::make_shared<NameIndex>(dbFolder());
    return m_nameIndex;
}

void Workspace::open()
{
    // The preferences are read once per run: reading them again (after a first-run import)
    // would throw away whatever the window changed since start-up, which is written only at
    // shutdown.
    if (!m_prefsLoaded) {
        m_prefsLoaded = true;
        try {
            m_prefs->load(DataPaths::settingsFile(dataFolder()));
        } catch (const QuilloryError &e) {
            m_prompts.error(e.message());
        }
        Q_EMIT preferencesLoaded();
    }
    openCatalogue(true);
}

void Workspace::reopen()
{
    openCatalogue(false);
}

void Workspace::openCatalogue(bool firstRunQuestion)
{
    // What the (re)opening reads is what the files hold: nothing to save until it is done.
    m_opened = false;
    Catalogue &cat = *m_catalogue;
    bool created = false;
    try {
        created = cat.ensureDbFolder();
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
    if (!m_locked && !m_readOnly) {
        try {
            lock();
        } catch (const QuilloryError &e) {
            m_prompts.warning(e.message() + QStringLiteral("\r\nThe catalogue is shown read-only; nothing of it "
                                                           "will be changed or saved by this window."));
            m_readOnly = true;
        }
    }

    if (firstRunQuestion && created && !m_readOnly) {
        const QString sample = DatabaseBackup::sampleArchive(dataFolder());
        if (!sample.isEmpty() && m_prompts.askYesNo(DatabaseBackup::sampleQuestion())) {
            const QString failure = importArchive(sample);
            if (failure.isEmpty()) {
                openCatalogue(false);
                return;
            }
            m_prompts.error(failure);
        }
    }

    // The search history and the favourites live beside DB, not in it: read once per run, so an
    // import keeps this run's even when their save before it failed (the favourites are pruned of
    // discs the new tree lacks, as at start-up).
    const bool readSideFiles = !m_sideFilesRead;
    m_sideFilesRead = true;
    if (readSideFiles && QFileInfo::exists(searchHistoryFile())) {
        try {
            m_searchHistory = TextCodec::readLines(searchHistoryFile());
        } catch (const QuilloryError &e) {
            m_prompts.error(e.message());
        }
    }

    m_discContents.clear();
    m_nameIndex.reset();
    // A tree that could not be read made a window holding the catalogue read-only; the tree an
    // import brought is read afresh.
    if (m_locked)
        m_readOnly = false;
    try {
        loadTree();
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
    if (!cat.canSave() && !m_readOnly) {
        m_readOnly = true;
        m_prompts.warning(QStringLiteral("The group tree could not be read, so \"groups.tree\" is left as it is: "
                                         "changes made in this window will not be saved. Import Database brings "
                                         "the catalogue back from a backup."));
    }
    if (readSideFiles) {
        try {
            m_favourites.load(favouritesFile());
        } catch (const QuilloryError &e) {
            m_prompts.error(e.message());
        }
    }
    m_saveTimer->stop();
    m_opened = !m_closed;
    if (m_unsaved)
        changed(0);
    Q_EMIT opened();
}

void Workspace::lock()
{
    m_catalogue->lock([this](const QString &msg) { m_prompts.information(msg); });
    m_locked = true;
    // What killed saves left: of the search history, the favourites and the exclusions, which
    // only the lock's owner writes, and of the settings, which the settings clear only when no
    // save is under way.
    for (const QString &file : {searchHistoryFile(), favouritesFile(), DataPaths::exclusionsFile(dataFolder())})
        QFile::remove(SafeSaveFile::partialName(file));
    Preferences::removeInterruptedSaves(DataPaths::settingsFile(dataFolder()));
}

void Workspace::loadTree()
{
    // Without the lock nothing is written, not even the upgrade of an older tree file.
    m_catalogue->load([this](const QString &msg) { m_prompts.information(msg); },
                      m_readOnly ? TreeWrite::Never : TreeWrite::Allowed);
}

void Workspace::readTree()
{
    m_catalogue->load([this](const QString &msg) { m_prompts.information(msg); }, TreeWrite::Never);
}

QString Workspace::importArchive(const QString &archiveFile, const std::function<void(int, int)> &progress,
                                 QString *unfinished)
{
    // What waits is written first, so a failed import loses none of it.
    saveChanges();
    try {
        const QString waiting = DatabaseBackup::importDatabase(archiveFile, dbFolder(), progress);
        if (unfinished)
            *unfinished = waiting;
    } catch (const QuilloryError &e) {
        return e.message();
    }
    // The tree in memory is the replaced catalogue's until reopen(): it must never be saved over
    // the imported one.
    m_opened = false;
    m_unsaved &= ~TreePart;
    m_saveTimer->stop();
    return QString();
}

void Workspace::setSearchHistory(const QStringList &history)
{
    if (history == m_searchHistory)
        return;
    m_searchHistory = history;
    changed(HistoryPart);
}

void Workspace::addFavourite(const Favourites::Location &location)
{
    m_favourites.add(location);
    changed(FavouritesPart);
}

void Workspace::removeFavourite(const Favourites::Location &location)
{
    if (m_favourites.remove(location))
        changed(FavouritesPart);
}

void Workspace::followTree()
{
    const QString db = dbFolder();
    if (m_favourites.follow(tree().root(), LocationState::labelFor,
                            [&db](const QString &serial) { return ContentsFile::exists(db, serial); }))
        changed(FavouritesPart);
}

void Workspace::changed(int parts)
{
    if (!m_opened || m_readOnly || m_closed)
        return;
    m_unsaved |= parts;
    // Not restarted by further changes: a steady stream of them must not put the save off.
    if (!m_saveTimer->isActive())
        m_saveTimer->start();
}

QString Workspace::savePart(Part part)
{
    try {
        switch (part) {
        case HistoryPart:
            TextCodec::writeLines(searchHistoryFile(), m_searchHistory);
            break;
        case FavouritesPart:
            m_favourites.save(favouritesFile());
            break;
        case TreePart:
            m_catalogue->save();
            break;
        }
    } catch (const QuilloryError &e) {
        return e.message();
    }
    return {};
}

void Workspace::saveChanges()
{
    m_saveTimer->stop();
    if (!m_opened || m_readOnly || m_closed)
        return;
    const QStringList failures = saveUnsaved();
    if (failures.isEmpty()) {
        m_saveFailureTold = false;
        return;
    }
    // A full disk stays full for a while: one box, not one per change.
    if (m_saveFailureTold)
        return;
    m_saveFailureTold = true;
    m_prompts.error(failures.join(QStringLiteral("\r\n")) +
                    QStringLiteral("\r\nThe window keeps the change and saves it again at the next change and "
                                   "when it closes."));
}

QStringList Workspace::saveUnsaved()
{
    QStringList failures;
    for (const Part part : {HistoryPart, FavouritesPart, TreePart}) {
        if (!(m_unsaved & part))
            continue;
        const QString failure = savePart(part);
        if (failure.isEmpty())
            m_unsaved &= ~part;
        else
            failures.append(failure);
    }
    return failures;
}

bool Workspace::mayClose()
{
    if (m_closed || !m_opened || m_readOnly || !m_unsaved || !m_askBeforeLoss)
        return true;
    m_saveTimer->stop();
    const QStringList failures = saveUnsaved();
    if (failures.isEmpty())
        return true;
    if (!m_prompts.askBeforeLoss(failures.join(QStringLiteral("\r\n")) +
                                 QStringLiteral("\r\nClose anyway? What changed since the last save is lost.")))
        return false;
    // What is still unsaved is what failed.
    m_lossAccepted = m_unsaved;
    return true;
}

void Workspace::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_stop = true;
    m_saveTimer->stop();
    Q_EMIT aboutToClose();
    // Before the start has read them, there is nothing of this run to write, and writing
    // would put defaults and an empty tree over the user's files.
    if (m_prefsLoaded)
        savePreferences();
    if (m_readOnly || !m_opened)
        return;
    // All three, whether a change waits or not: the end of a run leaves each file as the window
    // shows it. Only a change that could not be saved is told: a file written again unchanged
    // loses nothing when that fails, and on a full disk, at a logout, each box waits for a person.
    for (const Part part : {HistoryPart, FavouritesPart, TreePart}) {
        const QString failure = savePart(part);
        if (!failure.isEmpty() && (m_unsaved & part) && !(m_lossAccepted & part))
            tellFailure(failure);
    }
    m_unsaved = 0;
}

void Workspace::tellFailure(const QString &failure)
{
    // A session that ends (logout, shutdown) cannot wait for a box: the failure goes where the
    // session keeps the program's output.
    if (m_askBeforeLoss)
        m_prompts.error(failure);
    else
        qWarning().noquote() << failure;
}

void Workspace::savePreferences()
{
    Q_EMIT preferencesAboutToSave();
    try {
        m_prefs->save(DataPaths::settingsFile(dataFolder()));
    } catch (const QuilloryError &e) {
        tellFailure(e.message());
    }
}

void Workspace::reloadPreferences()
{
    try {
        m_prefs->reload(DataPaths::settingsFile(dataFolder()));
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
    Q_EMIT preferencesReloaded();
}
