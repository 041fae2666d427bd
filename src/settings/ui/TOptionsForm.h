#pragma once

#include <QDialog>

class Preferences;
class QListWidget;
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
    // Whether Add and Remove may change the exclusion list; when not, the page says why.
    void setExclusionsEditable(bool editable);

Q_SIGNALS:
    void okClicked();
    void cancelClicked();

public Q_SLOTS:
    void AddButtonClick();
    void RemoveButtonClick();

protected:
    void reject() override;

private:
    // The controls from the preferences: each control named in the preferences' table shows
    // its value.
    void LoadControls();

    Preferences &m_prefs;
    bool m_loading = false;
    QTabWidget *m_pages;
    QListWidget *m_exclusions;
    QWidget *m_addExclusion;
    QWidget *m_removeExclusion;
    QWidget *m_exclusionsReadOnly;
};
