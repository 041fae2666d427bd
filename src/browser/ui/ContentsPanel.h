#pragma once

#include "gui/Panel.h"

class ContentsIcons;
class ContentsModel;
class ContentsView;
class QLabel;
struct LocationState;

// The middle of the window: the header (the disc label and the path) above the contents
// list, both following the Navigator. A sort keeps the selected entries selected.
class ContentsPanel : public Panel
{
    Q_OBJECT
public:
    ContentsPanel(Navigator &navigator, ContentsIcons *icons, QWidget *parent = nullptr);
    ~ContentsPanel() override;

    ContentsView *view() const { return m_view; }
    ContentsModel *model() const { return m_model; }

public Q_SLOTS:
    void setLocation(const Navigator &navigator) override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void rememberSelection();
    // A listing of millions of entries takes seconds to fill or sort: the wait cursor meanwhile.
    void setWaiting(bool waiting);
    void restoreSelection(const std::vector<int> &order);
    // The sort column's mark, or for a comparison's answer in its own order its groups.
    void showOrder(const LocationState &loc);

    QLabel *m_nameLabel;
    QLabel *m_pathLabel;
    ContentsView *m_view;
    ContentsModel *m_model;
    std::vector<int> m_marks; // per row before a sort: 1 selected, 2 current
    bool m_waiting = false;
};
