#pragma once

#include <QObject>

class ActionRegistry;
class Navigator;
class TreeNode;
class Workspace;
class QWidget;

// "Find Duplicates" and "Files Only on This Disc" in the tree's menu, for the disc or group it
// was opened on: the answer is listed like a search's hits (so "Switch to Location" goes to a
// copy), and its counts and sizes go to the status bar. The work runs on the window's thread
// under the busy window, which follows it disc by disc and whose Stop ends it with no answer.
class DuplicateCommands : public QObject
{
    Q_OBJECT
public:
    DuplicateCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *window);

    void FindDuplicates1Click();
    void FilesOnlyonThisDisc1Click();

private:
    // A group's menu offers the files of all its discs.
    // The node the menu was opened on, made current; null when there is none.
    TreeNode *target();
    // wholeCatalogue: the work reads every disc, not only those under the node.
    // heading: above the list, with the group or disc compared, while it runs and over the answer.
    template <typename Work> void run(const QString &caption, const QString &heading, bool wholeCatalogue, Work work);

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    QWidget *m_window;
    bool m_running = false;
};
