#include "TMainForm.h"

#include "ContentsIcons.h"
#include "ContentsPanel.h"
#include "ObjectInfoPanel.h"
#include "StatusPanel.h"
#include "TreePanel.h"
#include "listing/Navigator.h"
#include "core/Version.h"
#include "gui/ActionRegistry.h"
#include "gui/TPosSaver.h"
#include "gui/ThemeIcons.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/DataPaths.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

TMainForm::TMainForm(Workspace &workspace, Navigator &navigator, QWidget *parent)
    : QMainWindow(parent), m_workspace(workspace), m_navigator(navigator)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quillory! ") + QuilloryCaptionVersion());
    // Also the first run's size, until the window's place is remembered.
    setMinimumSize(640, 480);
    resize(minimumSize());
    ThemeIcons::setUp();
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillory.svg")));

    m_icons = new ContentsIcons(navigator.iconCache(), this);
    m_actions = new ActionRegistry(this);
    buildLayout();
    buildMenus();
    buildToolBar();
    connect(m_actions->claim(QStringLiteral("Exit1")), &QAction::triggered, this, &QWidget::close);

    // The window's own state goes with the preferences: the width of the tree.
    Preferences &prefs = workspace.preferences();
    const auto applyTreeWidth = [this, &prefs] {
        // A width wider than the screen (a damaged file) would leave the list no room at all.
        if (const std::optional<int> width = prefs.treeWidth();
            width && *width > 50 && *width < screen()->availableGeometry().width())
            m_splitter->setSizes({*width, std::max(200, this->width() - *width), 0});
    };
    connect(&workspace, &Workspace::preferencesLoaded, this, applyTreeWidth);
    connect(&workspace, &Workspace::preferencesAboutToSave, this,
            [this, &prefs] { prefs.setTreeWidth(m_splitter->sizes().value(0)); });
    // The position is the first thing saved at the end, whatever the preference.
    m_positionSave = new TPosSaver(this, DataPaths::settingsFile(workspace.dataFolder()));
    m_positionSave->setObjectName(QStringLiteral("PositionSave"));
    connect(&workspace, &Workspace::aboutToClose, m_positionSave, &TPosSaver::SavePosition);
}

TMainForm::~TMainForm() = default;

void TMainForm::buildLayout()
{
    auto *central = new QWidget(this);
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    m_splitter = new QSplitter(Qt::Horizontal, central);
    m_splitter->setObjectName(QStringLiteral("MainSplitter"));
    m_splitter->setHandleWidth(4);
    m_splitter->setChildrenCollapsible(false);
    centralLayout->addWidget(m_splitter, 1);

    // Left: the tree over the object info. Middle: the header over the list. Right: the
    // compilation, hidden at start.
    auto *left = new QWidget(m_splitter);
    left->setObjectName(QStringLiteral("LeftPanel"));
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    m_treePanel = new TreePanel(m_navigator, m_icons, left);
    leftLayout->addWidget(m_treePanel, 1);
    m_infoPanel = new ObjectInfoPanel(m_navigator, m_icons, left);
    leftLayout->addWidget(m_infoPanel);

    m_contentsPanel = new ContentsPanel(m_navigator, m_icons, m_splitter);

    auto *compilation = new QWidget(m_splitter);
    compilation->setObjectName(QStringLiteral("CompilationPanel"));
    compilation->hide();

    m_splitter->addWidget(left);
    m_splitter->addWidget(m_contentsPanel);
    m_splitter->addWidget(compilation);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({210, 430, 0});
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    m_statusPanel = new StatusPanel(m_navigator, statusBar());
    statusBar()->addWidget(m_statusPanel, 1);
}

void TMainForm::buildMenus()
{
    const ActionRegistry &a = *m_actions;
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));
    const auto add = [&a](QMenu *m, const QStringList &names) {
        for (const QString &n : names) {
            if (n.isEmpty())
                m->addSeparator();
            else
                m->addAction(a.action(n));
        }
    };

    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    // Eject items (one per drive) go before the separator above "Exit".
    add(file, {u"Report1"_s, {}, u"ExportAllData1"_s, u"ImportDatabase1"_s, {}, u"Exit1"_s});

    QMenu *database = bar->addMenu(QStringLiteral("&Database"));
    database->setObjectName(QStringLiteral("Database1"));
    add(database, {u"AddDisc1"_s, u"AddDiscFromImage1"_s, u"AddGroup1"_s, u"Delete1"_s, {}, u"Search1"_s, u"CopytoHDD1"_s, {}, u"VerifyDisc1"_s});

    const QStringList styles{u"LargeIcons1"_s, u"SmallIcons1"_s, u"List1"_s, u"Details1"_s};
    const QStringList arrange{u"byName1"_s, u"byType1"_s, u"byPath1"_s, u"bySize1"_s, u"byDate1"_s};
    const QIcon viewIcon = ThemeIcons::icon({QStringLiteral("view-choose"), QStringLiteral("view-list-icons")});
    const QIcon arrangeIcon = ThemeIcons::icon({QStringLiteral("view-sort-ascending")});
    QMenu *options = bar->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("Options1"));
    QMenu *view = options->addMenu(viewIcon, QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View1"));
    add(view, styles);
    QMenu *arrangeMenu = options->addMenu(arrangeIcon, QStringLiteral("&Arrange Icons"));
    arrangeMenu->setObjectName(QStringLiteral("ArrangeIcons1"));
    add(arrangeMenu, arrange);
    options->addSeparator();
    add(options, {u"ToggleObjectInfo1"_s, u"ToggleCompilation1"_s});
    QMenu *theme = options->addMenu(ThemeIcons::icon({QStringLiteral("games-config-theme")}), QStringLiteral("&Theme"));
    theme->setObjectName(QStringLiteral("Theme1"));
    theme->menuAction()->setVisible(false);
    options->addSeparator();
    add(options, {u"Preferences1"_s});

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    add(help, {u"Contents1"_s, u"CheckforUpdate1"_s, u"VisitTarnwickSite1"_s, {}, u"About1"_s});

    auto *favorites = new QMenu(this);
    favorites->setObjectName(QStringLiteral("FavoritesMenu"));
    add(favorites, {u"AddLocationtoFavorites1"_s, u"RemoveFavoriteLocation1"_s, {}});
    favorites->setDefaultAction(a.action(QStringLiteral("AddLocationtoFavorites1")));
    m_actions->addMenu(favorites);

    auto *viewButton = new QMenu(this);
    viewButton->setObjectName(QStringLiteral("ViewButtonMenu"));
    add(viewButton, styles);
    m_actions->addMenu(viewButton);

    // The contents list's menu for its background shares the view and arrange items.
    auto *background = new QMenu(this);
    background->setObjectName(QStringLiteral("BackgroundMenu"));
    QMenu *bgView = background->addMenu(viewIcon, QStringLiteral("&View"));
    bgView->setObjectName(QStringLiteral("View2"));
    add(bgView, styles);
    QMenu *bgArrange = background->addMenu(arrangeIcon, QStringLiteral("&Arrange Icons"));
    bgArrange->setObjectName(QStringLiteral("ArrangeIcons2"));
    add(bgArrange, arrange);
    m_actions->addMenu(background);

    // The tree's menu, also shown for group and disc entries of the list.
    auto *tree = new QMenu(this);
    tree->setObjectName(QStringLiteral("TreeMenu"));
    add(tree, {u"CreateReport2"_s,
               u"SearchHere2"_s,
               u"FindDuplicates1"_s,
               u"FilesOnlyonThisDisc1"_s,
               u"EditDiscEntry1"_s,
               u"VerifyDisc2"_s,
               u"AddDisc2"_s,
               u"AddSubGroup1"_s,
               u"Delete2"_s,
               u"BorrowCD1"_s,
               {},
               u"ExpandAll1"_s,
               u"Expand1"_s,
               u"Collapse1"_s});
    m_actions->addMenu(tree);

    auto *entry = new QMenu(this);
    entry->setObjectName(QStringLiteral("EntryMenu"));
    add(entry, {u"Execute1"_s,
                u"OpeninExplorer1"_s,
                u"Switch1"_s,
                u"ViewProperties1"_s,
                {},
                u"CopytoHDD2"_s,
                u"AddtoCompilation1"_s,
                u"CreatePlaylist1"_s});
    m_actions->addMenu(entry);
}

void TMainForm::buildToolBar()
{
    const ActionRegistry &a = *m_actions;
    QToolBar *bar = addToolBar(QStringLiteral("Tools"));
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Action, then the name of its tool button; an empty pair is a separator.
    static const std::pair<const char *, const char *> buttons[] = {{"AddDisc1", "AddDiscButton"},
                                                                    {"Delete1", "DeleteButton"},
                                                                    {nullptr, nullptr},
                                                                    {"BackButton", "GoUpButton"},
                                                                    {"ViewButton", "ChangeViewButton"},
                                                                    {nullptr, nullptr},
                                                                    {"Search1", "SearchButton"},
                                                                    {"CopytoHDD1", "CopyButton"},
                                                                    {"Report1", "ReportButton"},
                                                                    {"ToggleCompilation1", "CompilationButton"},
                                                                    {nullptr, nullptr},
                                                                    {"", "FavoritesButton"},
                                                                    {"ToggleObjectInfo1", "InfoButton"},
                                                                    {nullptr, nullptr},
                                                                    {"Contents1", "HelpButton"},
                                                                    {"About1", "AboutButton"}};
    for (const auto &[action, button] : buttons) {
        if (!action) {
            bar->addSeparator();
            continue;
        }
        if (!*action) {
            // The favourites button: a click adds the current location, its arrow opens the menu.
            auto *fav = new QToolButton(bar);
            fav->setObjectName(QString::fromLatin1(button));
            fav->setIcon(ThemeIcons::icon({QStringLiteral("bookmarks")}));
            fav->setToolTip(QStringLiteral("Favorites"));
            fav->setMenu(m_actions->menu(QStringLiteral("FavoritesMenu")));
            fav->setPopupMode(QToolButton::MenuButtonPopup);
            fav->setAutoRaise(true);
            QAction *addLocation = a.action(QStringLiteral("AddLocationtoFavorites1"));
            connect(fav, &QToolButton::clicked, addLocation, [addLocation] {
                if (addLocation->isEnabled())
                    addLocation->trigger();
            });
            bar->addWidget(fav);
            continue;
        }
        QAction *act = a.action(QString::fromLatin1(action));
        bar->addAction(act);
        if (auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(act)))
            b->setObjectName(QString::fromLatin1(button));
    }
    if (auto *b = bar->findChild<QToolButton *>(QStringLiteral("ChangeViewButton"))) {
        b->setMenu(m_actions->menu(QStringLiteral("ViewButtonMenu")));
        b->setPopupMode(QToolButton::MenuButtonPopup);
    }
}

void TMainForm::setSearchBand(QWidget *band)
{
    static_cast<QVBoxLayout *>(centralWidget()->layout())->insertWidget(0, band);
}

void TMainForm::setCompilationPanel(QWidget *panel)
{
    QWidget *place = m_splitter->findChild<QWidget *>(QStringLiteral("CompilationPanel"), Qt::FindDirectChildrenOnly);
    const int at = place ? m_splitter->indexOf(place) : -1;
    const bool hidden = panel->isHidden();
    if (at >= 0)
        delete m_splitter->replaceWidget(at, panel);
    else
        m_splitter->addWidget(panel);
    panel->setHidden(hidden);
}

void TMainForm::FormCreate(QObject *sender)
{
    // With the window as sender there is nothing to do: the skin controller fills the skins menu.
    // The start-up window calls it without one, once the other windows are made.
    if (sender == this)
        return;
    m_workspace.open();
}

QString TMainForm::statusText() const
{
    return m_statusPanel->text();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (!m_workspace.mayClose()) {
        event->ignore();
        return;
    }
    FormClose();
    QMainWindow::closeEvent(event);
}

void TMainForm::FormClose()
{
    m_workspace.close();
}
