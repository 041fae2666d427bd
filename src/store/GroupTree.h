#pragma once

#include "TreeNode.h"

#include <QObject>
#include <functional>
#include <optional>

// Totals of a subtree, the node itself not counted.
struct GroupTotals {
    qint64 size = 0;
    qint64 discs = 0;
    qint64 groups = 0;
};

// The catalogue's outline in memory. Every structural change is announced before and
// after, in the shape QAbstractItemModel wants, so a thin item model can sit on top.
class GroupTree : public QObject
{
    Q_OBJECT
public:
    explicit GroupTree(QObject *parent = nullptr);
    ~GroupTree() override;

    // The invisible container of the top-level nodes.
    TreeNode *top() const { return m_top.get(); }
    // The first top-level node, the collection; null only in an empty tree.
    TreeNode *root() const { return m_top->m_children.empty() ? nullptr : m_top->m_children.front().get(); }

    void clear();
    // Replaces the whole content with the top-level nodes of another container.
    void adopt(std::unique_ptr<TreeNode> newTop);
    // Hands the content over, leaving this tree empty.
    std::unique_ptr<TreeNode> takeTop();

    TreeNode *addChild(TreeNode *parent, const QString &text, int kind, std::optional<TCD> cd = std::nullopt,
                       int row = -1);
    // Appends without announcing anything: for an outline built privately and handed to a
    // tree with adopt(), where nobody can be watching, so a large load costs no signals.
    static TreeNode *appendUnannounced(TreeNode *parent, const QString &text, int kind);
    static TreeNode *appendDiscUnannounced(TreeNode *parent, TCD &&cd);
    TreeNode *addDisc(TreeNode *parent, const TCD &cd);
    TreeNode *addDisc(TreeNode *parent, TCD &&cd);
    void removeNode(TreeNode *node);
    // Removes, in one reset, each disc (with what lies below it) for which drop is true. drop
    // is asked about every disc in pre-order, the discs below a dropped one included.
    void removeDiscsIf(const std::function<bool(const TCD &)> &drop);
    // Moves node (with its subtree) under newParent at row (-1: last). Refused (false) for
    // a move into the node's own subtree.
    bool moveNode(TreeNode *node, TreeNode *newParent, int row = -1);
    void setText(TreeNode *node, const QString &text);
    // Sets the record, the node's text (its Title) and its kind (present or lent).
    void setCD(TreeNode *node, const TCD &cd);
    void setKind(TreeNode *node, int kind);

    // Siblings by kind, higher first, then by text (case-sensitive, code-unit order), recursively.
    void sort();
    static bool treeLess(const TreeNode *a, const TreeNode *b);

    void forEachPreOrder(const std::function<void(TreeNode *)> &fn) const;
    int nodeCount() const;

Q_SIGNALS:
    void aboutToReset();
    void resetDone();
    void aboutToInsert(TreeNode *parent, int first, int last);
    void inserted();
    void aboutToRemove(TreeNode *parent, int first, int last);
    void removed();
    void aboutToMove(TreeNode *srcParent, int srcRow, TreeNode *dstParent, int dstRow);
    void moved();
    void aboutToRelayout();
    void relayoutDone();
    void nodeChanged(TreeNode *node);

private:
    static void renumber(TreeNode *parent, int from);
    static std::unique_ptr<TreeNode> makeNode(TreeNode *parent, int kind, TCD &&record, bool isDisc);
    static TreeNode *appendNode(TreeNode *parent, std::unique_ptr<TreeNode> node);
    std::unique_ptr<TreeNode> m_top;
};

// Queries shared by the tree view, Add Disc, favourites and the command line.
TreeNode *FindGroup(TreeNode *start, const QString &name);
TreeNode *FindCD(TreeNode *start, const QString &serial);
GroupTotals DoGroup(const TreeNode *group);
