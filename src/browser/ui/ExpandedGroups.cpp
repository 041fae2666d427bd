#include "ExpandedGroups.h"

#include "GroupTreeModel.h"
#include "GroupTreeView.h"
#include "core/AsciiCase.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/GroupTree.h"

#include <utility>

ExpandedGroups::ExpandedGroups(Workspace &workspace, GroupTreeView *view)
    : QObject(view), m_workspace(workspace), m_view(view)
{
    connect(&workspace, &Workspace::opened, this, &ExpandedGroups::restore);
    connect(&workspace, &Workspace::preferencesAboutToSave, this,
            [this] { m_workspace.preferences().setAutoExpandGroups(text()); });
    // A tree read again as a whole (an export reads it back once it is saved) keeps the groups
    // the user had open; queued, so the tree's model has been made again first.
    connect(&workspace.tree(), &GroupTree::aboutToReset, this, [this] { m_beforeReset = text(); });
    connect(
        &workspace.tree(), &GroupTree::resetDone, this, [this] { open(std::exchange(m_beforeReset, {})); },
        Qt::QueuedConnection);
}

QString ExpandedGroups::text() const
{
    QString out = QStringLiteral("|");
    const GroupTreeModel *model = m_view->treeModel();
    m_workspace.tree().forEachPreOrder([&](TreeNode *node) {
        // The view calls a disc expanded after an expand of all below it; only groups open.
        if (!node->isDisc() && m_view->isExpanded(model->indexOf(node)))
            out += node->text() + u'|';
    });
    return out;
}

void ExpandedGroups::restore()
{
    const Preferences &prefs = m_workspace.preferences();
    if (prefs.autoExpand())
        open(prefs.autoExpandGroups());
}

void ExpandedGroups::open(const QString &text)
{
    const QString stored = FoldedAZ(text);
    if (stored.isEmpty())
        return;
    const GroupTreeModel *model = m_view->treeModel();
    m_workspace.tree().forEachPreOrder([&](TreeNode *node) {
        if (stored.contains(u'|' + FoldedAZ(node->text()) + u'|'))
            m_view->expand(model->indexOf(node));
    });
}
