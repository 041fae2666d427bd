#include "HelpCommands.h"

#include "TAboutForm.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "session/Workspace.h"
#include "store/DataPaths.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

HelpCommands::HelpCommands(Workspace &workspace, ActionRegistry &actions, QWidget *window)
    : QObject(window), m_workspace(workspace), m_window(window)
{
    setObjectName(QStringLiteral("HelpCommands"));
    connect(actions.claim(QStringLiteral("Contents1")), &QAction::triggered, this, &HelpCommands::openHelp);
    connect(actions.claim(QStringLiteral("About1")), &QAction::triggered, this, &HelpCommands::showAbout);
}

void HelpCommands::openHelp()
{
    // The manual is a shipped resource: in the data folder, beside the program in its build
    // folder, or where it is installed. F1 that does nothing would leave the user guessing, so a
    // manual not found names every place it was looked for.
    const QString page = QStringLiteral("help/index.html");
    const QString help = DataPaths::findResource(m_workspace.dataFolder(), page);
    if (help.isEmpty()) {
        QStringList places;
        for (const QString &folder : DataPaths::resourceFolders(m_workspace.dataFolder()))
            places << QDir::toNativeSeparators(folder + page);
        AppDialogs::showError(m_window,
                              QStringLiteral("The manual was not found. It was looked for in:\n") + places.join(u'\n'));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(help)))
        AppDialogs::showError(m_window,
                              QStringLiteral("The manual %1 could not be opened: no program to show web pages "
                                             "was found (xdg-open).")
                                  .arg(QDir::toNativeSeparators(help)));
}

void HelpCommands::showAbout()
{
    if (!m_about)
        m_about = new TAboutForm(m_window);
    m_about->setModal(true);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}
