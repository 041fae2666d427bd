#include "TreeNode.h"

int TreeNode::row() const
{
    if (!m_parent)
        return 0;
    const auto &siblings = m_parent->m_children;
    for (size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == this)
            return static_cast<int>(i);
    return -1;
}

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
