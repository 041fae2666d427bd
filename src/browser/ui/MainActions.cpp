#include "MainActions.h"

#include "ContentsIcons.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

MainActions::MainActions(QMainWindow *window) : QObject(window), m_window(window)
{
    const auto key = [](int k) { return QKeySequence(k); };
    report = make("Report1", QStringLiteral("Create Report..."), {QStringLiteral("office-report")}, key(Qt::Key_F7));
    report->setToolTip(QStringLiteral("Create Report (F7)"));
    exportDatabase =
        make("ExportAllData1", QStringLiteral("Export Database"), {QStringLiteral("document-export")}, key(Qt::Key_F8));
    importDatabase = make("ImportDatabase1", QStringLiteral("Import Database"), {QStringLiteral("document-import")},
                          key(Qt::Key_F9));
    exit = make("Exit1", QStringLiteral("Exit"), {QStringLiteral("application-exit")});

    addDisc = make("AddDisc1", QStringLiteral("Add Disc..."),
                   {QStringLiteral("media-optical-data"), QStringLiteral("media-optical")}, key(Qt::Key_F4));
    addDisc->setToolTip(QStringLiteral("Add Disc (F4)"));
    addGroup = make("AddGroup1", QStringLiteral("Add Group..."), {QStringLiteral("folder-new")}, key(Qt::Key_F5));
    deleteObject = make("Delete1", QStringLiteral("Delete Object"), {QStringLiteral("edit-delete")},
                        QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    deleteObject->setToolTip(QStringLiteral("Delete Object (Shift + Del)"));
    toggleSearch = make("Search1", QStringLiteral("Toggle Search"), {QStringLiteral("edit-find")}, key(Qt::Key_F3));
    toggleSearch->setCheckable(true);
    toggleSearch->setToolTip(QStringLiteral("Toggle Search (F3)"));
    copyToHdd = make("CopytoHDD1", QStringLiteral("Copy to Hard-Drive..."), {QStringLiteral("edit-copy")},
                     QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    copyToHdd->setToolTip(QStringLiteral("Copy to Hard-Drive... (Shift + Ins)"));

    viewGroup = new QActionGroup(this);
    largeIcons = make("LargeIcons1", QStringLiteral("Large Icons"), {QStringLiteral("view-list-icons")});
    smallIcons = make("SmallIcons1", QStringLiteral("Small Icons"), {QStringLiteral("view-list-text")});
    list = make("List1", QStringLiteral("List"), {QStringLiteral("view-list-tree")});
    details = make("Details1", QStringLiteral("Details"), {QStringLiteral("view-list-details")});
    for (QAction *a : {largeIcons, smallIcons, list, details}) {
        a->setCheckable(true);
        viewGroup->addAction(a);
    }
    largeIcons->setChecked(true);

    arrangeGroup = new QActionGroup(this);
    static const char *const arrangeNames[] = {"byName1", "byType1", "byPath1", "bySize1", "byDate1"};
    static const char *const arrangeTexts[] = {"by Name", "by Type", "by Path", "by Size", "by Date"};
    for (int i = 0; i < 5; ++i) {
        arrange[i] = make(arrangeNames[i], QString::fromLatin1(arrangeTexts[i]));
        arrange[i]->setCheckable(true);
        arrangeGroup->addAction(arrange[i]);
    }
    arrange[1]->setChecked(true);

    toggleObjectInfo = make("ToggleObjectInfo1", QStringLiteral("Toggle Object Info"), {QStringLiteral("documentinfo")},
                            key(Qt::Key_F10));
    toggleObjectInfo->setCheckable(true);
    toggleObjectInfo->setToolTip(QStringLiteral("Toggle Object Info (F11)"));
    toggleCompilation = make("ToggleCompilation1", QStringLiteral("Toggle Compilation"),
                             {QStringLiteral("tools-media-optical-burn")}, key(Qt::Key_F6));
    toggleCompilation->setToolTip(QStringLiteral("Toggle Compilation (F6)"));
    preferences =
        make("Preferences1", QStringLiteral("Preferences..."), {QStringLiteral("configure")}, key(Qt::Key_F11));

    addLocation = make("AddLocationtoFavorites1", QStringLiteral("Add Current Location"),
                       {QStringLiteral("bookmark-new")}, QKeySequence(Qt::CTRL | Qt::Key_D));
    removeLocation = make("RemoveFavoriteLocation1", QStringLiteral("Remove Current Location"),
                          {QStringLiteral("bookmark-remove"), QStringLiteral("edit-delete")},
                          QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));

    contents = make("Contents1", QStringLiteral("Contents"), {QStringLiteral("help-contents")}, key(Qt::Key_F1));
    contents->setToolTip(QStringLiteral("Help (F1)"));
    checkForUpdate =
        make("CheckforUpdate1", QStringLiteral("Check for Update"), {QStringLiteral("system-software-update")});
    visitSite =
        make("VisitTarnwickSite1", QStringLiteral("Visit Tarnwick Site"), {QStringLiteral("internet-web-browser")});
    about = make("About1", QStringLiteral("About"), {QStringLiteral("help-about")});
    about->setToolTip(QStringLiteral("About (F2)"));

    goUp = make("BackButton", QStringLiteral("Go Up"), {QStringLiteral("go-up")});
    goUp->setToolTip(QStringLiteral("Go Up (Backspace)"));
    changeView = make("ViewButton", QStringLiteral("Change View Style"), {QStringLiteral("view-list-icons")});
    changeView->setToolTip(QStringLiteral("Change View Style"));

    createReport = make("CreateReport2", QStringLiteral("Create Report"), {QStringLiteral("office-report")});
    searchHere = make("SearchHere2", QStringLiteral("Search Here"), {QStringLiteral("edit-find")});
    editDisc = make("EditDiscEntry1", QStringLiteral("Edit Disc Entry"), {QStringLiteral("document-edit")});
    addDiscHere = make("AddDisc2", QStringLiteral("Add Disc"),
                       {QStringLiteral("media-optical-data"), QStringLiteral("media-optical")});
    addSubGroup = make("AddSubGroup1", QStringLiteral("Add Sub-Group"), {QStringLiteral("folder-new")});
    deleteNode = make("Delete2", QStringLiteral("Delete"), {QStringLiteral("edit-delete")});
    borrow = make("BorrowCD1", QStringLiteral("Borrow Disc to..."), {QStringLiteral("go-next")});
    expandAll =
        make("ExpandAll1", QStringLiteral("Expand All"), {QStringLiteral("expand-all"), QStringLiteral("go-down")});
    expand = make("Expand1", QStringLiteral("Expand"), {QStringLiteral("arrow-down")});
    collapse = make("Collapse1", QStringLiteral("Collapse"), {QStringLiteral("collapse-all"), QStringLiteral("go-up")});

    execute = make("Execute1", QStringLiteral("Execute File"), {QStringLiteral("system-run")});
    openInExplorer =
        make("OpeninExplorer1", QStringLiteral("Open in Explorer"), {QStringLiteral("document-open-folder")});
    switchToLocation = make("Switch1", QStringLiteral("Switch to Location"), {QStringLiteral("folder")});
    viewProperties =
        make("ViewProperties1", QStringLiteral("View Properties"), {QStringLiteral("document-properties")});
    copyToHddEntry = make("CopytoHDD2", QStringLiteral("Copy to Hard-Drive..."), {QStringLiteral("edit-copy")});
    addToCompilation = make("AddtoCompilation1", QStringLiteral("Add to Compilation"),
                            {QStringLiteral("tools-media-optical-burn")}, QKeySequence(Qt::CTRL | Qt::Key_1));
    createPlaylist =
        make("CreatePlaylist1", QStringLiteral("Create M3U Playlist"), {QStringLiteral("view-media-playlist")});

    buildMenus(window);
    buildToolBar(window);
}

QAction *MainActions::make(const char *objectName, const QString &text, const QStringList &icons,
                           const QKeySequence &shortcut)
{
    auto *a = new QAction(text, m_window);
    a->setObjectName(QString::fromLatin1(objectName));
    if (!icons.isEmpty())
        a->setIcon(ContentsIcons::themeIcon(icons));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    // Only the main menus and the tool bar own window shortcuts; the actions live on the window.
    m_window->addAction(a);
    return a;
}

void MainActions::buildMenus(QMainWindow *window)
{
    QMenuBar *bar = window->menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    fileMenu = bar->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("File1"));
    fileMenu->addAction(report);
    fileMenu->addSeparator();
    fileMenu->addAction(exportDatabase);
    fileMenu->addAction(importDatabase);
    exitSeparator = fileMenu->addSeparator();
    fileMenu->addAction(exit);

    databaseMenu = bar->addMenu(QStringLiteral("&Database"));
    databaseMenu->setObjectName(QStringLiteral("Database1"));
    databaseMenu->addAction(addDisc);
    databaseMenu->addAction(addGroup);
    databaseMenu->addAction(deleteObject);
    databaseMenu->addSeparator();
    databaseMenu->addAction(toggleSearch);
    databaseMenu->addAction(copyToHdd);

    optionsMenu = bar->addMenu(QStringLiteral("&Options"));
    optionsMenu->setObjectName(QStringLiteral("Options1"));
    viewMenu = optionsMenu->addMenu(
        ContentsIcons::themeIcon({QStringLiteral("view-choose"), QStringLiteral("view-list-icons")}),
        QStringLiteral("View"));
    viewMenu->setObjectName(QStringLiteral("View1"));
    viewMenu->addActions({largeIcons, smallIcons, list, details});
    arrangeMenu = optionsMenu->addMenu(ContentsIcons::themeIcon({QStringLiteral("view-sort-ascending")}),
                                       QStringLiteral("Arrange Icons"));
    arrangeMenu->setObjectName(QStringLiteral("ArrangeIcons1"));
    for (QAction *a : arrange)
        arrangeMenu->addAction(a);
    optionsMenu->addSeparator();
    optionsMenu->addAction(toggleObjectInfo);
    optionsMenu->addAction(toggleCompilation);
    themeMenu =
        optionsMenu->addMenu(ContentsIcons::themeIcon({QStringLiteral("games-config-theme")}), QStringLiteral("Theme"));
    themeMenu->setObjectName(QStringLiteral("Theme1"));
    themeMenu->menuAction()->setVisible(false);
    optionsMenu->addSeparator();
    optionsMenu->addAction(preferences);

    helpMenu = bar->addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("Help1"));
    helpMenu->addAction(contents);
    helpMenu->addAction(checkForUpdate);
    helpMenu->addAction(visitSite);
    helpMenu->addSeparator();
    helpMenu->addAction(about);

    favoritesMenu = new QMenu(window);
    favoritesMenu->setObjectName(QStringLiteral("FavoritesMenu"));
    favoritesMenu->addAction(addLocation);
    favoritesMenu->addAction(removeLocation);
    favoritesMenu->addSeparator();
    favoritesMenu->setDefaultAction(addLocation);

    viewButtonMenu = new QMenu(window);
    viewButtonMenu->setObjectName(QStringLiteral("ViewButtonMenu"));
    viewButtonMenu->addActions({largeIcons, smallIcons, list, details});

    treeMenu = new QMenu(window);
    treeMenu->setObjectName(QStringLiteral("TreeMenu"));
    treeMenu->addActions({createReport, searchHere, editDisc, addDiscHere, addSubGroup, deleteNode, borrow});
    treeSeparator = treeMenu->addSeparator();
    treeMenu->addActions({expandAll, expand, collapse});

    entryMenu = new QMenu(window);
    entryMenu->setObjectName(QStringLiteral("EntryMenu"));
    entryMenu->addActions({execute, openInExplorer, switchToLocation, viewProperties});
    entryMenu->addSeparator();
    entryMenu->addActions({copyToHddEntry, addToCompilation, createPlaylist});

    backgroundMenu = new QMenu(window);
    backgroundMenu->setObjectName(QStringLiteral("BackgroundMenu"));
    QMenu *bgView = backgroundMenu->addMenu(viewMenu->icon(), QStringLiteral("View"));
    bgView->setObjectName(QStringLiteral("View2"));
    bgView->addActions({largeIcons, smallIcons, list, details});
    QMenu *bgArrange = backgroundMenu->addMenu(arrangeMenu->icon(), QStringLiteral("Arrange Icons"));
    bgArrange->setObjectName(QStringLiteral("ArrangeIcons2"));
    for (QAction *a : arrange)
        bgArrange->addAction(a);
}

void MainActions::buildToolBar(QMainWindow *window)
{
    toolBar = window->addToolBar(QStringLiteral("Tools"));
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    toolBar->setMovable(false);
    toolBar->setIconSize(QSize(24, 24));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->addAction(addDisc);
    toolBar->addAction(deleteObject);
    toolBar->addSeparator();
    toolBar->addAction(goUp);
    toolBar->addAction(changeView);
    toolBar->addSeparator();
    toolBar->addAction(toggleSearch);
    toolBar->addAction(copyToHdd);
    toolBar->addAction(report);
    toolBar->addAction(toggleCompilation);
    toolBar->addSeparator();
    auto *favButton = new QToolButton(toolBar);
    favButton->setObjectName(QStringLiteral("FavoritesButton"));
    favButton->setIcon(ContentsIcons::themeIcon({QStringLiteral("bookmarks")}));
    favButton->setToolTip(QStringLiteral("Favorites"));
    favButton->setMenu(favoritesMenu);
    favButton->setPopupMode(QToolButton::MenuButtonPopup);
    favButton->setAutoRaise(true);
    connect(favButton, &QToolButton::clicked, this, [this] {
        if (addLocation->isEnabled())
            addLocation->trigger();
    });
    toolBar->addWidget(favButton);
    toolBar->addAction(toggleObjectInfo);
    toolBar->addSeparator();
    toolBar->addAction(contents);
    toolBar->addAction(about);

    if (QToolButton *b = toolButton(changeView)) {
        b->setMenu(viewButtonMenu);
        b->setPopupMode(QToolButton::MenuButtonPopup);
    }
    static const std::pair<QAction * MainActions::*, const char *> names[] = {
        {&MainActions::addDisc, "AddDiscButton"},
        {&MainActions::deleteObject, "DeleteButton"},
        {&MainActions::goUp, "GoUpButton"},
        {&MainActions::changeView, "ChangeViewButton"},
        {&MainActions::toggleSearch, "SearchButton"},
        {&MainActions::copyToHdd, "CopyButton"},
        {&MainActions::report, "ReportButton"},
        {&MainActions::toggleCompilation, "CompilationButton"},
        {&MainActions::toggleObjectInfo, "InfoButton"},
        {&MainActions::contents, "HelpButton"},
        {&MainActions::about, "AboutButton"}};
    for (const auto &[member, name] : names)
        if (QToolButton *b = toolButton(this->*member))
            b->setObjectName(QString::fromLatin1(name));
}

QToolButton *MainActions::toolButton(QAction *action) const
{
    return qobject_cast<QToolButton *>(toolBar->widgetForAction(action));
}
