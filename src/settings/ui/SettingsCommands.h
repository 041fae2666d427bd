#pragma once

#include <QObject>
#include <QStringList>
#include <optional>

class ActionRegistry;
class TOptionsForm;
class TPosSaver;
class Workspace;

// "Preferences..." (F11) and its window: it opens on what the files hold now (the preferences
// file is shared with other programs), OK stores the preferences, and the exclusion list when it
// was changed in the window, Cancel reads both back from their files. A read-only catalogue's
// exclusion list is shown, never changed. When the stored preferences are first read, the main
// window takes its saved position, or the middle of the desktop.
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
    // The exclusion list as the window opened on it, which Cancel puts back and OK writes only
    // when it changed.
    QStringList m_exclusionsShown;
};
