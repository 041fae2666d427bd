#include "FlatMenuStyle.h"

#include <QPainter>
#include <QStyleOptionMenuItem>

FlatMenuStyle::FlatMenuStyle() : QProxyStyle() {}

int FlatMenuStyle::gutterWidth()
{
    return 26;
}

namespace
{
// One part of over on parts - 1 of under.
QColor mix(const QColor &over, const QColor &under, int parts)
{
    const auto blend = [parts](int a, int b) { return (a + (parts - 1) * b) / parts; };
    return QColor(blend(over.red(), under.red()), blend(over.green(), under.green()), blend(over.blue(), under.blue()));
}
} // namespace

QColor FlatMenuStyle::hoverFill(const QPalette &palette)
{
    // A quarter of the highlight over the background keeps the item's text readable as it is.
    return mix(palette.color(QPalette::Highlight), palette.color(QPalette::Window), 4);
}

int FlatMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    switch (metric) {
    case PM_MenuPanelWidth:
        return 1;
    case PM_MenuBarPanelWidth:
        return 0;
    case PM_SmallIconSize:
        return 16;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

void FlatMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                  const QWidget *widget) const
{
    if (element == PE_FrameMenu || element == PE_PanelMenu) {
        painter->save();
        if (element == PE_PanelMenu)
            painter->fillRect(option->rect, option->palette.color(QPalette::Active, QPalette::Base));
        painter->setPen(option->palette.color(QPalette::Mid));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void FlatMenuStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (element == CE_MenuItem && item) {
        // One background for every item, a disabled one's too: the colours of the active group.
        const QPalette &p = item->palette;
        painter->save();
        painter->fillRect(item->rect, p.color(QPalette::Active, QPalette::Base));
        // The gutter sits under the icons, on the right in a right-to-left layout.
        const QRect gutter = visualRect(item->direction, item->rect,
                                        QRect(item->rect.topLeft(), QSize(gutterWidth(), item->rect.height())));
        painter->fillRect(gutter, p.color(QPalette::Active, QPalette::Button));
        const bool hot = (item->state & State_Selected) && (item->state & State_Enabled);
        if (hot && item->menuItemType != QStyleOptionMenuItem::Separator) {
            const QRect bar = item->rect.adjusted(1, 0, -2, -1);
            painter->fillRect(bar, hoverFill(p));
            painter->setPen(p.color(QPalette::Highlight));
            painter->drawRect(bar);
        }
        // A checked item with an icon shows its state as a frame round the icon, drawn here: the
        // platform style would draw its own on the see-through colours below, black.
        const bool framedCheck = item->checked && !item->icon.isNull();
        if (framedCheck) {
            const QRect frame = gutter.adjusted(2, 1, -3, -2);
            painter->fillRect(frame, hoverFill(p));
            painter->setPen(p.color(QPalette::Highlight));
            painter->drawRect(frame);
        }
        painter->restore();
        if (item->menuItemType == QStyleOptionMenuItem::Separator) {
            painter->save();
            // Mid is nearly the background under some dark palettes: a third of the text's colour.
            painter->setPen(
                mix(p.color(QPalette::Active, QPalette::WindowText), p.color(QPalette::Active, QPalette::Base), 3));
            const int y = item->rect.center().y();
            const QRect line =
                visualRect(item->direction, item->rect,
                           QRect(QPoint(item->rect.left() + gutterWidth() + 4, y), QPoint(item->rect.right() - 2, y)));
            painter->drawLine(line.left(), y, line.right(), y);
            painter->restore();
            return;
        }
        // The platform style draws icon, check, text and shortcut, on our background.
        QStyleOptionMenuItem flat = *item;
        flat.state &= ~State_Selected;
        if (framedCheck)
            flat.checked = false;
        flat.palette.setColor(QPalette::Window, Qt::transparent);
        flat.palette.setColor(QPalette::Base, Qt::transparent);
        flat.palette.setBrush(QPalette::Button, Qt::transparent);
        QProxyStyle::drawControl(element, &flat, painter, widget);
        return;
    }
    if (element == CE_MenuBarItem && item) {
        const bool hot = (item->state & (State_Selected | State_Sunken)) && (item->state & State_Enabled);
        QStyleOptionMenuItem flat = *item;
        flat.state &= ~(State_Selected | State_Sunken);
        painter->fillRect(item->rect, item->palette.color(QPalette::Window));
        if (hot) {
            const QRect bar = item->rect.adjusted(0, 0, -1, -1);
            painter->fillRect(bar, hoverFill(item->palette));
            painter->save();
            painter->setPen(item->palette.color(QPalette::Highlight));
            painter->drawRect(bar);
            painter->restore();
        }
        QProxyStyle::drawControl(element, &flat, painter, widget);
        return;
    }
    if (element == CE_MenuBarEmptyArea) {
        painter->fillRect(option->rect, option->palette.color(QPalette::Window));
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}
