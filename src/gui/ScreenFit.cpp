#include "ScreenFit.h"

#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace ScreenFit
{

QMargins frameMargins(const QWidget *window)
{
    const QRect outer = window->frameGeometry(), inner = window->geometry();
    QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                     outer.bottom() - inner.bottom());
    if (margins.isNull())
        margins.setTop(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
    return margins;
}

QRect onto(const QScreen *screen, const QRect &bounds, const QMargins &frame)
{
    if (!screen)
        return bounds;
    const QRect area = screen->availableGeometry().marginsRemoved(frame);
    const QSize size = bounds.size().boundedTo(area.size());
    return {std::clamp(bounds.x(), area.left(), area.right() + 1 - size.width()),
            std::clamp(bounds.y(), area.top(), area.bottom() + 1 - size.height()), size.width(), size.height()};
}

void leastSizeWithin(QWidget *window, const QScreen *screen)
{
    if (!screen)
        return;
    const QSize room = screen->availableGeometry().size().shrunkBy(frameMargins(window));
    if (room.isEmpty())
        return;
    if (window->minimumWidth() > room.width() || window->minimumHeight() > room.height())
        window->setMinimumSize(window->minimumSize().boundedTo(room));
    if (window->width() > room.width() || window->height() > room.height())
        window->resize(window->size().boundedTo(room));
}

void fit(QWidget *window)
{
    const QMargins frame = frameMargins(window);
    leastSizeWithin(window, window->screen());
    const QRect bounds = window->geometry();
    const QRect fitted = onto(window->screen(), bounds, frame);
    if (fitted != bounds)
        window->setGeometry(fitted);
}

} // namespace ScreenFit
