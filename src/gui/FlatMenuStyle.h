#pragma once

#include <QProxyStyle>

// The flat menu look of the main window: menus with a thin single-line frame, a shaded band
// behind the icons, and a flat, lightly tinted bar with a one-pixel outline under the item
// the mouse is on, in menus and in the menu bar alike. Everything else is the platform style's.
class FlatMenuStyle : public QProxyStyle
{
    Q_OBJECT
public:
    // Wraps the application's default style.
    FlatMenuStyle();

    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;

    // The width of the shaded band behind the menu icons.
    static int gutterWidth();
    // The fill of the item under the mouse: the highlight, faded toward the menu's background.
    static QColor hoverFill(const QPalette &palette);
};
