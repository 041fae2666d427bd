#include "ThemeIcons.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIconEngine>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

namespace ThemeIcons
{

namespace
{

const char *const BoundFiles = "quilloryIconFiles";

QHash<QString, QImage> &skin()
{
    static QHash<QString, QImage> bitmaps;
    return bitmaps;
}

// The drawings' outlines are one dark ink, which a dark palette's background would swallow:
// there they are drawn in the palette's own text colour.
constexpr QLatin1StringView Ink("#2e3440");

class InkedDrawing : public QIconEngine
{
public:
    explicit InkedDrawing(QByteArray svg) : m_svg(std::move(svg)) {}
    QIconEngine *clone() const override { return new InkedDrawing(m_svg); }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device()->devicePixelRatioF();
        painter->drawPixmap(rect, scaledPixmap(rect.size() * scale, mode, state, scale));
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    // size is in the device's pixels, as QIcon asks.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            QSvgRenderer(m_svg).render(&painter, QRectF(QPointF(), QSizeF(image.size())));
        }
        QPixmap out = QPixmap::fromImage(image);
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QApplication::palette();
            out = QApplication::style()->generatedIconPixmap(mode, out, &option);
        }
        out.setDevicePixelRatio(scale);
        return out;
    }

private:
    QByteArray m_svg;
};

bool darkPalette()
{
    return QApplication::palette().color(QPalette::Window).lightness() < 128;
}

QIcon drawing(const QString &path)
{
    const QPalette palette = QApplication::palette();
    if (!darkPalette())
        return QIcon(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QIcon(path);
    QByteArray svg = file.readAll();
    svg.replace(QByteArray(Ink.data(), Ink.size()), palette.color(QPalette::WindowText).name().toLatin1());
    return QIcon(new InkedDrawing(std::move(svg)));
}

// The built-in drawing of a skin file: "add_disc_small.bmp" and "add_disc_big.bmp" share
// "add_disc.svg".
QString drawingOf(const QString &file)
{
    QString base = file;
    base.chop(4); // ".bmp"
    for (const QLatin1String suffix : {QLatin1String("_small"), QLatin1String("_big")})
        if (base.endsWith(suffix))
            base.chop(suffix.size());
    return QStringLiteral(":/icons/commands/") + base + QLatin1String(".svg");
}

// The main window's controls with a command icon: the menus' actions, the submenus, the
// tool-bar buttons without an action of their own and the compilation panel's buttons.
const QHash<QString, QStringList> &commandTable()
{
    static const QHash<QString, QStringList> table = [] {
        QHash<QString, QStringList> t;
        const auto row = [&t](std::initializer_list<const char *> names, const char *small, const char *large) {
            for (const char *n : names)
                t.insert(QString::fromLatin1(n), {QString::fromLatin1(small), QString::fromLatin1(large)});
        };
        row({"About1"}, "about_small.bmp", "about_big.bmp");
        row({"AddDisc1"}, "add_disc_small.bmp", "add_disc_big.bmp");
        row({"AddDisc2"}, "add_disc_small.bmp", "");
        row({"AddGroup1", "AddSubGroup1"}, "add_group.bmp", "");
        row({"Collapse1"}, "collapse.bmp", "");
        row({"CopytoHDD1"}, "copy_to_small.bmp", "copy_to_big.bmp");
        row({"CopytoHDD2"}, "copy_to_small.bmp", "");
        row({"Delete1"}, "delete_small.bmp", "delete_big.bmp");
        row({"Delete2", "CompilationDeleteButton"}, "delete_small.bmp", "");
        row({"EditDiscEntry1"}, "edit_disc.bmp", "");
        row({"Exit1"}, "exit.bmp", "");
        row({"Expand1"}, "expand.bmp", "");
        row({"ExpandAll1"}, "expand_all.bmp", "");
        row({"OpeninExplorer1"}, "explorer.bmp", "");
        row({"ExportAllData1"}, "export.bmp", "");
        row({"Search1"}, "find_small.bmp", "find_big.bmp");
        row({"SearchHere2"}, "find_small.bmp", "");
        row({"VisitTarnwickSite1"}, "globe.bmp", "");
        row({"Contents1"}, "help_small.bmp", "help_big.bmp");
        row({"ToggleObjectInfo1"}, "info_small.bmp", "info_big.bmp");
        row({"ViewProperties1"}, "info_small.bmp", "");
        row({"Preferences1"}, "options.bmp", "");
        row({"Report1"}, "report_small.bmp", "report_big.bmp");
        row({"CreateReport2", "ClearButton"}, "report_small.bmp", "");
        row({"Execute1"}, "run.bmp", "");
        row({"Theme1"}, "skin.bmp", "");
        row({"View1", "View2"}, "view_small.bmp", "");
        row({"ViewButton"}, "view_small.bmp", "view_big.bmp");
        row({"CreatePlaylist1"}, "winamp.bmp", "");
        row({"Switch1"}, "folder.bmp", "");
        row({"ArrangeIcons1", "ArrangeIcons2"}, "arrange.bmp", "");
        row({"ImportDatabase1"}, "import.bmp", "");
        row({"AddtoCompilation1", "BurnButton"}, "burn.bmp", "");
        row({"ToggleCompilation1"}, "compilation_small.bmp", "compilation_big.bmp");
        row({"CheckforUpdate1"}, "update.bmp", "");
        row({"BorrowCD1"}, "borrow.bmp", "");
        row({"BackButton"}, "", "go_up.bmp");
        row({"FavoritesButton"}, "", "favorites.bmp");
        return t;
    }();
    return table;
}

void setIconOn(QObject *target, const QIcon &icon)
{
    if (auto *menu = qobject_cast<QMenu *>(target))
        menu->menuAction()->setIcon(icon);
    else if (auto *action = qobject_cast<QAction *>(target))
        action->setIcon(icon);
    else if (auto *button = qobject_cast<QAbstractButton *>(target))
        button->setIcon(icon);
}

// A control belongs to the main window itself (its menus included), not to one of the dialogs
// it owns, whose controls may share a name with it.
bool onWindow(QObject *o, QWidget *window)
{
    for (QObject *p = o; p && p != window; p = p->parent())
        if (p->isWidgetType() && static_cast<QWidget *>(p)->isWindow() && !qobject_cast<QMenu *>(p))
            return false;
    return true;
}

} // namespace

void setUp()
{
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString &p : {QStringLiteral("/usr/share/icons"), QStringLiteral("/usr/local/share/icons"),
                             QDir::homePath() + QStringLiteral("/.local/share/icons")})
        if (!paths.contains(p) && QDir(p).exists())
            paths.append(p);
    QIcon::setThemeSearchPaths(paths);
    const QString current = QIcon::themeName();
    // Its light glyphs on a dark palette, which the dark ones would vanish on.
    const QString breeze = darkPalette() ? QStringLiteral("breeze-dark") : QStringLiteral("breeze");
    if (current.isEmpty() || current == QLatin1String("hicolor") ||
        !QDir(QStringLiteral("/usr/share/icons/") + current).exists())
        QIcon::setThemeName(breeze);
    // The desktop's own theme (Adwaita, say) lacks many of the names asked for: breeze, which the
    // program depends on, answers for them rather than a blank page.
    QIcon::setFallbackThemeName(breeze);
}

QIcon icon(const QStringList &names)
{
    for (const QString &n : names)
        if (!n.isEmpty() && QIcon::hasThemeIcon(n))
            return QIcon::fromTheme(n);
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

QIcon driveIcon(DriveKind kind)
{
    switch (kind) {
    case DriveKind::CDROM:
        return icon({QStringLiteral("drive-optical"), QStringLiteral("media-optical")});
    case DriveKind::Removable:
        return icon({QStringLiteral("drive-removable-media-usb"), QStringLiteral("drive-removable-media")});
    default:
        return icon({QStringLiteral("drive-harddisk")});
    }
}

QIcon commandIcon(const QString &smallFile, const QString &largeFile)
{
    const QHash<QString, QImage> &bitmaps = skin();
    if (bitmaps.isEmpty()) {
        // One drawing serves both sizes; the SVG engine renders it sharp at every scale.
        const QString file = smallFile.isEmpty() ? largeFile : smallFile;
        return file.isEmpty() ? QIcon() : drawing(drawingOf(file));
    }
    QIcon out;
    for (const QString &file : {smallFile, largeFile})
        if (!file.isEmpty() && bitmaps.contains(file))
            out.addPixmap(QPixmap::fromImage(bitmaps.value(file)));
    return out;
}

void bind(QObject *target, const QString &smallFile, const QString &largeFile)
{
    target->setProperty(BoundFiles, QStringList{smallFile, largeFile});
    setIconOn(target, commandIcon(smallFile, largeFile));
}

void useSkin(const QHash<QString, QImage> &bitmaps)
{
    skin() = bitmaps;
}

bool skinInUse()
{
    return !skin().isEmpty();
}

void refresh(QWidget *window)
{
    for (QObject *o : window->findChildren<QObject *>()) {
        QStringList files = o->property(BoundFiles).toStringList();
        if (files.isEmpty() && !o->objectName().isEmpty() && onWindow(o, window))
            files = commandTable().value(o->objectName());
        if (files.size() == 2)
            setIconOn(o, commandIcon(files.at(0), files.at(1)));
    }
    // Menus that are open now show the new icons at once.
    for (QMenu *menu : window->findChildren<QMenu *>())
        if (menu->isVisible())
            menu->update();
}

} // namespace ThemeIcons
