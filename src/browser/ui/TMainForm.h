#pragma once

#include <QMainWindow>

class ActionRegistry;
class ContentsIcons;
class ContentsPanel;
class Navigator;
class ObjectInfoPanel;
class QSplitter;
class StatusPanel;
class TPosSaver;
class TreePanel;
class Workspace;

// The main window: where the panels sit, how the menus and the tool bar arrange the
// commands, and closing. The commands themselves belong to the controllers the composition
// root attaches; the window knows none of them.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    TMainForm(Workspace &workspace, Navigator &navigator, QWidget *parent = nullptr);
    ~TMainForm() override;

    // With the window itself as sender: the work of the window's creation.
    // With no sender: the full initialisation of the catalogue.
    void FormCreate(QObject *sender);

    ActionRegistry &actions() const { return *m_actions; }
    ContentsIcons *icons() const { return m_icons; }
    TreePanel *treePanel() const { return m_treePanel; }
    ContentsPanel *contentsPanel() const { return m_contentsPanel; }
    ObjectInfoPanel *infoPanel() const { return m_infoPanel; }
    TPosSaver *positionSave() const { return m_positionSave; }
    QString statusText() const;

    // The band under the tool bar (the search panel); it shows and hides itself.
    void setSearchBand(QWidget *band);
    // The compilation, right of the contents list; it shows and hides itself.
    void setCompilationPanel(QWidget *panel);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void buildMenus();
    void buildToolBar();
    void FormClose();

    Workspace &m_workspace;
    Navigator &m_navigator;
    ContentsIcons *m_icons = nullptr;
    ActionRegistry *m_actions = nullptr;
    QSplitter *m_splitter = nullptr;
    TreePanel *m_treePanel = nullptr;
    ObjectInfoPanel *m_infoPanel = nullptr;
    ContentsPanel *m_contentsPanel = nullptr;
    StatusPanel *m_statusPanel = nullptr;
    TPosSaver *m_positionSave = nullptr;
};
