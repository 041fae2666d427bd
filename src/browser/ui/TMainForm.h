#pragma once

#include "browser/ContentsListing.h"
#include "browser/DiscContents.h"
#include "browser/LocationState.h"

#include <QMainWindow>
#include <memory>

class Catalogue;
class ContentsIcons;
class ContentsModel;
class ContentsView;
class ExtensionIconCache;
class GroupTree;
class GroupTreeModel;
class GroupTreeView;
class MainActions;
class ObjectInfoPanel;
class Preferences;
class QComboBox;
class QLabel;
class QSplitter;
class TBusyForm;
class TreeNode;

// The main window: the group tree, the contents list and their commands. The catalogue and
// the listing logic live in core classes; this window wires them to the widgets.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(const QString &dataFolder, QWidget *parent = nullptr);
    ~TMainForm() override;

    // With the window itself as sender: the work of the window's creation (the skins menu).
    // With no sender: the full initialisation of the catalogue.
    void FormCreate(QObject *sender);
    // The other windows, created once at start-up.
    void createWindows();

    Catalogue *catalogue() const { return m_catalogue.get(); }
    GroupTree &tree() const;
    Preferences *preferences() const { return m_prefs; }
    GroupTreeView *treeView() const { return m_tree; }
    GroupTreeModel *treeModel() const { return m_treeModel; }
    ContentsView *explorer() const { return m_explorer; }
    ContentsModel *contentsModel() const { return m_contentsModel; }
    ContentsListing &listing() { return m_listing; }
    const LocationState &location() const { return m_location; }
    DiscContents &discContents() { return m_discContents; }
    ExtensionIconCache *iconCache() const { return m_iconCache; }
    MainActions *actions() const { return m_actions; }
    ObjectInfoPanel *infoPanel() const { return m_infoPanel; }
    TBusyForm *busyForm() const { return m_busy; }
    QStringList searchHistory() const;
    QString statusText() const;
    // The caption the Add Disc window takes: "Add Disc to " and the group's full name.
    QString addDiscCaption() const { return m_addDiscCaption; }
    // True when the catalogue belongs to another program or its tree could not be read:
    // nothing of the catalogue is written then.
    bool isReadOnly() const { return m_readOnly; }
    bool stopFlag() const { return m_stop; }

public Q_SLOTS:
    void TreeChange(TreeNode *node);
    void AddGroup1Click();
    void Delete1Click();
    void BorrowCDClick();
    void TreeEdited(TreeNode *node, const QString &text);
    void LoadCD(const QString &name, const QString &serial, bool archiveMode, const QString &path);
    void BackButtonClick();
    void ExplorerActivate(int row);
    void Switch1Click();
    void ExportAllData1Click();
    void ImportDatabase1Click();
    void ToggleInfoClick();
    void setViewStyle(int style);
    void cycleViewStyle();
    void ExplorerColumnClick(int column);
    void arrangeIcons(int column);

    // The node a group or disc entry of a group listing stands for.
    TreeNode *FindInTree(int row) const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void connectActions();
    void initialise();
    bool importArchive(const QString &file);
    void FormClose();
    void listGroup(TreeNode *node);
    void sortContents();
    void selectTreeNode(TreeNode *node);
    TreeNode *currentNode() const;
    TreeNode *groupOf(TreeNode *node) const;
    // The node a list-entry menu stands for, selected (and listed) before its command runs.
    TreeNode *commandNode();
    void setHeader(const QString &discLabel, const QString &pathLabel);
    void setStatusText(const QString &text);
    void updateCommandStates();
    void TreeContextPopup(const QPoint &pos);
    void ExplorerContextPopup(const QPoint &globalPos);
    void ExplorerChange();
    void describeNode(TreeNode *node);
    void expandNode(bool all);
    void collapseNode();
    void LocateSkins();
    void openHelp();
    void reselect(const QString &serial);
    void showAbout();

    std::unique_ptr<Catalogue> m_catalogue;
    Preferences *m_prefs = nullptr;
    ExtensionIconCache *m_iconCache = nullptr;
    ContentsIcons *m_icons = nullptr;
    ContentsListing m_listing;
    DiscContents m_discContents;
    LocationState m_location;

    MainActions *m_actions = nullptr;
    QSplitter *m_splitter = nullptr;
    GroupTreeModel *m_treeModel = nullptr;
    GroupTreeView *m_tree = nullptr;
    ObjectInfoPanel *m_infoPanel = nullptr;
    QLabel *m_nameLabel = nullptr;
    QLabel *m_pathLabel = nullptr;
    ContentsView *m_explorer = nullptr;
    ContentsModel *m_contentsModel = nullptr;
    QWidget *m_compilationPanel = nullptr;
    QWidget *m_searchPanel = nullptr;
    QLabel *m_searchLabel = nullptr;
    QComboBox *m_searchEdit = nullptr;
    QLabel *m_statusLabel = nullptr;
    TBusyForm *m_busy = nullptr;

    QString m_addDiscCaption;
    QString m_lastImport = QStringLiteral("Quillory.cab");
    TreeNode *m_listMenuNode = nullptr;
    bool m_inTreeChange = false;
    bool m_readOnly = false;
    bool m_locked = false;
    bool m_optionsLoaded = false;
    bool m_closed = false;
    bool m_stop = false;
};
