#pragma once

#include <QWidget>

class Navigator;
class QComboBox;
class QLabel;
class TreeNode;
class Workspace;

// The search band under the tool bar, hidden at start: the caption names where a search
// would look (the selected disc or group), and the mask box holds the search history.
class SearchPanel : public QWidget
{
    Q_OBJECT
public:
    SearchPanel(Workspace &workspace, Navigator &navigator, QWidget *parent = nullptr);

    QStringList history() const;

private:
    void setCaption(TreeNode *node);

    QLabel *m_label;
    QComboBox *m_edit;
};
