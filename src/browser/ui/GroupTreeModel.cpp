#include "GroupTreeModel.h"

GroupTreeModel::GroupTreeModel(GroupTree *tree, QObject *parent) : QAbstractItemModel(parent), m_tree(tree)
{
    connect(tree, &GroupTree::aboutToReset, this, [this] { beginResetModel(); });
    connect(tree, &GroupTree::resetDone, this, [this] { endResetModel(); });
    connect(tree, &GroupTree::aboutToInsert, this, [this](TreeNode *p, int first, int last) {
        beginInsertRows(indexOf(p), first, last);
    });
    connect(tree, &GroupTree::inserted, this, [this] { endInsertRows(); });
    connect(tree, &GroupTree::aboutToRemove, this, [this](TreeNode *p, int first, int last) {
        beginRemoveRows(indexOf(p), first, last);
    });
    connect(tree, &GroupTree::removed, this, [this] { endRemoveRows(); });
    connect(tree, &GroupTree::aboutToMove, this, [this](TreeNode *sp, int sr, TreeNode *dp, int dr) {
        beginMoveRows(indexOf(sp), sr, sr, indexOf(dp), dr);
    });
    connect(tree, &GroupTree::moved, this, [this] { endMoveRows(); });
    connect(tree, &GroupTree::aboutToRelayout, this, [this] {
        Q_EMIT layoutAboutToBeChanged();
        // Remember which node each persistent index points at, to re-point after the sort.
        m_persistentFrom = persistentIndexList();
        m_persistentNodes.clear();
        for (const QModelIndex &i : m_persistentFrom)
            m_persistentNodes.push_back(node(i));
    });
    connect(tree, &GroupTree::relayoutDone, this, [this] {
        QModelIndexList to;
        for (size_t i = 0; i < m_persistentNodes.size(); ++i) {
            const QModelIndex idx = indexOf(m_persistentNodes[i]);
            to.append(idx.isValid() ? index(idx.row(), m_persistentFrom.at(int(i)).column(), idx.parent()) : idx);
        }
        changePersistentIndexList(m_persistentFrom, to);
        m_persistentFrom.clear();
        m_persistentNodes.clear();
        Q_EMIT layoutChanged();
    });
    connect(tree, &GroupTree::nodeChanged, this, [this](TreeNode *n) {
        const QModelIndex i = indexOf(n);
        Q_EMIT dataChanged(i, i);
    });
}

TreeNode *GroupTreeModel::node(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_tree ? m_tree->top() : nullptr;
    return static_cast<TreeNode *>(index.internalPointer());
}

QModelIndex GroupTreeModel::indexOf(const TreeNode *n) const
{
    if (!n || !m_tree || n == m_tree->top() || !n->parent())
        return QModelIndex();
    return createIndex(n->row(), 0, const_cast<TreeNode *>(n));
}

QModelIndex GroupTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    TreeNode *p = node(parent);
    if (!p || column != 0 || row < 0 || row >= p->childCount())
        return QModelIndex();
    return createIndex(row, column, p->child(row));
}

QModelIndex GroupTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return QModelIndex();
    return indexOf(node(child)->parent());
}

int GroupTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    TreeNode *p = node(parent);
    return p ? p->childCount() : 0;
}

int GroupTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant GroupTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const TreeNode *n = node(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return n->text();
    case Qt::DecorationRole:
        return m_icons.value(n->kind());
    case KindRole:
        return n->kind();
    default:
        return QVariant();
    }
}
