#include "GroupTreeView.h"

#include "GroupTreeModel.h"
#include "store/TreeNode.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>

GroupTreeView::GroupTreeView(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("Tree"));
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setAutoScroll(true);
    setAutoScrollMargin(16);
    setAnimated(true);
    setUniformRowHeights(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setMouseTracking(true);
}

GroupTreeModel *GroupTreeView::treeModel() const
{
    return qobject_cast<GroupTreeModel *>(model());
}

TreeNode *GroupTreeView::currentNode() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() && treeModel() ? treeModel()->node(i) : nullptr;
}

TreeNode *GroupTreeView::nodeAt(const QPoint &pos) const
{
    const QModelIndex i = indexAt(pos);
    return i.isValid() && treeModel() ? treeModel()->node(i) : nullptr;
}

QList<TreeNode *> GroupTreeView::selectedNodes() const
{
    QList<TreeNode *> out;
    if (!treeModel() || !selectionModel())
        return out;
    for (const QModelIndex &i : selectionModel()->selectedIndexes())
        if (i.column() == 0)
            out.append(treeModel()->node(i));
    return out;
}

TreeMoves::Place GroupTreeView::hitTest(const QPoint &pos, TreeNode **target) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) {
        *target = m_lastTarget;
        return TreeMoves::AfterLastSibling;
    }
    *target = treeModel()->node(index);
    const QRect item = visualRect(index);
    if (pos.x() < item.left())
        return TreeMoves::BeforeTarget;
    // The item proper is its icon and its text; the rest of the row is nobody's.
    const int iconWidth = iconSize().isValid() ? iconSize().width() : style()->pixelMetric(QStyle::PM_SmallIconSize);
    const int textWidth = fontMetrics().horizontalAdvance(index.data(Qt::DisplayRole).toString());
    if (pos.x() <= item.left() + iconWidth + textWidth + 12)
        return TreeMoves::AsLastChild;
    return TreeMoves::Nowhere;
}

void GroupTreeView::dropNodes(const QList<TreeNode *> &nodes, const QPoint &pos)
{
    TreeNode *target = nullptr;
    const TreeMoves::Place place = hitTest(pos, &target);
    if (target && !nodes.isEmpty())
        Q_EMIT nodesDropped(nodes, target, place);
}

void GroupTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (treeModel() && !treeModel()->nodesFromMime(event->mimeData()).isEmpty()) {
        QTreeView::dragEnterEvent(event);
        event->accept();
    } else {
        event->ignore();
    }
}

void GroupTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    QTreeView::dragMoveEvent(event);
    TreeNode *node = nodeAt(event->position().toPoint());
    if (TreeMoves::acceptsDragOver(node) && treeModel() && !treeModel()->nodesFromMime(event->mimeData()).isEmpty()) {
        m_lastTarget = node;
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void GroupTreeView::dropEvent(QDropEvent *event)
{
    const QList<TreeNode *> nodes = treeModel() ? treeModel()->nodesFromMime(event->mimeData()) : QList<TreeNode *>();
    const QPoint pos = event->position().toPoint();
    // The move is done here, through the core tree; the drag source must not remove anything.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    dropNodes(nodes, pos);
    m_lastTarget = nullptr;
}

void GroupTreeView::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_lastTarget = nullptr;
    QTreeView::dragLeaveEvent(event);
}

void GroupTreeView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && state() != EditingState) {
        Q_EMIT deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void GroupTreeView::focusInEvent(QFocusEvent *event)
{
    QTreeView::focusInEvent(event);
    // A click or a shortcut into the tree lists its node again; Tab passing through does not,
    // or a search result would be gone before the keyboard reached it.
    if (event->reason() == Qt::MouseFocusReason || event->reason() == Qt::ShortcutFocusReason)
        Q_EMIT focusGained();
}
