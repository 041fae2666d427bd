#include "GroupTreeModel.h"

#include "gui/PlainTip.h"
#include "store/TreeNames.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <QSet>

static const QString kNodesMime = QStringLiteral("application/x-quillory-tree-nodes");

GroupTreeModel::GroupTreeModel(GroupTree *tree, QObject *parent) : QAbstractItemModel(parent), m_tree(tree)
{
    connect(tree, &GroupTree::aboutToReset, this, [this] { beginResetModel(); });
    connect(tree, &GroupTree::resetDone, this, [this] { endResetModel(); });
    connect(tree, &GroupTree::aboutToInsert, this,
            [this](TreeNode *p, int first, int last) { beginInsertRows(indexOf(p), first, last); });
    connect(tree, &GroupTree::inserted, this, [this] { endInsertRows(); });
    connect(tree, &GroupTree::aboutToRemove, this,
            [this](TreeNode *p, int first, int last) { beginRemoveRows(indexOf(p), first, last); });
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
    case Qt::ToolTipRole:
        return n->isDisc() && n->cd() ? PlainTip(TreeNames::DiscHint(*n->cd())) : QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags GroupTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const TreeNode *n = node(index);
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (m_editable) {
        f |= Qt::ItemIsEditable;
        if (m_tree && n != m_tree->root())
            f |= Qt::ItemIsDragEnabled;
        if (n->kind() != KindDisc)
            f |= Qt::ItemIsDropEnabled;
    }
    return f;
}

bool GroupTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    Q_EMIT renameRequested(node(index), value.toString());
    return true;
}

QStringList GroupTreeModel::mimeTypes() const
{
    return {kNodesMime};
}

QMimeData *GroupTreeModel::mimeData(const QModelIndexList &indexes) const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quintptr(this);
    for (const QModelIndex &i : indexes)
        if (i.isValid() && i.column() == 0)
            out << quintptr(node(i));
    auto *mime = new QMimeData;
    mime->setData(kNodesMime, bytes);
    return mime;
}

QList<TreeNode *> GroupTreeModel::nodesFromMime(const QMimeData *mime) const
{
    QList<TreeNode *> out;
    if (!mime || !mime->hasFormat(kNodesMime) || !m_tree)
        return out;
    QByteArray bytes = mime->data(kNodesMime);
    QDataStream in(&bytes, QIODevice::ReadOnly);
    quintptr owner = 0;
    in >> owner;
    if (owner != quintptr(this))
        return out;
    // Only pointers that are nodes of this tree right now are trusted.
    QSet<quintptr> alive;
    m_tree->forEachPreOrder([&alive](TreeNode *n) { alive.insert(quintptr(n)); });
    while (!in.atEnd()) {
        quintptr p = 0;
        in >> p;
        if (alive.contains(p) && !out.contains(reinterpret_cast<TreeNode *>(p)))
            out.append(reinterpret_cast<TreeNode *>(p));
    }
    return out;
}
