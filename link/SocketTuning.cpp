#include "link/SocketTuning.h"

#if defined(Q_OS_UNIX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

#if defined(Q_OS_LINUX)
// Linux 6.15 and later let a socket lower its own least retransmit timeout;
// the C library's headers may not name the option yet. Older kernels refuse
// it and keep their default of 200 ms.
#if !defined(TCP_RTO_MIN_US)
constexpr int TCP_RTO_MIN_US = 45;
#endif
// The kernel adds the measured round trip to this, so on a slow link the
// timeout still grows to fit; on a quick one a lost stop is sent again after
// a fiftieth of a second instead of a fifth.
constexpr int leastRetransmitTimeoutUs = 20000;
#endif

} // namespace

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
#if defined(Q_OS_LINUX)
    const int microseconds = leastRetransmitTimeoutUs;
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_RTO_MIN_US, &microseconds, sizeof microseconds);
#endif
}
