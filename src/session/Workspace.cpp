#include "Workspace.h"

#include "WorkspacePrompts.h"
#include "backup/DatabaseBackup.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "settings/Preferences.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"

#include <QFileInfo>

Workspace::Workspace(const QString &dataFolder, WorkspacePrompts &prompts, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_catalogue(std::make_unique<Catalogue>(dataFolder)),
      m_prefs(new Preferences(this))
{
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

QString Workspace::searchHistoryFile() const
{
    return m_catalogue->dataFolder() + QLatin1String("search.dat");
}

QString Workspace::favouritesFile() const
{
    return Favourites::fileName(m_catalogue->dataFolder());
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
        if (!sample.isEmpty() && m_prompts.askYesNo(DatabaseBackup::sampleQuestion()) && importArchive(sample)) {
            openCatalogue(false);
            return;
        }
    }

    m_searchHistory.clear();
    if (QFileInfo::exists(searchHistoryFile())) {
        try {
            m_searchHistory = TextCodec::readLines(searchHistoryFile());
        } catch (const QuilloryError &e) {
            m_prompts.error(e.message());
        }
    }

    m_discContents.clear();
    try {
        loadTree();
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
    if (!cat.canSave() && !m_readOnly) {
        m_readOnly = true;
        m_prompts.warning(QStringLiteral("The group tree could not be read, so \"groups.tree\" is left as it is: "
                                         "changes made in this window will not be saved."));
    }
    try {
        m_favourites.load(favouritesFile());
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
    Q_EMIT opened();
}

void Workspace::lock()
{
    m_catalogue->lock();
    m_locked = true;
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

bool Workspace::importArchive(const QString &archiveFile)
{
    try {
        DatabaseBackup::importDatabase(archiveFile, dbFolder());
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
        return false;
    }
    return true;
}

void Workspace::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_stop = true;
    Q_EMIT aboutToClose();
    savePreferences();
    if (m_readOnly)
        return;
    try {
        TextCodec::writeLines(searchHistoryFile(), m_searchHistory);
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
    try {
        m_favourites.save(favouritesFile());
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
    try {
        m_catalogue->save();
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
    }
}

void Workspace::savePreferences()
{
    Q_EMIT preferencesAboutToSave();
    try {
        m_prefs->save(DataPaths::settingsFile(dataFolder()));
    } catch (const QuilloryError &e) {
        m_prompts.error(e.message());
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
