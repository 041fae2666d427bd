#include "ActionRegistry.h"

#include "ThemeIcons.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace
{

struct ActionDef {
    const char *name;
    const char *text;
    QStringList icons;
    QKeySequence shortcut;
    // The tool button's hint, without its key: the key is the shortcut's (or listKey's), so a
    // hint never names a key that does something else.
    const char *toolTip;
    bool checkable;
    // A key the contents list handles for the command itself, named in the hint.
    QKeySequence listKey = {};
};

QKeySequence key(QKeyCombination k)
{
    return QKeySequence(k);
}

// The commands of the main window, its menus and its tool bar. A caption's "&" marks its access
// key (Qt underlines it while Alt is held); the keys differ within each menu the command is in.
const QList<ActionDef> &table()
{
    static const QList<ActionDef> defs = {
        {"Report1", "&Create Report...", {"office-report"}, key(Qt::Key_F7), "Create Report", false},
        {"ExportAllData1", "&Export Database", {"document-export"}, key(Qt::Key_F8), nullptr, false},
        {"ImportDatabase1", "&Import Database", {"document-import"}, key(Qt::Key_F9), nullptr, false},
        {"Exit1", "E&xit", {"application-exit"}, {}, nullptr, false},
        {"AddDisc1", "&Add Disc...", {"media-optical-data", "media-optical"}, key(Qt::Key_F4), "Add Disc", false},
        {"AddDiscFromImage1",
         "Add Disc from &Image...",
         {"application-x-cd-image", "media-optical"},
         {},
         nullptr,
         false},
        {"AddGroup1", "Add &Group...", {"folder-new"}, key(Qt::Key_F5), nullptr, false},
        {"Delete1", "&Delete Object", {"edit-delete"}, key(Qt::SHIFT | Qt::Key_Delete), "Delete Object", false},
        {"Search1", "Toggle &Search", {"edit-find"}, key(Qt::Key_F3), "Toggle Search", true},
        {"VerifyDisc1", "&Verify Disc...", {"document-preview", "edit-find"}, {}, nullptr, false},
        {"CopytoHDD1",
         "&Copy to Hard-Drive...",
         {"edit-copy"},
         key(Qt::SHIFT | Qt::Key_Insert),
         "Copy to Hard-Drive...",
         false},
        {"LargeIcons1", "Lar&ge Icons", {"view-list-icons"}, {}, nullptr, true},
        {"SmallIcons1", "S&mall Icons", {"view-list-text"}, {}, nullptr, true},
        {"List1", "&List", {"view-list-tree"}, {}, nullptr, true},
        {"Details1", "&Details", {"view-list-details"}, {}, nullptr, true},
        {"byName1", "by &Name", {}, {}, nullptr, true},
        {"byType1", "by &Type", {}, {}, nullptr, true},
        {"byPath1", "by &Path", {}, {}, nullptr, true},
        {"bySize1", "by &Size", {}, {}, nullptr, true},
        {"byDate1", "by &Date", {}, {}, nullptr, true},
        {"ToggleObjectInfo1", "Toggle Object &Info", {"documentinfo"}, key(Qt::Key_F10), "Toggle Object Info", true},
        {"ToggleCompilation1",
         "Toggle &Compilation",
         {"tools-media-optical-burn"},
         key(Qt::Key_F6),
         "Toggle Compilation",
         false},
        {"Preferences1", "&Preferences...", {"configure"}, key(Qt::Key_F11), nullptr, false},
        {"AddLocationtoFavorites1",
         "&Add Current Location",
         {"bookmark-new"},
         key(Qt::CTRL | Qt::Key_D),
         nullptr,
         false},
        {"RemoveFavoriteLocation1",
         "&Remove Current Location",
         {"bookmark-remove", "edit-delete"},
         key(Qt::CTRL | Qt::ALT | Qt::Key_D),
         nullptr,
         false},
        {"Contents1", "&Contents", {"help-contents"}, key(Qt::Key_F1), "Help", false},
        {"CheckforUpdate1", "Check for &Update", {"system-software-update"}, {}, nullptr, false},
        {"VisitTarnwickSite1", "&Visit Tarnwick Site", {"internet-web-browser"}, {}, nullptr, false},
        {"About1", "&About", {"help-about"}, {}, "About", false},
        {"BackButton", "Go Up", {"go-up"}, {}, "Go Up", false, key(Qt::Key_Backspace)},
        {"ViewButton", "Change View Style", {"view-list-icons"}, {}, "Change View Style", false},
        {"CreateReport2", "Create &Report", {"office-report"}, {}, nullptr, false},
        {"SearchHere2", "&Search Here", {"edit-find"}, {}, nullptr, false},
        {"FindDuplicates1", "&Find Duplicates", {"edit-copy"}, {}, nullptr, false},
        {"FilesOnlyonThisDisc1", "Files O&nly on This Disc", {"emblem-important"}, {}, nullptr, false},
        {"VerifyDisc2", "&Verify Disc...", {"document-preview", "edit-find"}, {}, nullptr, false},
        {"EditDiscEntry1", "&Edit Disc Entry", {"document-edit"}, {}, nullptr, false},
        {"AddDisc2", "Add &Disc", {"media-optical-data", "media-optical"}, {}, nullptr, false},
        {"AddSubGroup1", "Add Sub-&Group", {"folder-new"}, {}, nullptr, false},
        {"Delete2", "De&lete", {"edit-delete"}, {}, nullptr, false},
        {"BorrowCD1", "Borrow Disc &to...", {"go-next"}, {}, nullptr, false},
        {"ExpandAll1", "Expand &All", {"expand-all", "go-down"}, {}, nullptr, false},
        {"Expand1", "E&xpand", {"arrow-down"}, {}, nullptr, false},
        {"Collapse1", "C&ollapse", {"collapse-all", "go-up"}, {}, nullptr, false},
        {"Execute1", "E&xecute File", {"system-run"}, {}, nullptr, false},
        {"OpeninExplorer1", "&Open in Explorer", {"document-open-folder"}, {}, nullptr, false},
        {"Switch1", "S&witch to Location", {"folder"}, {}, nullptr, false},
        {"ViewProperties1", "View P&roperties", {"document-properties"}, {}, nullptr, false},
        {"CopytoHDD2", "&Copy to Hard-Drive...", {"edit-copy"}, {}, nullptr, false},
        {"AddtoCompilation1",
         "&Add to Compilation",
         {"tools-media-optical-burn"},
         key(Qt::CTRL | Qt::Key_1),
         nullptr,
         false},
        {"CreatePlaylist1", "Create &M3U Playlist", {"view-media-playlist"}, {}, nullptr, false},
    };
    return defs;
}

// A tool button's hint naming its key: "Delete Object (Shift + Del)"; the hint alone without one.
QString toolTip(const QString &hint, const QKeySequence &key)
{
    if (key.isEmpty())
        return hint;
    // Written as the hints have always named keys: "Shift + Del", "Ctrl + D".
    const QKeyCombination k = key[0];
    QStringList parts;
    if (k.keyboardModifiers() & Qt::ControlModifier)
        parts << QStringLiteral("Ctrl");
    if (k.keyboardModifiers() & Qt::AltModifier)
        parts << QStringLiteral("Alt");
    if (k.keyboardModifiers() & Qt::ShiftModifier)
        parts << QStringLiteral("Shift");
    parts << QKeySequence(k.key()).toString(QKeySequence::PortableText);
    return hint + QStringLiteral(" (") + parts.join(QStringLiteral(" + ")) + u')';
}

} // namespace

ActionRegistry::ActionRegistry(QWidget *window) : QObject(window)
{
    for (const ActionDef &d : table()) {
        auto *a = new QAction(QString::fromLatin1(d.text), window);
        const QString name = QString::fromLatin1(d.name);
        a->setObjectName(name);
        if (!d.icons.isEmpty())
            a->setIcon(ThemeIcons::icon(d.icons));
        if (!d.shortcut.isEmpty()) {
            a->setShortcut(d.shortcut);
            a->setShortcutContext(Qt::WindowShortcut);
        }
        if (d.toolTip)
            a->setToolTip(toolTip(QString::fromLatin1(d.toolTip), d.shortcut.isEmpty() ? d.listKey : d.shortcut));
        a->setCheckable(d.checkable);
        window->addAction(a);
        m_actions.insert(name, a);
        m_order.append(name);
        const qsizetype amp = a->text().indexOf(u'&');
        if (amp >= 0)
            m_accessKeys.insert(name, a->text().at(amp + 1));
    }
}

QAction *ActionRegistry::action(const QString &name) const
{
    return m_actions.value(name);
}

void ActionRegistry::setCaption(const QString &name, const QString &text)
{
    QString caption = asIs(text);
    // The key on the first place its letter stands, as written, else in either case.
    if (const QChar key = m_accessKeys.value(name); !key.isNull()) {
        qsizetype at = caption.indexOf(key);
        if (at < 0)
            at = caption.indexOf(key, 0, Qt::CaseInsensitive);
        if (at >= 0)
            caption.insert(at, u'&');
    }
    action(name)->setText(caption);
}

QList<QAction *> ActionRegistry::actions(const QStringList &names) const
{
    QList<QAction *> out;
    for (const QString &n : names)
        out.append(action(n));
    return out;
}

QAction *ActionRegistry::claim(const QString &name)
{
    QAction *a = action(name);
    Q_ASSERT_X(a, "ActionRegistry::claim", qPrintable(name));
    m_claimed.insert(name);
    return a;
}

void ActionRegistry::disableUnclaimed()
{
    for (const QString &name : m_order)
        if (!m_claimed.contains(name))
            m_actions.value(name)->setEnabled(false);
}

void ActionRegistry::addMenu(QMenu *menu)
{
    m_menus.insert(menu->objectName(), menu);
}
