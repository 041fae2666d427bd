#include "MainWindowLock.h"

#include <QEvent>
#include <QWidget>

MainWindowLock::MainWindowLock(QWidget *window, QWidget *mainWindow)
    : QObject(window), m_window(window), m_mainWindow(mainWindow)
{
    window->installEventFilter(this);
}

bool MainWindowLock::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && m_mainWindow) {
        if (event->type() == QEvent::Show) {
            m_mainWindow->setEnabled(false);
            // A window child of the main window would be disabled with it.
            m_window->setEnabled(true);
        } else if (event->type() == QEvent::Hide && !m_held) {
            m_mainWindow->setEnabled(true);
        }
    }
    return QObject::eventFilter(watched, event);
}
