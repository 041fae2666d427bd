#pragma once

#include "store/GroupTree.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QPointer>

// Passes the core group tree to Qt views.
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

    TreeNode *node(const QModelIndex &index) const;
    QModelIndex indexOf(const TreeNode *node) const;
    // The icon for a node kind (image index).
    void setKindIcon(int kind, const QIcon &icon) { m_icons[kind] = icon; }

    static constexpr int KindRole = Qt::UserRole + 1;

private:
    QPointer<GroupTree> m_tree;
    QHash<int, QIcon> m_icons;
    QModelIndexList m_persistentFrom;
    std::vector<TreeNode *> m_persistentNodes;
};
