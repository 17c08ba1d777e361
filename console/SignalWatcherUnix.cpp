#include "console/SignalWatcher.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Logout and kill (SIGTERM), the terminal closing (SIGHUP) and Ctrl+C
// (SIGINT) all ask the program to stop.
constexpr std::array<int, 3> kStopSignals = {SIGTERM, SIGHUP, SIGINT};

// The self-pipe: the handler may only do async-signal-safe things, so it
// writes one byte and the event loop does the rest.
int g_pipe[2] = {-1, -1};

extern "C" void onStopSignal(int signal)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

void setFlags(int fd)
{
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void install(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

bool ignoredAtStart(int signal)
{
    struct sigaction current {};
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
    if (::pipe(g_pipe) == 0) {
        setFlags(g_pipe[0]);
        setFlags(g_pipe[1]);
        m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::drain);
        // A signal ignored by whoever started us stays ignored: that is how
        // nohup keeps a program running after its terminal closes.
        for (const int signal : kStopSignals) {
            if (!ignoredAtStart(signal)) {
                install(signal, onStopSignal);
                m_watched |= 1U << signal;
            }
        }
    }
    // A peer that vanishes while we send must not kill us.
    install(SIGPIPE, SIG_IGN);
}

SignalWatcher::~SignalWatcher()
{
    if (g_pipe[0] < 0)
        return;
    for (const int signal : kStopSignals) {
        if ((m_watched & (1U << signal)) != 0)
            install(signal, SIG_DFL);
    }
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SignalWatcher::drain()
{
    unsigned char bytes[16];
    bool any = false;
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0)
        any = true;
    if (any)
        emit stopRequested();
}
