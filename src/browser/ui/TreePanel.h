#pragma once

#include "gui/Panel.h"

class ContentsIcons;
class GroupTree;
class GroupTreeModel;
class GroupTreeView;
class Navigator;
class TreeNode;

// The group tree: its view follows the Navigator's selected node, and a node the user
// selects goes to the Navigator.
class TreePanel : public Panel
{
    Q_OBJECT
public:
    TreePanel(Navigator &navigator, ContentsIcons *icons, QWidget *parent = nullptr);

    GroupTreeView *view() const { return m_view; }
    GroupTreeModel *model() const { return m_model; }

public Q_SLOTS:
    void setLocation(const Navigator &navigator) override;

private:
    GroupTreeModel *m_model;
    GroupTreeView *m_view;
    bool m_following = false;
};
