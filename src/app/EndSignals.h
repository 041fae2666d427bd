#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QSocketNotifier;
class QWidget;

// SIGTERM (a logout or shutdown), SIGHUP (the terminal gone) and SIGINT (Ctrl+C) end the run
// as File > Exit does: the main window closes, which writes everything the run changed, and
// the application quits, ending a dialog that may still be open. The handler only writes the
// signal into a socket; the rest runs in the event loop, where anything may be done. One at a
// time; the signals' earlier handling comes back when it goes.
class EndSignals : public QObject
{
    Q_OBJECT
public:
    explicit EndSignals(QObject *parent = nullptr);
    ~EndSignals() override;

    // The window a signal closes, after beforeClose has run; until it is set, a signal waits in
    // the socket.
    void closes(QWidget *window, std::function<void()> beforeClose = {});
    // A signal came: the window is closed. When it came before the main loop ran, the
    // application's quit was lost, and the caller must not start the loop.
    bool ended() const { return m_ended; }

private:
    void arrived();

    QSocketNotifier *m_notifier = nullptr;
    QPointer<QWidget> m_window;
    std::function<void()> m_beforeClose;
    bool m_ended = false;
};
