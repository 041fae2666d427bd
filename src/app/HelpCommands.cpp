#include "HelpCommands.h"

#include "TAboutForm.h"
#include "gui/ActionRegistry.h"
#include "session/Workspace.h"
#include "store/DataPaths.h"

#include <QAction>
#include <QDesktopServices>
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
    // A manual that cannot be opened is not reported.
    const QString help = DataPaths::findResource(m_workspace.dataFolder(), QStringLiteral("help/index.html"));
    if (!help.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(help));
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
