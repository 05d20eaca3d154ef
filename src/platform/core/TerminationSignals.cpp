#include "platform/core/TerminationSignals.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array handled{SIGTERM, SIGHUP, SIGINT};
volatile sig_atomic_t writeEnd = -1;

void onSignal(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    if (writeEnd >= 0)
        (void)!::write(writeEnd, &number, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_sockets) != 0)
        return;
    m_notifier = new QSocketNotifier(m_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);
    writeEnd = m_sockets[0];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handled)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (const int signal : handled)
        std::signal(signal, SIG_DFL);
    writeEnd = -1;
    for (const int fd : m_sockets)
        if (fd >= 0)
            ::close(fd);
}

void TerminationSignals::readSignals()
{
    char numbers[16];
    for (ssize_t count; (count = ::read(m_sockets[1], numbers, sizeof numbers)) > 0;)
        for (ssize_t i = 0; i < count; ++i)
            Q_EMIT received(numbers[i]);
}
