#pragma once

#include "acquire/ScanProblem.h"

#include <QObject>
#include <QPointer>

class ActionRegistry;
class DiscDrive;
class DriveControls;
class MediaWatcher;
class Navigator;
class QMainWindow;
class TCDForm;
class TNewForm;
class TreeNode;
class VolumeBackend;
class Workspace;

// Add Disc and Edit Disc Entry from the window: the commands and their captions, the two
// dialogs (made on first use), the drives in the main window (DriveControls), and the
// reaction to media arriving and leaving. While a scan runs, a second one cannot start, and
// closing the main window asks first.
class DiscCommands : public QObject
{
    Q_OBJECT
public:
    // backend nullptr: the default backend (the machine's drives, or what a test chose).
    DiscCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QMainWindow *window,
                 VolumeBackend *backend = nullptr);

    DiscDrive &drive() const { return *m_drive; }
    MediaWatcher *watcher() const { return m_watcher; }
    TNewForm *newForm();
    TCDForm *cdForm();

    // "Add Disc to "…"": the caption of the Add Disc command and dialog for the group of node.
    static QString addDiscCaption(const QString &group);
    // The warning after a disc is added without what its scan could not read: the entries
    // with their reasons, a long list cut short with the count of the rest.
    static QString unreadableMessage(const ScanProblems &problems);

public Q_SLOTS:
    void AddDisc1Click();
    // Add Disc with a disc image file in place of a drive: the file asked for, then the dialog.
    void AddDiscFromImage1Click();
    void EditDiscEntry1Click();
    void mediaArrived();
    void mediaRemoved();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setCaptions(TreeNode *node);
    void updateCommandStates();
    bool noticesWelcome() const;
    bool scanning() const;
    void scanFinished();

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    QMainWindow *m_window;
    DiscDrive *m_drive;
    DriveControls *m_controls;
    MediaWatcher *m_watcher;
    QPointer<TNewForm> m_newForm;
    QPointer<TCDForm> m_cdForm;
    // Notices that came while a scan ran, handled once it is over.
    bool m_arrivedDuringScan = false;
    bool m_removedDuringScan = false;
    bool m_closeAfterScan = false;
    QString m_lastImage; // where the image file dialog opens next
};
