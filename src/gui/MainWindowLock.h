#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// A window that must not run beside the main window disables it while shown and enables it
// again once hidden, with the focus back on the control that had it; shown, it is kept whole on
// its screen. One object watches the window's show and hide, so
// every such dialog keeps the rule the same way.
class MainWindowLock : public QObject
{
    Q_OBJECT
public:
    // Watches `window`; mainWindow may be null (a dialog used on its own in a test).
    MainWindowLock(QWidget *window, QWidget *mainWindow);

    // While held, hiding the window leaves the main window disabled: another window of the
    // same work (the busy window of a scan) takes over.
    void setHeld(bool held) { m_held = held; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    QPointer<QWidget> m_mainWindow;
    bool m_held = false;
};
