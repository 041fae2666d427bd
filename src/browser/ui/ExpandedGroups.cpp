#include "ExpandedGroups.h"

#include "GroupTreeModel.h"
#include "GroupTreeView.h"
#include "core/AsciiCase.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/GroupTree.h"

ExpandedGroups::ExpandedGroups(Workspace &workspace, GroupTreeView *view)
    : QObject(view), m_workspace(workspace), m_view(view)
{
    connect(&workspace, &Workspace::opened, this, &ExpandedGroups::restore);
    connect(&workspace, &Workspace::preferencesAboutToSave, this,
            [this] { m_workspace.preferences().setAutoExpandGroups(text()); });
}

QString ExpandedGroups::text() const
{
    QString out = QStringLiteral("|");
    const GroupTreeModel *model = m_view->treeModel();
    m_workspace.tree().forEachPreOrder([&](TreeNode *node) {
        if (m_view->isExpanded(model->indexOf(node)))
            out += node->text() + u'|';
    });
    return out;
}

void ExpandedGroups::restore()
{
    const Preferences &prefs = m_workspace.preferences();
    const QString stored = FoldedAZ(prefs.autoExpandGroups());
    if (!prefs.autoExpand() || stored.isEmpty())
        return;
    const GroupTreeModel *model = m_view->treeModel();
    m_workspace.tree().forEachPreOrder([&](TreeNode *node) {
        if (stored.contains(u'|' + FoldedAZ(node->text()) + u'|'))
            m_view->expand(model->indexOf(node));
    });
}
