#include "MainWindowLock.h"
#include "ScreenFit.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace
{
// The main window's control that had the focus when the first window disabled it. Shared, since
// a window can take the main window over from another (the busy window from Add Disc).
QPointer<QWidget> focusBefore;
} // namespace

MainWindowLock::MainWindowLock(QWidget *window, QWidget *mainWindow)
    : QObject(window), m_window(window), m_mainWindow(mainWindow)
{
    window->installEventFilter(this);
}

bool MainWindowLock::eventFilter(QObject *watched, QEvent *event)
{
    // Sized for ordinary screens, such a window may run off a small one or under large fonts, its
    // OK out of reach.
    if (watched == m_window && event->type() == QEvent::Show)
        ScreenFit::fit(m_window);
    if (watched == m_window && m_mainWindow) {
        if (event->type() == QEvent::Show) {
            // Disabling the main window takes the focus from its control; it goes back there
            // once the window closes, rather than to the first control (the group tree, where
            // the next arrow key would change the listing). A window shown while the main one is
            // disabled already keeps what the first one noted.
            if (m_mainWindow->isEnabled())
                focusBefore = m_mainWindow->focusWidget();
            m_mainWindow->setEnabled(false);
            // A window child of the main window would be disabled with it.
            m_window->setEnabled(true);
        } else if (event->type() == QEvent::Hide && !m_held) {
            m_mainWindow->setEnabled(true);
            if (focusBefore && focusBefore->window() == m_mainWindow && focusBefore->isVisible() &&
                focusBefore->isEnabled())
                focusBefore->setFocus(Qt::OtherFocusReason);
        }
    }
    return QObject::eventFilter(watched, event);
}
