#include "SettingsCommands.h"

#include "TOptionsForm.h"
#include "core/QuilloryError.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/TPosSaver.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/DataPaths.h"

#include <QAction>
#include <QFileInfo>
#include <QWidget>

SettingsCommands::SettingsCommands(Workspace &workspace, ActionRegistry &actions, QWidget *mainWindow,
                                   TPosSaver *positionSave)
    : QObject(mainWindow), m_workspace(workspace), m_mainWindow(mainWindow),
      m_form(new TOptionsForm(workspace.preferences(), mainWindow))
{
    connect(actions.claim(QStringLiteral("Preferences1")), &QAction::triggered, this,
            &SettingsCommands::Preferences1Click);
    connect(m_form, &TOptionsForm::okClicked, this, &SettingsCommands::OkButtonClick);
    connect(m_form, &TOptionsForm::cancelClicked, this, &SettingsCommands::CancelButtonClick);

    // The exclusions come with the preferences; the window's place is set once, at the start.
    connect(&workspace, &Workspace::preferencesLoaded, this, [this, positionSave] {
        if (m_started)
            return;
        m_started = true;
        try {
            m_workspace.preferences().loadExclusions(m_workspace.dataFolder());
        } catch (const QuilloryError &e) {
            AppDialogs::showError(m_mainWindow, e.message());
        }
        if (!positionSave)
            return;
        if (m_workspace.preferences().savePos())
            positionSave->RestorePosition();
        else
            TPosSaver::centre(m_mainWindow);
    });
}

void SettingsCommands::Preferences1Click()
{
    // Another program may have stored other values since this one read them: the window shows
    // those, so that OK confirms what the user saw.
    Preferences &prefs = m_workspace.preferences();
    prefs.refresh(DataPaths::settingsFile(m_workspace.dataFolder()));
    try {
        prefs.loadExclusions(m_workspace.dataFolder());
    } catch (const QuilloryError &e) {
        AppDialogs::showError(m_mainWindow, e.message());
    }
    m_exclusionsShown = prefs.exclusions();
    m_form->setExclusionsEditable(!m_workspace.isReadOnly());
    m_form->FormShow();
}

void SettingsCommands::OkButtonClick()
{
    // Written when it differs from the list the window opened on: a list kept unchanged would
    // otherwise go over what another program wrote since.
    if (!m_workspace.isReadOnly() && m_workspace.preferences().exclusions() != m_exclusionsShown) {
        try {
            m_workspace.preferences().saveExclusions(m_workspace.dataFolder());
        } catch (const QuilloryError &e) {
            AppDialogs::showError(m_form, e.message());
        }
    }
    m_workspace.savePreferences();
    m_form->hide();
}

void SettingsCommands::CancelButtonClick()
{
    m_form->hide();
    // The list the window opened on, also when no file holds it: a mask added and cancelled
    // would otherwise keep leaving files out of every scan until the program ends.
    m_workspace.preferences().setExclusions(m_exclusionsShown);
    try {
        m_workspace.preferences().loadExclusions(m_workspace.dataFolder());
    } catch (const QuilloryError &e) {
        AppDialogs::showError(m_mainWindow, e.message());
    }
    m_workspace.reloadPreferences();
}
