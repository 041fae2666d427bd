#pragma once

#include "store/GroupTree.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QPointer>

// Passes the core group tree to Qt views: texts, kind icons, disc hints, in-place rename
// requests and the drag of several nodes.
class GroupTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit GroupTreeModel(GroupTree *tree, QObject *parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // An in-place edit does not change the node: it asks (renameRequested), and the window
    // checks the name and renames through the core tree.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    // The nodes a drag from this model carries, in selection order; nodes no longer in the
    // tree are left out.
    QList<TreeNode *> nodesFromMime(const QMimeData *mime) const;

    void setEditable(bool on) { m_editable = on; }

    TreeNode *node(const QModelIndex &index) const;
    QModelIndex indexOf(const TreeNode *node) const;
    // The icon for a node kind (image index).
    void setKindIcon(int kind, const QIcon &icon) { m_icons[kind] = icon; }

    static constexpr int KindRole = Qt::UserRole + 1;

Q_SIGNALS:
    void renameRequested(TreeNode *node, const QString &text);

private:
    QPointer<GroupTree> m_tree;
    QHash<int, QIcon> m_icons;
    bool m_editable = true;
    QModelIndexList m_persistentFrom;
    std::vector<TreeNode *> m_persistentNodes;
};
