#pragma once

#include <QMargins>
#include <QRect>

class QScreen;
class QWidget;

// Keeping a window whole on a screen, frame and title bar included, so that every edge and button
// of it can be reached: on a small screen, with large fonts, or with bounds saved on another desktop.
namespace ScreenFit
{

// The frame the window manager draws round the window: as it has told it, or, before the window
// is framed, a title bar's height above it.
QMargins frameMargins(const QWidget *window);

// The bounds cut to the screen's free area and moved inside it, frame included.
QRect onto(const QScreen *screen, const QRect &bounds, const QMargins &frame);

// A least size made for ordinary screens (the main window's 640 x 480), doubled by a scale factor
// on a small screen, would hold the status bar and the edges off it for good: it is cut to the
// screen's free area, frame included.
void leastSizeWithin(QWidget *window, const QScreen *screen);

// Shrinks and moves a window about to be shown onto its screen, when it would run off it.
void fit(QWidget *window);

} // namespace ScreenFit
