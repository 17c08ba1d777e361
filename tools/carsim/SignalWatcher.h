#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, so
// the simulator can finish its output and print the summary before it
// exits. Only one may exist at a time.
class SignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void stopRequested();

private:
    void drain();

#ifdef Q_OS_UNIX
    QSocketNotifier* m_notifier = nullptr;
#else
    QTimer* m_poll = nullptr;
#endif
};
