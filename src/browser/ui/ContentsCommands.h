#pragma once

#include <QObject>
#include <QPoint>

class ActionRegistry;
class ContentsIcons;
class ContentsPanel;
class ContentsView;
class Navigator;
class ObjectInfoPanel;
class QAction;
class TMainForm;
class Workspace;

// The contents list's commands: activating an entry, Go Up, Switch to Location, sorting by
// column and "Arrange Icons", the view styles, the object info of the selected entries, its
// toggle, and the list's menus.
class ContentsCommands : public QObject
{
    Q_OBJECT
public:
    ContentsCommands(Workspace &workspace, Navigator &navigator, TMainForm &window);

public Q_SLOTS:
    void ExplorerActivate(int row);
    void ExplorerColumnClick(int column);
    void arrangeIcons(int column);
    void setViewStyle(int style);
    void cycleViewStyle();
    void Switch1Click();
    void ToggleInfoClick();
    void ExplorerContextPopup(const QPoint &globalPos);
    void ExplorerChange();

private:
    void updateCommandStates();

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    ContentsView *m_view;
    ObjectInfoPanel *m_infoPanel;
    ContentsIcons *m_icons;
    QList<QAction *> m_styles;
    QList<QAction *> m_arrange;
};
