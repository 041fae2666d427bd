#pragma once

#include <QObject>

class ActionRegistry;
class TOptionsForm;
class TPosSaver;
class Workspace;

// "Preferences..." (F11) and its window: OK stores the preferences and the exclusion list,
// Cancel reads both back from their files. When the stored preferences are first read, the
// main window takes its saved position, or the middle of the desktop.
class SettingsCommands : public QObject
{
    Q_OBJECT
public:
    SettingsCommands(Workspace &workspace, ActionRegistry &actions, QWidget *mainWindow, TPosSaver *positionSave);

    TOptionsForm *form() const { return m_form; }

public Q_SLOTS:
    void Preferences1Click();
    void OkButtonClick();
    void CancelButtonClick();

private:
    Workspace &m_workspace;
    QWidget *m_mainWindow;
    TOptionsForm *m_form;
    bool m_started = false;
};
