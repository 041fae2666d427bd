#pragma once

#include <QObject>
#include <QPointer>

class ActionRegistry;
class Navigator;
class QMainWindow;
class TBusyForm;
class TVerifyForm;
class TreeNode;
class Workspace;

// Verify Disc from the window ("Verify Disc..." in the Database menu and in the tree's menu of a
// disc): the disc asked for by its serial, read again under the busy window (Stop ends it), and
// the differences shown in their own window. From there a difference's place is made current in
// the main window, the report saved as text, or, when the user confirms, the disc's entry
// replaced by a new scan as Add Disc replaces one. Verifying never writes the catalogue.
class VerifyCommands : public QObject
{
    Q_OBJECT
public:
    VerifyCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QMainWindow *window);

    // The results window; null until a disc was verified.
    TVerifyForm *form() const;

    void VerifyDisc1Click();
    // Reads the disc from the medium at root and shows what differs; false when it could not
    // be read or was stopped.
    bool verify(const TreeNode *disc, const QString &root);
    void saveReport();
    void updateFromScan();

private:
    const TreeNode *commandDisc() const;
    void updateCommandStates();
    TBusyForm *busy();
    TVerifyForm *resultsForm();

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    QMainWindow *m_window;
    QPointer<TVerifyForm> m_form;
    QPointer<TBusyForm> m_busy;
    bool m_working = false;
    bool m_stop = false;
    // The serial of the volume the last verification read, when it read a volume's root: an
    // update reads it again only while that volume is still there.
    QString m_readVolume;
};
