#pragma once

#include "TCD.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

// Node kinds of the group tree, kept as the node's image index.
enum NodeKind : int { KindDisc = 0, KindGroup = 1, KindRoot = 2, KindLent = 5 };

class GroupTree;

// One node of the group tree: the root, a group or a disc (with its record).
// Nodes are owned by their parent; only GroupTree changes the structure so that
// views hear of every change.
class TreeNode
{
public:
    TreeNode() = default;
    const QString &text() const { return m_record.Title; }
    int kind() const { return m_kind; }
    bool isDisc() const { return m_kind == KindDisc || m_kind == KindLent; }
    bool isGroup() const { return !isDisc(); }
    TCD *cd() { return m_hasRecord ? &m_record : nullptr; }
    const TCD *cd() const { return m_hasRecord ? &m_record : nullptr; }

    TreeNode *parent() const { return m_parent; }
    int childCount() const { return static_cast<int>(m_children.size()); }
    TreeNode *child(int row) const { return m_children.at(static_cast<size_t>(row)).get(); }
    int row() const { return m_row; }
    // Depth below the invisible top: the root has level 0.
    int level() const;
    // Whether this node is `other` or lies below it.
    bool isInside(const TreeNode *other) const;

private:
    friend class GroupTree;
    TreeNode(TreeNode *parent, int kind, TCD &&record, bool isDisc)
        : m_record(std::move(record)), m_kind(static_cast<qint8>(kind)), m_hasRecord(isDisc), m_parent(parent)
    {
    }
    // A group's name lies where a disc's title does, so a disc's node holds its text once. A
    // catalogue is mostly disc nodes, and each byte of one is paid for tens of thousands of times.
    TCD m_record;
    int m_row = 0; // kept up to date by GroupTree so views find a node's row without a search
    qint8 m_kind = KindGroup;
    bool m_hasRecord = false; // a disc's record; a group's holds only its name
    TreeNode *m_parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> m_children;
};
