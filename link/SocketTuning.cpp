#include "link/SocketTuning.h"

#if defined(Q_OS_UNIX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

void tuneForLossyLink(qintptr descriptor)
{
    if (descriptor == -1)
        return;
#if defined(TCP_THIN_LINEAR_TIMEOUTS)
    // With so little data in flight, a lost retransmission would otherwise
    // double the wait for the next one each time; a stop must not sit out a
    // backoff of seconds. Linux only; Windows has no such option.
    const int on = 1;
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_THIN_LINEAR_TIMEOUTS, &on, sizeof on);
#endif
}
