#pragma once

#include <QDialog>

class Preferences;
class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;

// "Preferences": the user's choices for scanning, browsing and searching, on three pages. The
// controls are the live preferences: each change goes into the Preferences object at once, so
// the next scan, search or double-click uses it; OK stores them, Cancel puts the stored ones
// back. The main window is disabled while the dialog shows.
class TOptionsForm : public QDialog
{
    Q_OBJECT
public:
    TOptionsForm(Preferences &preferences, QWidget *mainWindow);

    QTabWidget *pages() const { return m_pages; }

    // Turns to the first page and shows the dialog, without waiting for it.
    void FormShow();

Q_SIGNALS:
    void okClicked();
    void cancelClicked();

public Q_SLOTS:
    void AddButtonClick();
    void RemoveButtonClick();

protected:
    void reject() override;

private:
    // The controls from the preferences.
    void LoadControls();

    Preferences &m_prefs;
    bool m_loading = false;
    QTabWidget *m_pages;
    QListWidget *m_filters;
    QCheckBox *m_autoInsert;
    QCheckBox *m_eject;
    QCheckBox *m_label;
    QComboBox *m_action;
    QCheckBox *m_window;
    QCheckBox *m_expand;
    QCheckBox *m_grid;
    QCheckBox *m_discEdit;
    QCheckBox *m_unlimited;
    QSpinBox *m_maxSearch;
    QListWidget *m_exclusions;
    QCheckBox *m_empty;
    QCheckBox *m_emptyFiles;
    QCheckBox *m_hidden;
};
