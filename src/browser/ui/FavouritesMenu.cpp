#include "FavouritesMenu.h"

#include "ContentsPanel.h"
#include "ContentsView.h"
#include "GroupTreeView.h"
#include "TMainForm.h"
#include "TreePanel.h"
#include "listing/Navigator.h"
#include "listing/EntryPlace.h"
#include "listing/LocationState.h"
#include "gui/ActionRegistry.h"
#include "session/Workspace.h"
#include "store/GroupTree.h"

#include <QAbstractItemView>
#include <QAction>
#include <QMenu>
#include <QShortcut>

using namespace Qt::StringLiterals;

FavouritesMenu::FavouritesMenu(Workspace &workspace, Navigator &navigator, TMainForm &window)
    : QObject(&window), m_workspace(workspace), m_navigator(navigator), m_window(window),
      m_menu(window.actions().menu(u"FavoritesMenu"_s)), m_add(window.actions().claim(u"AddLocationtoFavorites1"_s)),
      m_remove(window.actions().claim(u"RemoveFavoriteLocation1"_s))
{
    connect(m_add, &QAction::triggered, this, &FavouritesMenu::AddLocationtoFavorites1Click);
    connect(m_remove, &QAction::triggered, this, &FavouritesMenu::RemoveFavoriteLocation1Click);
    connect(m_menu, &QMenu::aboutToShow, this, &FavouritesMenu::FavoritesMenuPopup);
    // The shortcuts and the tool button look at the states between two openings of the menu too.
    connect(&navigator, &Navigator::locationChanged, this, &FavouritesMenu::FavoritesMenuPopup);
    connect(&workspace, &Workspace::opened, this, &FavouritesMenu::LoadFavs);
    // A renamed disc's favourites take its new title at once.
    connect(&workspace.tree(), &GroupTree::nodeChanged, this, [this](TreeNode *node) {
        if (node->isDisc())
            LoadFavs();
    });

    // In the tree, Ctrl+Shift+D removes the current location as it does in the list.
    auto *removeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), window.treePanel()->view(), nullptr,
                                    nullptr, Qt::WidgetShortcut);
    connect(removeKey, &QShortcut::activated, this, [this] {
        FavoritesMenuPopup();
        if (m_remove->isEnabled())
            m_remove->trigger();
    });
    FavoritesMenuPopup();
}

Favourites::Location FavouritesMenu::currentLocation() const
{
    const LocationState &loc = m_navigator.location();
    return {loc.currentSerial, loc.discLabel, loc.pathLabel};
}

void FavouritesMenu::LoadFavs()
{
    for (QAction *item : std::as_const(m_items))
        delete item;
    m_items.clear();
    m_workspace.followTree();
    const Favourites &favs = m_workspace.favourites();
    for (int i = 0; i < favs.count(); ++i) {
        // A title's "&" is shown, not taken for the item's access key.
        QAction *item = m_menu->addAction(ActionRegistry::asIs(Favourites::caption(favs.lines().at(i))));
        connect(item, &QAction::triggered, this,
                [this, item] { FavoriteClick(static_cast<int>(m_items.indexOf(item))); });
        m_items.append(item);
    }
    FavoritesMenuPopup();
}

void FavouritesMenu::FavoritesMenuPopup()
{
    // A read-only catalogue's favourites are never saved: a change would be lost unsaid.
    const bool changeable = mayChange();
    m_add->setEnabled(changeable);
    m_menu->setDefaultAction(changeable ? m_add : nullptr);
    m_remove->setEnabled(changeable && m_workspace.favourites().matches(currentLocation()));
}

bool FavouritesMenu::mayChange() const
{
    return m_navigator.location().isDiscListed() && !m_workspace.isReadOnly();
}

void FavouritesMenu::AddLocationtoFavorites1Click()
{
    if (!mayChange())
        return;
    m_workspace.addFavourite(currentLocation());
    LoadFavs();
}

void FavouritesMenu::RemoveFavoriteLocation1Click()
{
    if (!mayChange())
        return;
    m_workspace.removeFavourite(currentLocation());
    LoadFavs();
}

void FavouritesMenu::FavoriteClick(int index)
{
    const Favourites &favs = m_workspace.favourites();
    if (index < 0 || index >= favs.count())
        return;
    const Favourites::Location l = Favourites::parse(favs.lines().at(index));
    // A favourite of a disc deleted since the menu was made: opened, it would report a damaged
    // catalogue. The menu is made again without it instead.
    if (!m_workspace.tree().root() || !FindCD(m_workspace.tree().root(), l.serial)) {
        // Later: the menu's items, this one among them, are still in use while it triggers.
        QMetaObject::invokeMethod(this, &FavouritesMenu::LoadFavs, Qt::QueuedConnection);
        m_navigator.setStatus(u"The disc of that favourite is no longer in the catalogue."_s);
        return;
    }
    const QString title = LocationState::titleOf(l.discLabel);
    const EntryPlace place = EntryPlace::inFolder(title, l.serial, l.path);
    m_navigator.LoadCD(title, l.serial, place.insideZip(), l.path);
    ContentsView *view = m_window.contentsPanel()->view();
    view->currentView()->setFocus();
    view->selectRow(0);
}
