#include "support/HardReset.h"

#include <QTcpSocket>

#if defined(Q_OS_WIN)
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

bool resetConnection(QTcpSocket* socket)
{
    // Lingering on for no time at all makes the close send a reset.
#if defined(Q_OS_WIN)
    const linger hard{1, 0};
    const bool set = ::setsockopt(SOCKET(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                                  reinterpret_cast<const char*>(&hard), int(sizeof hard)) == 0;
#else
    const linger hard{1, 0};
    const bool set = ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                                  sizeof hard) == 0;
#endif
    socket->abort();
    return set;
}
