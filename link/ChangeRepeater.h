#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class SocketControl;

// Sends the drive command again a few times shortly after each change.
//
// On a lossy link a lost two-byte command otherwise waits for TCP's
// retransmit timer, a fifth of a second or more, and every later command
// waits behind it. A copy sent a little later arrives out of order, the peer
// acknowledges it at once, and that tells our side to resend the lost one
// straight away. Each copy is the command of the moment it goes out, so the
// last code on the wire is always the last key's, and the car only ever sees
// commands it already receives once a second.
class ChangeRepeater : public QObject {
    Q_OBJECT

public:
    // currentCode gives the drive code to send now; the code it gives at
    // construction (a stop, with no key down) counts as already sent, so the
    // once-a-second stops of an idle link are not taken for a change.
    ChangeRepeater(SocketControl* socket, std::function<int()> currentCode,
                   QObject* parent = nullptr);

    // Tells the repeater that `code` has just been sent. A code other than
    // the last one starts the copies afresh; the same code again (a held
    // key's auto-repeat, the once-a-second send) leaves them as they are.
    void sent(int code);

private:
    void sendCopy();
    void scheduleNext();

    SocketControl* m_socket;
    std::function<int()> m_currentCode;
    QTimer m_timer;
    int m_lastCode = 0;
    // Copies already sent since the last change.
    int m_copies = 0;
};
