#pragma once

#include <QKeyCombination>
#include <QObject>
#include <QPoint>
#include <QStringList>

class ActionRegistry;
class ContentsIcons;
class ContentsPanel;
class ContentsView;
class Navigator;
class ObjectInfoPanel;
class QAction;
class QMenu;
class TMainForm;
class TPropertiesForm;
class VolumeBackend;
class Workspace;

// The contents list's commands: activating an entry, Go Up, Switch to Location, sorting by
// column and "Arrange Icons", the view styles, the object info of the selected entries, its
// toggle, the properties window, running or exploring an entry on its disc, the list's keys and
// its menus.
class ContentsCommands : public QObject
{
    Q_OBJECT
public:
    // What a right-click on the current selection shows.
    enum class MenuKind { None, Background, Node, Entry };

    ContentsCommands(Workspace &workspace, Navigator &navigator, TMainForm &window);

    // The drives searched for a disc; nullptr (the default) is the system's.
    void setVolumeBackend(VolumeBackend *backend) { m_backend = backend; }
    TPropertiesForm *propertiesForm();

public Q_SLOTS:
    void ExplorerActivate(int row);
    void ExplorerColumnClick(int column);
    void arrangeIcons(int column);
    void setViewStyle(int style);
    void cycleViewStyle();
    void Switch1Click();
    // Go Up: the parent folder or group listed, with the place just left selected in it.
    void BackButtonClick();
    void ToggleInfoClick();
    void ViewProperties1Click();
    void Execute1Click();
    void OpeninExplorer1Click();
    void ExplorerContextPopup(const QPoint &globalPos);
    void ExplorerChange();
    // Sets the menus' visible items and default item for the selection; returns the menu that applies.
    MenuKind applyMenuRules();

private:
    // Selects the first listed entry of that caption: a file, or (file false) a folder, an
    // archive, a disc or a group.
    void selectListed(const QString &caption, bool file);
    void updateCommandStates();
    void runDoubleClickAction();
    void handleKey(QKeyCombination key);
    void runOnDisc(bool explore);
    int selectedRow() const;
    QAction *doubleClickAction() const;

    Workspace &m_workspace;
    Navigator &m_navigator;
    TMainForm &m_window;
    ActionRegistry &m_actions;
    ContentsView *m_view;
    ObjectInfoPanel *m_infoPanel;
    ContentsIcons *m_icons;
    TPropertiesForm *m_properties = nullptr;
    VolumeBackend *m_backend = nullptr;
    QList<QAction *> m_styles;
    QList<QAction *> m_arrange;
};
