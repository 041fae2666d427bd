#pragma once

#include <QObject>

class ActionRegistry;
class QAction;
class QWidget;
class Workspace;

// "Check for Update" and "Visit Tarnwick Site" of the Help menu, against the server the
// "UpdateServer" setting names.
class UpdateCommands : public QObject
{
    Q_OBJECT
public:
    UpdateCommands(Workspace &workspace, ActionRegistry &actions, QWidget *window);

    // How long the version file may take; tests shorten it.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

public Q_SLOTS:
    void CheckforUpdate1Click();
    void TarnwickWebSite1Click();

private:
    QString server() const;
    void open(const QUrl &url);

    Workspace &m_workspace;
    QWidget *m_window;
    QAction *m_check;
    int m_timeoutMs;
};
