#pragma once

#include <QObject>

class ActionRegistry;
class TAboutForm;
class QWidget;
class Workspace;

// "Contents" (F1) opens the manual; "About" shows the about box.
class HelpCommands : public QObject
{
    Q_OBJECT
public:
    HelpCommands(Workspace &workspace, ActionRegistry &actions, QWidget *window);

public Q_SLOTS:
    void openHelp();
    void showAbout();

private:
    Workspace &m_workspace;
    QWidget *m_window;
    TAboutForm *m_about = nullptr;
};
