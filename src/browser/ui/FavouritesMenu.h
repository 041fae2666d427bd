#pragma once

#include "store/Favourites.h"

#include <QList>
#include <QObject>

class ActionRegistry;
class Navigator;
class QAction;
class QMenu;
class TMainForm;
class Workspace;

// The drop-down menu of the "Favorites" tool button: "Add Current Location", "Remove Current
// Location", then one item per favourite of the workspace, which lists that folder again. The
// two commands stay disabled while the catalogue is read-only.
class FavouritesMenu : public QObject
{
    Q_OBJECT
public:
    FavouritesMenu(Workspace &workspace, Navigator &navigator, TMainForm &window);

    QMenu *menu() const { return m_menu; }
    // The favourites' items, in list order.
    const QList<QAction *> &items() const { return m_items; }

public Q_SLOTS:
    // Rebuilds the favourites' items, dropping favourites whose disc has left the catalogue.
    void LoadFavs();
    // The states of the two commands for the current location.
    void FavoritesMenuPopup();
    void AddLocationtoFavorites1Click();
    void RemoveFavoriteLocation1Click();
    // Lists the favourite at that place in the list.
    void FavoriteClick(int index);

private:
    Favourites::Location currentLocation() const;
    // A disc is listed, and the catalogue may be written.
    bool mayChange() const;

    Workspace &m_workspace;
    Navigator &m_navigator;
    TMainForm &m_window;
    QMenu *m_menu;
    QAction *m_add;
    QAction *m_remove;
    QList<QAction *> m_items;
};
