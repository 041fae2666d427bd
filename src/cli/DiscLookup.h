#pragma once

#include <QString>

class GroupTree;
class TreeNode;

// How a command names a disc or a group on its command line.
namespace DiscLookup
{
// A disc by its serial (any case) or its title; a title that several discs share must be
// given as a serial. Throws QuilloryError naming what was not found.
const TreeNode *disc(const GroupTree &tree, const QString &key);
// The root or a group by its name, the first in tree order. Throws QuilloryError.
const TreeNode *group(const GroupTree &tree, const QString &name);
// A group by its name, else a disc by its title or serial: what a command's scope names.
const TreeNode *node(const GroupTree &tree, const QString &name);
} // namespace DiscLookup
