#pragma once

#include "listing/TreeMoves.h"

#include <QList>
#include <QTreeView>

class GroupTreeModel;
class TreeNode;

// The group tree's view: several nodes selected at once, in-place rename (F2 or a slow
// click), drag and drop with the platform's hit-test rules, Del, and focus notices.
class GroupTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit GroupTreeView(QWidget *parent = nullptr);

    GroupTreeModel *treeModel() const;
    TreeNode *currentNode() const;
    TreeNode *nodeAt(const QPoint &viewportPos) const;
    // Selected nodes in the order they were selected.
    QList<TreeNode *> selectedNodes() const;
    // Where a drop at a viewport position goes, and onto which node.
    TreeMoves::Place hitTest(const QPoint &viewportPos, TreeNode **target) const;

    // Drops the nodes at a viewport position as a mouse drop would (tests use it too).
    void dropNodes(const QList<TreeNode *> &nodes, const QPoint &viewportPos);

Q_SIGNALS:
    void nodesDropped(const QList<TreeNode *> &nodes, TreeNode *target, TreeMoves::Place place);
    void deletePressed();
    void focusGained();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    TreeNode *m_lastTarget = nullptr;
};
