#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

// Turns a request to stop from outside (SIGTERM, SIGHUP and SIGINT; on
// Windows SIGINT, SIGTERM and a WM_CLOSE posted to the main thread) into a
// Qt signal delivered by the event loop, so that a program can end its run
// in order: Velmora closes its link and saves, the simulator prints its
// summary. Only one may exist at a time.
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
    // Bit n set: signal n is handled here, and set back to its default after.
    unsigned m_watched = 0;
#else
    QTimer* m_poll = nullptr;
#endif
};
