#include "signalquit.h"

#include "applogging.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    // Nothing else is safe here; a full pipe already holds a quit.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

} // namespace

SignalQuit::SignalQuit(QObject *parent)
    : QObject(parent)
{
    if (g_pipe[0] >= 0)
        return; // one per process
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        qCWarning(lcApp).noquote()
            << "SIGINT and SIGTERM will not save the session:" << std::strerror(errno);
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalQuit::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

SignalQuit::~SignalQuit()
{
    if (!m_notifier)
        return;
    // Back to the default: a signal after the loop ended kills at once.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SignalQuit::readSignal()
{
    char bytes[16];
    while (::read(g_pipe[1], bytes, sizeof bytes) > 0) {
    }
    qCInfo(lcApp) << "quitting on a signal";
    QCoreApplication::quit();
}
