#pragma once

#include <QString>
#include <QStringList>

class DiscContents;
class GroupTree;
class TreeNode;

// The rules for changing the group tree: names of groups, deleting groups and discs together
// with their contents files, lending, and the recovery from a damaged catalogue. The tree
// view's commands ask and answer the user; the decisions are made here.
class TreeEditor
{
public:
    TreeEditor(GroupTree &tree, DiscContents &contents, const QString &dbFolder);

    static QString alreadyExistsMessage(const QString &name);
    // Why a group cannot take that name: it cannot be stored, or a group or disc anywhere in
    // the tree already has it (in any case). A node being renamed may change the case of its
    // own name. Empty when the name is fine.
    QString groupNameProblem(const QString &name, const TreeNode *renamed = nullptr) const;
    // A new last child of parent; the name must have been checked.
    // Why no group can be added below parent: it would hold its discs deeper than a tree file
    // may nest, and the catalogue would not load again. Empty when one can.
    static QString depthProblem(const TreeNode *parent);
    TreeNode *addGroup(TreeNode *parent, const QString &name);
    // A group takes the name, a disc the title. Returns why not (nothing changed), or empty.
    QString rename(TreeNode *node, const QString &text);

    // "Cannot delete main goup!" for the root, else empty.
    static QString deleteRefusal(const TreeNode *node);
    // "Delete disc "..."?" or "Delete group "..."?".
    static QString deleteQuestion(const TreeNode *node);
    // The serials of the discs at and below node, depth-first in tree order.
    static QStringList discSerials(const TreeNode *node);
    // Deletes the contents file of every disc at or below node (but one another entry lists as
    // well), then the node with its subtree. A file that cannot be deleted, or a serial that names no file in DB, does
    // not keep the node: its message is returned (one per disc) and nothing outside DB is touched.
    QStringList deleteNode(TreeNode *node);

    // Lends the disc, or leaves it and says why the name cannot be stored (TreeNames).
    QString lend(TreeNode *disc, const QString &borrower);
    void giveBack(TreeNode *disc);

    static QString damagedMessage(const QString &serial);
    // A disc whose contents file is gone leaves the tree (the next save drops it from
    // "groups.tree"). True when the tree held such a disc.
    bool dropMissingDisc(const QString &serial);

private:
    GroupTree &m_tree;
    DiscContents &m_contents;
    QString m_db;
};
