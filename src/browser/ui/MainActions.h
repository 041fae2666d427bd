#pragma once

#include <QKeySequence>
#include <QObject>

class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;
class QToolBar;
class QToolButton;

// Every command of the main window as an action, with its caption, shortcut and icon, and
// the menus and the tool bar that show them. Shared actions keep all menus that show the
// same command in step (the three "View" menus, the two "Arrange Icons" menus).
class MainActions : public QObject
{
    Q_OBJECT
public:
    explicit MainActions(QMainWindow *window);

    // File
    QAction *report = nullptr;
    QAction *exportDatabase = nullptr;
    QAction *importDatabase = nullptr;
    QAction *exitSeparator = nullptr; // eject items go before it
    QAction *exit = nullptr;
    // Database
    QAction *addDisc = nullptr;
    QAction *addGroup = nullptr;
    QAction *deleteObject = nullptr;
    QAction *toggleSearch = nullptr;
    QAction *copyToHdd = nullptr;
    // Options
    QAction *largeIcons = nullptr;
    QAction *smallIcons = nullptr;
    QAction *list = nullptr;
    QAction *details = nullptr;
    QActionGroup *viewGroup = nullptr;
    QAction *arrange[5] = {}; // by Name, Type, Path, Size, Date
    QActionGroup *arrangeGroup = nullptr;
    QAction *toggleObjectInfo = nullptr;
    QAction *toggleCompilation = nullptr;
    QAction *preferences = nullptr;
    // Favourites
    QAction *addLocation = nullptr;
    QAction *removeLocation = nullptr;
    // Help
    QAction *contents = nullptr;
    QAction *checkForUpdate = nullptr;
    QAction *visitSite = nullptr;
    QAction *about = nullptr;
    // Tool bar only
    QAction *goUp = nullptr;
    QAction *changeView = nullptr;
    // Tree menu
    QAction *createReport = nullptr;
    QAction *searchHere = nullptr;
    QAction *editDisc = nullptr;
    QAction *addDiscHere = nullptr;
    QAction *addSubGroup = nullptr;
    QAction *deleteNode = nullptr;
    QAction *borrow = nullptr;
    QAction *treeSeparator = nullptr;
    QAction *expandAll = nullptr;
    QAction *expand = nullptr;
    QAction *collapse = nullptr;
    // Entry menu of the contents list
    QAction *execute = nullptr;
    QAction *openInExplorer = nullptr;
    QAction *switchToLocation = nullptr;
    QAction *viewProperties = nullptr;
    QAction *copyToHddEntry = nullptr;
    QAction *addToCompilation = nullptr;
    QAction *createPlaylist = nullptr;

    QMenu *fileMenu = nullptr;
    QMenu *databaseMenu = nullptr;
    QMenu *optionsMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *arrangeMenu = nullptr;
    QMenu *themeMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QMenu *favoritesMenu = nullptr;
    QMenu *viewButtonMenu = nullptr;
    QMenu *treeMenu = nullptr;
    QMenu *entryMenu = nullptr;
    QMenu *backgroundMenu = nullptr;
    QToolBar *toolBar = nullptr;

    QToolButton *toolButton(QAction *action) const;

private:
    QAction *make(const char *objectName, const QString &text, const QStringList &icons = {},
                  const QKeySequence &shortcut = QKeySequence());
    void buildMenus(QMainWindow *window);
    void buildToolBar(QMainWindow *window);

    QMainWindow *m_window;
};
