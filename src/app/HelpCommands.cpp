#include "HelpCommands.h"

#include "core/Version.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "session/Workspace.h"
#include "store/DataPaths.h"

#include <QAction>
#include <QDesktopServices>
#include <QUrl>

HelpCommands::HelpCommands(Workspace &workspace, ActionRegistry &actions, QWidget *window)
    : QObject(window), m_workspace(workspace), m_window(window)
{
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
    AppDialogs::message(m_window, AppDialogs::Information,
                        QStringLiteral("Quillory! ") + QuilloryVersion() +
                            QStringLiteral("\r\nA catalogue of removable discs.\r\n\r\nTarnwick"));
}
