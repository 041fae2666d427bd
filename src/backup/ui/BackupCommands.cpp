#include "BackupCommands.h"

#include "backup/DatabaseBackup.h"
#include "listing/Navigator.h"
#include "core/QuilloryError.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/TBusyForm.h"
#include "session/Workspace.h"
#include "store/Catalogue.h"
#include "store/GroupTree.h"

#include <QAction>
#include <QDate>
#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace
{
const QString kCabFilter = u"Cabinet Files (*.cab);;All Files (*)"_s;
} // namespace

BackupCommands::BackupCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *window)
    : QObject(window), m_workspace(workspace), m_navigator(navigator), m_actions(actions), m_window(window)
{
    connect(actions.claim(u"ExportAllData1"_s), &QAction::triggered, this, &BackupCommands::ExportAllData1Click);
    connect(actions.claim(u"ImportDatabase1"_s), &QAction::triggered, this, &BackupCommands::ImportDatabase1Click);
    connect(&workspace, &Workspace::opened, this, &BackupCommands::updateCommandStates);
}

TBusyForm *BackupCommands::busyForm() const
{
    return m_busy;
}

void BackupCommands::updateCommandStates()
{
    m_actions.action(u"ImportDatabase1"_s)->setEnabled(m_workspace.mayImport());
}

// A catalogue shown read-only (on a read-only medium, or held by another program) is exported as
// it stands in DB; only one whose tree could not be read is refused, by the export itself.
void BackupCommands::ExportAllData1Click()
{
    const QString file =
        AppDialogs::saveFileName(m_window, u"Export Database"_s, kCabFilter, u"cab"_s,
                                 QDir::homePath() + u'/' + DatabaseBackup::proposedExportName(QDate::currentDate()));
    if (file.isEmpty())
        return;
    const TreeNode *selected = m_navigator.currentNode();
    const QString selectedSerial = selected && selected->cd() ? selected->cd()->Serial : QString();
    if (!m_busy)
        m_busy = new TBusyForm(m_window);
    bool started = false;
    int leftOut = 0;
    QStringList told; // once the busy window is up, said after it has gone
    try {
        leftOut = DatabaseBackup::exportDatabase(
            m_workspace.catalogue(), file,
            [&](int position, int maximum) {
                if (!started) {
                    m_busy->start(DatabaseBackup::exportBusyCaption(), maximum);
                    started = true;
                }
                m_busy->setPosition(position);
            },
            [&](const QString &msg) {
                if (started)
                    told.append(msg);
                else
                    AppDialogs::message(m_window, AppDialogs::Information, msg);
            });
    } catch (const QuilloryError &e) {
        m_busy->finish();
        reselect(selectedSerial);
        AppDialogs::showError(m_window, e.message());
        return;
    }
    m_busy->finish();
    reselect(selectedSerial);
    // An archive without some discs is no complete backup: it is not called one.
    if (!told.isEmpty())
        AppDialogs::message(m_window, leftOut > 0 ? AppDialogs::Warning : AppDialogs::Information, told.join(u'\n'));
    if (leftOut == 0)
        AppDialogs::message(m_window, AppDialogs::Information, DatabaseBackup::exportCompleteMessage());
}

void BackupCommands::reselect(const QString &serial)
{
    TreeNode *root = m_workspace.tree().root();
    if (!root)
        return;
    TreeNode *again = serial.isEmpty() ? nullptr : FindCD(root, serial);
    m_navigator.TreeChange(again ? again : root);
}

void BackupCommands::ImportDatabase1Click()
{
    if (!m_workspace.mayImport())
        return;
    const QString file = AppDialogs::openFileName(m_window, u"Import Database"_s, kCabFilter, u"cab"_s, m_lastImport);
    if (file.isEmpty())
        return;
    m_lastImport = file;
    if (AppDialogs::message(m_window, AppDialogs::Warning, DatabaseBackup::importQuestion(), AppDialogs::YesNo) !=
        QMessageBox::Yes)
        return;
    if (!m_busy)
        m_busy = new TBusyForm(m_window);
    bool started = false;
    QString unfinished;
    const QString failure = m_workspace.importArchive(
        file,
        [&](int position, int maximum) {
            if (!started) {
                m_busy->start(DatabaseBackup::importBusyCaption(), maximum);
                started = true;
            }
            m_busy->setPosition(position);
        },
        &unfinished);
    m_busy->finish();
    // The run ended while the gauge let events through (a logout): nobody is there to read a box,
    // and the catalogue is not opened again.
    if (m_workspace.isClosed())
        return;
    if (!failure.isEmpty()) {
        AppDialogs::showError(m_window, failure);
        return;
    }
    m_workspace.reopen();
    if (!unfinished.isEmpty())
        AppDialogs::message(m_window, AppDialogs::Warning, unfinished);
    AppDialogs::message(m_window, AppDialogs::Information, DatabaseBackup::importCompleteMessage());
}
