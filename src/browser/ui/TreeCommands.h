#pragma once

#include "listing/TreeEditor.h"
#include "listing/TreeMoves.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>

class ActionRegistry;
class GroupTreeView;
class Navigator;
class ObjectInfoPanel;
class QAction;
class QMenu;
class TMainForm;
class TreeNode;
class Workspace;

// The group tree's commands: add a group, rename, delete, lend and return, expand and
// collapse, drag and drop, and the tree's menu (also shown for group and disc entries of the
// contents list). Nothing of the catalogue changes while it is read-only.
class TreeCommands : public QObject
{
    Q_OBJECT
public:
    TreeCommands(Workspace &workspace, Navigator &navigator, TMainForm &window);

public Q_SLOTS:
    void AddGroup1Click();
    void TreeEdited(TreeNode *node, const QString &text);
    void Delete1Click();
    void BorrowCDClick();
    void expandNode(bool all);
    void collapseNode();
    void TreeContextPopup(const QPoint &pos);

private:
    void setCaptions(TreeNode *node);
    void updateCommandStates();
    void showEntryMenu(TreeNode *node, const QPoint &globalPos);
    void setDefaultItem(bool disc);
    void dropNodes(const QList<TreeNode *> &nodes, TreeNode *target, TreeMoves::Place place);
    // The node a command acts on: the selected one, or the entry whose menu is open in the
    // list, selected (and listed) first.
    TreeNode *commandNode();
    // The node of the menu's command, left where it is: the list entry whose menu it came from,
    // else the tree's current node.
    TreeNode *menuNode();
    void showBorrowItem(const TreeNode *node);

    Workspace &m_workspace;
    Navigator &m_navigator;
    TreeEditor m_editor;
    ActionRegistry &m_actions;
    // Focus moves while the window is taken down; by then the view may be gone.
    QPointer<GroupTreeView> m_view;
    ObjectInfoPanel *m_infoPanel;
    QWidget *m_window;
    QMenu *m_menu;
    QAction *m_separator = nullptr;
};
