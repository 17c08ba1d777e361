#pragma once

#include "link/LinkText.h"
#include "link/SocketPlatform.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>

class SocketControl;

// Watches how the car hears the commands on the socket's open connection,
// from the figures the operating system keeps for it, and keeps the line
// that tells the driver. Any window may show it: read status() and follow
// changed().
//
// It reads the figures at each send and, only while a command waits for its
// acknowledgement, a few times a second; an idle link costs nothing more.
class LinkWatch : public QObject {
    Q_OBJECT

public:
    explicit LinkWatch(SocketControl* socket, QObject* parent = nullptr);

    LinkStatus status() const { return m_status; }

signals:
    // Emitted when the line changes, at most four times a second but for
    // the line going empty, which comes at once.
    void changed(const LinkStatus& status);

private:
    struct Send {
        qint64 atMs;
        qint64 bytes;
    };

    void onSent(SocketPlatform::Handle handle, qint64 bytes);
    void onStateChanged(qint16 state);
    void refresh();
    // Forgets the sends the car has acknowledged, given how many bytes
    // still wait.
    void dropAcknowledged(qint64 waitingBytes);
    void show(const LinkStatus& status, qint64 nowMs);

    SocketControl* m_socket;
    SocketPlatform::Handle m_handle = SocketPlatform::NoHandle;
    // The sends not known to be acknowledged, oldest first.
    std::deque<Send> m_sends;
    QElapsedTimer m_clock;
    QTimer m_poll;
    LinkStatus m_status;
    qint64 m_shownAtMs = 0;
};
