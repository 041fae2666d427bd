#include "TreeMoves.h"

#include "store/GroupTree.h"

namespace TreeMoves
{

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
