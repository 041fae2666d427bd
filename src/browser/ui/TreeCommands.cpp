#include "TreeCommands.h"

#include "GroupTreeModel.h"
#include "GroupTreeView.h"
#include "ObjectInfoPanel.h"
#include "TMainForm.h"
#include "TreePanel.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/GroupTree.h"
#include "store/TreeNames.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

using namespace Qt::Literals::StringLiterals;

namespace
{
QString quoted(const QString &s)
{
    return u'"' + s + u'"';
}
} // namespace

TreeCommands::TreeCommands(Workspace &workspace, Navigator &navigator, TMainForm &window)
    : QObject(&window), m_workspace(workspace), m_navigator(navigator),
      m_editor(workspace.tree(), workspace.discContents(), workspace.dbFolder()), m_actions(window.actions()),
      m_view(window.treePanel()->view()), m_infoPanel(window.infoPanel()), m_window(&window),
      m_menu(window.actions().menu(u"TreeMenu"_s))
{
    for (QAction *a : m_menu->actions())
        if (a->isSeparator())
            m_separator = a;
    ActionRegistry &a = m_actions;
    connect(a.claim(u"AddGroup1"_s), &QAction::triggered, this, &TreeCommands::AddGroup1Click);
    connect(a.claim(u"AddSubGroup1"_s), &QAction::triggered, this, &TreeCommands::AddGroup1Click);
    connect(a.claim(u"Delete1"_s), &QAction::triggered, this, &TreeCommands::Delete1Click);
    connect(a.claim(u"Delete2"_s), &QAction::triggered, this, &TreeCommands::Delete1Click);
    connect(a.claim(u"BorrowCD1"_s), &QAction::triggered, this, &TreeCommands::BorrowCDClick);
    connect(a.claim(u"Expand1"_s), &QAction::triggered, this, [this] { expandNode(false); });
    connect(a.claim(u"ExpandAll1"_s), &QAction::triggered, this, [this] { expandNode(true); });
    connect(a.claim(u"Collapse1"_s), &QAction::triggered, this, &TreeCommands::collapseNode);
    // Add Disc and Edit Disc Entry are the disc dialogs' commands; from an entry's menu in the
    // list they act on that entry's node, selected here first.
    for (const QString &name : {u"AddDisc2"_s, u"EditDiscEntry1"_s})
        connect(a.action(name), &QAction::triggered, this, [this] { commandNode(); });

    // A click on the tree's blank space lets go of the selection, though the node stays listed:
    // the key then has nothing to delete.
    connect(m_view, &GroupTreeView::deletePressed, this, [this] {
        if (m_view->selectionModel()->hasSelection())
            Delete1Click();
    });
    connect(m_view, &QWidget::customContextMenuRequested, this, &TreeCommands::TreeContextPopup);
    connect(m_view->treeModel(), &GroupTreeModel::renameRequested, this, &TreeCommands::TreeEdited);
    connect(m_view, &GroupTreeView::nodesDropped, this, &TreeCommands::dropNodes);
    connect(&navigator, &Navigator::currentNodeChanged, this, &TreeCommands::setCaptions);
    connect(&navigator, &Navigator::nodeMenuRequested, this, &TreeCommands::showEntryMenu);
    connect(&navigator, &Navigator::locationChanged, this, &TreeCommands::updateCommandStates);
    connect(qApp, &QApplication::focusChanged, this, &TreeCommands::updateCommandStates);
    connect(&workspace, &Workspace::opened, this, [this] {
        m_view->treeModel()->setEditable(!m_workspace.isReadOnly());
        m_view->setFocus();
        updateCommandStates();
    });
}

void TreeCommands::setCaptions(TreeNode *node)
{
    // The caption that names the selected group.
    const TreeNode *g = Navigator::groupOf(node);
    const QString group = TreeNames::ShortName(g ? g->text() : QString());
    m_actions.setCaption(u"AddGroup1"_s, u"Add Group to "_s + quoted(group) + u"..."_s);
}

void TreeCommands::updateCommandStates()
{
    if (!m_view)
        return;
    const bool writable = !m_workspace.isReadOnly();
    QWidget *focus = QApplication::focusWidget();
    const bool treeFocus = m_view->hasFocus() || (focus && m_view->isAncestorOf(focus));
    m_actions.action(u"Delete1"_s)->setEnabled(writable && treeFocus);
    for (const QString &name : {u"AddGroup1"_s, u"AddSubGroup1"_s, u"Delete2"_s, u"BorrowCD1"_s})
        m_actions.action(name)->setEnabled(writable);
}

TreeNode *TreeCommands::commandNode()
{
    if (TreeNode *entry = m_navigator.menuNode(); entry && entry != m_navigator.currentNode())
        m_navigator.TreeChange(entry);
    return m_navigator.currentNode();
}

TreeNode *TreeCommands::menuNode()
{
    TreeNode *entry = m_navigator.menuNode();
    return entry ? entry : m_navigator.currentNode();
}

void TreeCommands::showBorrowItem(const TreeNode *node)
{
    const bool disc = node->isDisc() && node->cd();
    m_actions.action(u"BorrowCD1"_s)->setVisible(disc);
    if (disc)
        m_actions.setCaption(u"BorrowCD1"_s, node->kind() == KindLent ? node->cd()->BorrowedTo + u" has returned disc"_s
                                                                      : u"Borrow Disc to..."_s);
}

void TreeCommands::AddGroup1Click()
{
    if (m_workspace.isReadOnly())
        return;
    TreeNode *parent = Navigator::groupOf(commandNode());
    if (!parent)
        parent = m_workspace.tree().root();
    if (!parent)
        return;
    if (const QString problem = TreeEditor::depthProblem(parent); !problem.isEmpty()) {
        AppDialogs::message(m_window, AppDialogs::Error, problem);
        return;
    }
    for (;;) {
        QString name;
        if (!AppDialogs::inputBox(m_window, u"Add Group to "_s + quoted(parent->text()), u"Group Name:"_s, name))
            return;
        if (const QString problem = m_editor.groupNameProblem(name); !problem.isEmpty()) {
            AppDialogs::message(m_window, AppDialogs::Error, problem);
            continue;
        }
        m_editor.addGroup(parent, name);
        m_navigator.TreeChange(parent);
        m_view->expand(m_view->treeModel()->indexOf(parent));
        return;
    }
}

void TreeCommands::TreeEdited(TreeNode *node, const QString &text)
{
    if (!node || m_workspace.isReadOnly())
        return;
    if (const QString problem = m_editor.rename(node, text); !problem.isEmpty())
        AppDialogs::message(m_window, AppDialogs::Error, problem);
    m_navigator.TreeChange(node);
}

void TreeCommands::Delete1Click()
{
    if (m_workspace.isReadOnly())
        return;
    TreeNode *node = commandNode();
    if (!node)
        return;
    if (const QString refusal = TreeEditor::deleteRefusal(node); !refusal.isEmpty()) {
        AppDialogs::message(m_window, AppDialogs::Error, refusal);
        return;
    }
    if (AppDialogs::message(m_window, AppDialogs::Confirmation, TreeEditor::deleteQuestion(node), AppDialogs::YesNo) !=
        QMessageBox::Yes)
        return;
    TreeNode *parent = node->parent();
    // The node goes first, so the parent's listing no longer shows it.
    const QStringList failures = m_editor.deleteNode(node);
    m_navigator.TreeChange(parent);
    if (!failures.isEmpty())
        AppDialogs::showError(m_window, failures.join(u"\r\n"_s));
}

void TreeCommands::BorrowCDClick()
{
    if (m_workspace.isReadOnly())
        return;
    // From a list entry's menu the entry is lent where it is listed, the listing left as it is.
    TreeNode *node = menuNode();
    if (!node || !node->isDisc() || !node->cd())
        return;
    if (node->kind() == KindLent) {
        m_editor.giveBack(node);
    } else {
        for (QString name;;) {
            if (!AppDialogs::inputBox(m_window, u"Borrow Disc to..."_s, u"Name: "_s, name))
                return;
            const QString problem = m_editor.lend(node, name);
            if (problem.isEmpty())
                break;
            AppDialogs::message(m_window, AppDialogs::Error, problem);
        }
    }
    m_infoPanel->describeNode(node);
}

void TreeCommands::expandNode(bool all)
{
    const QModelIndex i = m_view->treeModel()->indexOf(menuNode());
    if (!i.isValid())
        return;
    if (all)
        m_view->expandRecursively(i);
    else
        m_view->expand(i);
}

void TreeCommands::collapseNode()
{
    const QModelIndex i = m_view->treeModel()->indexOf(menuNode());
    if (!i.isValid())
        return;
    // The node first: its descendants then fold out of sight, where the view has no rows to
    // take away (folded from the bottom up, thousands of visible groups took seconds). Discs
    // hold nothing to fold.
    m_view->collapse(i);
    std::function<void(const QModelIndex &)> fold = [&](const QModelIndex &p) {
        for (int r = 0; r < m_view->model()->rowCount(p); ++r) {
            const QModelIndex child = m_view->model()->index(r, 0, p);
            const TreeNode *node = m_view->treeModel()->node(child);
            if (node && node->isDisc())
                continue;
            m_view->collapse(child);
            fold(child);
        }
    };
    fold(i);
}

void TreeCommands::dropNodes(const QList<TreeNode *> &nodes, TreeNode *target, TreeMoves::Place place)
{
    if (m_workspace.isReadOnly())
        return;
    TreeNode *current = m_navigator.currentNode();
    TreeMoves::MoveNodes(m_workspace.tree(), nodes, target, place);
    // The view may have moved its current row with the nodes; the selection stays where it was,
    // and shows: a node dropped into a closed group opens the group.
    if (current) {
        const QModelIndex i = m_view->treeModel()->indexOf(current);
        m_view->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
        for (QModelIndex group = i.parent(); group.isValid(); group = group.parent())
            m_view->expand(group);
        m_view->scrollTo(i);
    }
}

void TreeCommands::TreeContextPopup(const QPoint &pos)
{
    TreeNode *node = m_view->nodeAt(pos);
    if (!node)
        return;
    m_navigator.TreeChange(node);
    const bool disc = node->isDisc();
    for (const QString &name : {u"AddDisc2"_s, u"AddSubGroup1"_s, u"ExpandAll1"_s, u"Expand1"_s, u"Collapse1"_s})
        m_actions.action(name)->setVisible(!disc);
    m_separator->setVisible(!disc);
    m_actions.action(u"EditDiscEntry1"_s)->setVisible(disc);
    showBorrowItem(node);
    setDefaultItem(disc);
    m_menu->exec(m_view->viewport()->mapToGlobal(pos));
}

void TreeCommands::setDefaultItem(bool disc)
{
    // Bold only while a double-click on a disc opens the editor, so the menu tells the truth.
    const bool editOnDoubleClick = disc && m_workspace.preferences().discEditDblClick();
    m_menu->setDefaultAction(editOnDoubleClick ? m_actions.action(u"EditDiscEntry1"_s) : nullptr);
}

void TreeCommands::showEntryMenu(TreeNode *node, const QPoint &globalPos)
{
    const bool disc = node->isDisc();
    for (const QString &name : {u"AddDisc2"_s, u"AddSubGroup1"_s, u"ExpandAll1"_s, u"Expand1"_s, u"Collapse1"_s})
        m_actions.action(name)->setVisible(!disc);
    m_separator->setVisible(!disc);
    m_actions.action(u"EditDiscEntry1"_s)->setVisible(disc);
    showBorrowItem(node);
    setDefaultItem(disc);
    m_menu->exec(globalPos);
}
