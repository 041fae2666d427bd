#include "TreeNode.h"

int TreeNode::level() const
{
    int l = -1;
    for (const TreeNode *n = m_parent; n; n = n->m_parent)
        ++l;
    return l;
}

bool TreeNode::isInside(const TreeNode *other) const
{
    for (const TreeNode *n = this; n; n = n->m_parent)
        if (n == other)
            return true;
    return false;
}
