#include "tools/carsim/SignalWatcher.h"

#include <csignal>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

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

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
    if (::pipe(g_pipe) == 0) {
        setFlags(g_pipe[0]);
        setFlags(g_pipe[1]);
        m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::drain);
        install(SIGINT, onStopSignal);
        install(SIGTERM, onStopSignal);
    }
    // A client that vanishes while junk is being sent must not kill us.
    install(SIGPIPE, SIG_IGN);
}

SignalWatcher::~SignalWatcher()
{
    if (g_pipe[0] < 0)
        return;
    install(SIGINT, SIG_DFL);
    install(SIGTERM, SIG_DFL);
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

#else

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <windows.h>

namespace {

// Without a pipe to wake the event loop, the handler only raises a flag that
// a short timer looks at.
std::atomic<bool> g_stop{false};

extern "C" void onStopSignal(int)
{
    g_stop = true;
}

// Windows asks a program to stop (QProcess::terminate(), taskkill without
// /f) by posting WM_CLOSE to its windows and to its main thread. A console
// program has no window, so the message arrives at the thread, where
// nothing would ever look at it but this filter.
class CloseMessageFilter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override
    {
        const auto* msg = static_cast<const MSG*>(message);
        if (msg->hwnd != nullptr || msg->message != WM_CLOSE)
            return false;
        g_stop = true;
        return true;
    }
};

CloseMessageFilter g_closeFilter;

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent), m_poll(new QTimer(this))
{
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    QCoreApplication::instance()->installNativeEventFilter(&g_closeFilter);
    connect(m_poll, &QTimer::timeout, this, &SignalWatcher::drain);
    m_poll->start(100);
}

SignalWatcher::~SignalWatcher()
{
    QCoreApplication::instance()->removeNativeEventFilter(&g_closeFilter);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void SignalWatcher::drain()
{
    if (g_stop.exchange(false))
        emit stopRequested();
}

#endif
