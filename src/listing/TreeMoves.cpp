#include "TreeMoves.h"

#include "store/GroupTree.h"
#include "store/TreeFile.h"

#include <algorithm>

namespace TreeMoves
{

namespace
{
// How many levels the node's subtree reaches below it.
int height(const TreeNode *node)
{
    int most = 0;
    for (int i = 0; i < node->childCount(); ++i)
        most = std::max(most, 1 + height(node->child(i)));
    return most;
}
} // namespace

bool acceptsDragOver(const TreeNode *node)
{
    return node && node->kind() != KindDisc;
}

int MoveNodes(GroupTree &tree, const QList<TreeNode *> &nodes, TreeNode *target, Place place)
{
    if (!target || target->isDisc() || place == Nowhere)
        return 0;
    int moved = 0;
    for (TreeNode *node : nodes) {
        if (!node || node == tree.root() || !node->parent())
            continue;
        TreeNode *newParent = place == AsLastChild ? target : target->parent();
        if (!newParent || newParent == tree.top())
            continue;
        if (newParent->isInside(node))
            continue;
        // Nothing may land deeper than a tree file nests: the catalogue would not load again.
        if (!TreeLimits::fitsUnder(newParent->level(), height(node)))
            continue;
        int row = -1;
        if (place == BeforeTarget) {
            if (node == target)
                continue;
            row = target->row();
        }
        if (tree.moveNode(node, newParent, row))
            ++moved;
    }
    tree.sort();
    return moved;
}

} // namespace TreeMoves
