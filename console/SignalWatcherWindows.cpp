#include "console/SignalWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
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
