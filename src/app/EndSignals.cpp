#include "EndSignals.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr int Ends[] = {SIGTERM, SIGHUP, SIGINT};
int g_socket[2] = {-1, -1};
struct sigaction g_before[std::size(Ends)];

extern "C" void onEndSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    // The socket does not block: when it is full, a byte is already waiting, which is all it takes.
    [[maybe_unused]] const ssize_t n = ::write(g_socket[1], &byte, 1);
    errno = saved;
}

} // namespace

EndSignals::EndSignals(QObject *parent) : QObject(parent)
{
    Q_ASSERT(g_socket[0] < 0);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_socket) != 0) {
        // Without it the signals keep their usual effect; the run itself goes on.
        qWarning("Quillory!: the window cannot save its work on a termination signal: %s", std::strerror(errno));
        g_socket[0] = g_socket[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_socket[0], QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::arrived);
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(Ends); ++i)
        ::sigaction(Ends[i], &action, &g_before[i]);
}

EndSignals::~EndSignals()
{
    if (g_socket[0] < 0)
        return;
    for (size_t i = 0; i < std::size(Ends); ++i)
        ::sigaction(Ends[i], &g_before[i], nullptr);
    delete m_notifier;
    ::close(g_socket[0]);
    ::close(g_socket[1]);
    g_socket[0] = g_socket[1] = -1;
}

void EndSignals::closes(QWidget *window, std::function<void()> beforeClose)
{
    m_window = window;
    m_beforeClose = std::move(beforeClose);
    if (m_notifier)
        m_notifier->setEnabled(true);
}

void EndSignals::arrived()
{
    char bytes[64];
    while (::read(g_socket[0], bytes, sizeof bytes) > 0) {
    }
    m_ended = true;
    // A dialog that waits for an answer (the first-run question, an edit) ends as cancelled; the
    // application's quit below would end it so too, but only once the main loop runs.
    QWidget *before = nullptr;
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (modal == before)
            break; // it refuses to go
        before = modal;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    }
    if (m_window) {
        if (m_beforeClose)
            m_beforeClose();
        m_window->close();
    }
    QCoreApplication::quit();
}
