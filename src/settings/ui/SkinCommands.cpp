#include "SkinCommands.h"

#include "core/QuilloryError.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/ThemeIcons.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "settings/Skins.h"

#include <QAction>
#include <QImageReader>
#include <QMenu>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

SkinCommands::SkinCommands(Workspace &workspace, QWidget *window)
    : QObject(window), m_workspace(workspace), m_window(window)
{
    setObjectName(u"SkinCommands"_s);
    m_menu = window->findChild<QMenu *>(u"Theme1"_s);
    Q_ASSERT(m_menu);
    connect(m_menu, &QMenu::triggered, this, [this](QAction *item) { ThemeChange(item, true); });
    LocateSkins();
    // Until a skin is chosen every command shows its built-in drawing.
    ThemeIcons::useSkin({});
    ThemeIcons::refresh(window);
    connect(&workspace, &Workspace::preferencesLoaded, this, &SkinCommands::applyStoredTheme);
}

void SkinCommands::LocateSkins()
{
    m_menu->clear();
    // The way back from any skin: the built-in drawings, named by an empty theme.
    m_current = m_menu->addAction(u"&Built-in Icons"_s);
    m_current->setCheckable(true);
    m_current->setChecked(true);
    m_menu->addSeparator();
    const QStringList skins = Skins::LocateSkins(m_workspace.dataFolder());
    for (const QString &name : skins) {
        // The caption is the folder's name exactly: an "&" in it is shown, not an access key.
        QAction *item = m_menu->addAction(ActionRegistry::asIs(name));
        item->setData(name);
        item->setCheckable(true);
    }
    m_menu->menuAction()->setVisible(!skins.isEmpty());
}

void SkinCommands::applyStoredTheme()
{
    // Names are compared exactly; a name that matches no skin is ignored.
    const QString stored = m_workspace.preferences().theme();
    if (stored.isEmpty())
        return;
    for (QAction *item : m_menu->actions())
        if (item->data().toString() == stored) {
            ThemeChange(item, false);
            return;
        }
}

void SkinCommands::use(QAction *item, const QHash<QString, QImage> &bitmaps)
{
    for (QAction *other : m_menu->actions())
        other->setChecked(other == item);
    m_current = item;
    ThemeIcons::useSkin(bitmaps);
    ThemeIcons::refresh(m_window);
    m_workspace.preferences().setTheme(item->data().toString());
}

void SkinCommands::ThemeChange(QAction *item, bool fromMenu)
{
    // A click has toggled the item already; its check follows what is really in use.
    item->setChecked(item == m_current);
    const QString name = item->data().toString();
    if (name.isEmpty()) {
        use(item, {});
        return;
    }
    const QString path = Skins::skinPath(m_workspace.dataFolder(), name);

    if (!path.isEmpty() && Skins::firstMissingFile(path).isEmpty()) {
        // Every bitmap is read before any is used, so an unreadable one changes nothing.
        QHash<QString, QImage> bitmaps;
        QString failure;
        for (const QStringList *files : {&Skins::smallIconFiles(), &Skins::largeIconFiles()})
            for (const QString &f : *files) {
                QImageReader reader(path + f);
                const QImage image = reader.read();
                if (image.isNull() && failure.isEmpty())
                    failure = path + f + u": "_s + reader.errorString();
                bitmaps.insert(f, image);
            }
        if (!failure.isEmpty()) {
            AppDialogs::showError(m_window, failure);
            return;
        }
        use(item, bitmaps);
    } else {
        AppDialogs::message(m_window, AppDialogs::Error, u"Some files needed to load this skin are missing!"_s);
    }

    // Shown only when the user chose the skin, not when the stored one is applied at start-up.
    if (!fromMenu || path.isEmpty())
        return;
    try {
        const QString info = Skins::infoText(path);
        if (!info.isNull())
            AppDialogs::message(m_window, AppDialogs::Information, info);
    } catch (const QuilloryError &e) {
        AppDialogs::showError(m_window, e.message());
    }
}
