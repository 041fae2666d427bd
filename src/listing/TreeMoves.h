#pragma once

#include <QList>

class GroupTree;
class TreeNode;

// Drag and drop inside the group tree, without the widgets.
namespace TreeMoves
{

// Where the tree's hit test puts a drop relative to its target.
enum Place {
    AsLastChild,      // on the target's icon or text
    BeforeTarget,     // on the indentation left of it
    AfterLastSibling, // reported as on no item
    Nowhere           // any other part of the row
};

// Whether a drag may rest on a node: a group, the root or a lent disc, never a present disc.
bool acceptsDragOver(const TreeNode *node);

// Moves each node, in the order given, with its subtree, then sorts the tree. A drop on a
// disc does nothing; a node is left where it is when the move would put it inside itself,
// when it is the root, or when it would land beside the root at the top level (the root must
// stay the only top-level node). Returns how many nodes moved.
int MoveNodes(GroupTree &tree, const QList<TreeNode *> &nodes, TreeNode *target, Place place);

} // namespace TreeMoves
