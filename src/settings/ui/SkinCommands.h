#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;
class Workspace;

// The "Theme" submenu of the Options menu: the built-in icons, then one radio item per skin, the
// check on the set in use. Choosing an item loads that skin's bitmaps for every command icon of the window; the
// stored "Theme" is applied again when the preferences are read at start-up.
class SkinCommands : public QObject
{
    Q_OBJECT
public:
    SkinCommands(Workspace &workspace, QWidget *window);

    // Builds the submenu from the skins folders; hidden when there is no skin to choose.
    void LocateSkins();
    // Applies the skin an item names. fromMenu: the user chose it, so its "info.txt" is shown.
    void ThemeChange(QAction *item, bool fromMenu);
    // The name of the skin in use; empty for the built-in icons.

private:
    void applyStoredTheme();
    // Puts the item's icons on every command (none: the built-in drawings) and remembers it.
    void use(QAction *item, const QHash<QString, QImage> &bitmaps);

    Workspace &m_workspace;
    QWidget *m_window;
    QMenu *m_menu = nullptr;
    QAction *m_current = nullptr;
};
