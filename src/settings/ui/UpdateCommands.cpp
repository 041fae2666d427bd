#include "UpdateCommands.h"

#include "core/Version.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "session/Workspace.h"
#include "settings/UpdateCheck.h"
#include "store/DataPaths.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QProgressDialog>
#include <QUrl>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

UpdateCommands::UpdateCommands(Workspace &workspace, ActionRegistry &actions, QWidget *window)
    : QObject(window), m_workspace(workspace), m_window(window), m_timeoutMs(UpdateCheck::DefaultTimeoutMs)
{
    setObjectName(u"UpdateCommands"_s);
    m_check = actions.claim(u"CheckforUpdate1"_s);
    connect(m_check, &QAction::triggered, this, &UpdateCommands::CheckforUpdate1Click);
    connect(actions.claim(u"VisitTarnwickSite1"_s), &QAction::triggered, this, &UpdateCommands::TarnwickWebSite1Click);
}

QString UpdateCommands::server() const
{
    const QString settings = DataPaths::settingsFile(m_workspace.dataFolder());
    const QString address = UpdateCheck::serverSetting(settings);
    if (address.isEmpty())
        AppDialogs::message(m_window, AppDialogs::Information,
                            u"No update server is configured. Set UpdateServer in "_s + settings +
                                u" to the address of the server."_s);
    return address;
}

void UpdateCommands::open(const QUrl &url)
{
    if (!QDesktopServices::openUrl(url))
        AppDialogs::showError(m_window, u"Error executing file!"_s);
}

void UpdateCommands::CheckforUpdate1Click()
{
    const QString address = server();
    if (address.isEmpty())
        return;

    // Without any network nothing is asked. Otherwise a modal wait keeps the window answering
    // (painting, moving) but starting nothing else while the file comes, and its Cancel or
    // Escape gives up; a wait the user stopped says nothing more.
    QByteArray file;
    if (!UpdateCheck::knownOffline()) {
        m_check->setEnabled(false);
        QApplication::setOverrideCursor(Qt::BusyCursor);
        QProgressDialog wait(u"Checking for update..."_s, u"Cancel"_s, 0, 0, m_window);
        wait.setObjectName(u"UpdateWait"_s);
        wait.setWindowTitle(QApplication::applicationName());
        wait.setWindowModality(Qt::ApplicationModal);
        wait.setAutoReset(false);
        wait.setAutoClose(false);
        bool stopped = false;
        file = UpdateCheck::download(UpdateCheck::versionFileUrl(address), m_timeoutMs,
                                     [&](const std::function<void()> &stop) {
                                         connect(&wait, &QProgressDialog::canceled, &wait, [&stopped, stop] {
                                             stopped = true;
                                             stop();
                                         });
                                         wait.show();
                                     });
        wait.hide();
        QApplication::restoreOverrideCursor();
        m_check->setEnabled(true);
        if (stopped)
            return;
    }

    const UpdateCheck::Answer answer = UpdateCheck::judge(file, QuilloryVersion());
    switch (answer.kind) {
    case UpdateCheck::Answer::NoAnswer:
        AppDialogs::message(m_window, AppDialogs::Warning,
                            u"Could not connect to server. Please check your internet connection and try again."_s);
        break;
    case UpdateCheck::Answer::UpToDate:
        AppDialogs::message(m_window, AppDialogs::Information, u"No newer version yet."_s);
        break;
    case UpdateCheck::Answer::Newer:
        if (AppDialogs::message(m_window, AppDialogs::Confirmation,
                                u"New version "_s + answer.version +
                                    u" is available for download! Do you want to download it?"_s,
                                AppDialogs::YesNo) == QMessageBox::Yes)
            open(UpdateCheck::packageUrl(address));
        break;
    }
}

void UpdateCommands::TarnwickWebSite1Click()
{
    const QString address = server();
    if (!address.isEmpty())
        open(UpdateCheck::siteUrl(address));
}
