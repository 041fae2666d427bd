#include "TreePanel.h"

#include "ContentsIcons.h"
#include "GroupTreeModel.h"
#include "GroupTreeView.h"
#include "listing/Navigator.h"
#include "store/GroupTree.h"

#include <QVBoxLayout>

TreePanel::TreePanel(Navigator &navigator, ContentsIcons *icons, QWidget *parent) : Panel(parent)
{
    setObjectName(QStringLiteral("TreePanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_model = new GroupTreeModel(&navigator.tree(), this);
    for (int kind : {KindRoot, KindGroup, KindDisc, KindLent})
        m_model->setKindIcon(kind, icons->nodeIcon(kind));
    m_view = new GroupTreeView(this);
    m_view->setModel(m_model);
    layout->addWidget(m_view);

    // A tree read anew shows its root's children.
    const auto expandRoot = [this, &navigator] {
        if (TreeNode *root = navigator.tree().root())
            m_view->expand(m_model->indexOf(root));
    };
    connect(m_model, &QAbstractItemModel::modelReset, this, expandRoot);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [expandRoot](const QModelIndex &parent) {
        if (!parent.isValid())
            expandRoot();
    });
    connect(&navigator, &Navigator::currentNodeChanged, this, [this, &navigator] { setLocation(navigator); });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, &navigator](const QModelIndex &current) {
                if (!m_following && current.isValid())
                    navigator.selectFromTree(m_model->node(current));
            });
    connect(m_view, &GroupTreeView::focusGained, this, [&navigator] {
        if (TreeNode *n = navigator.currentNode())
            navigator.TreeChange(n);
    });
}

void TreePanel::setLocation(const Navigator &navigator)
{
    TreeNode *node = navigator.currentNode();
    if (!node || m_view->currentNode() == node)
        return;
    m_following = true;
    const QModelIndex i = m_model->indexOf(node);
    m_view->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    m_view->scrollTo(i);
    m_following = false;
}
