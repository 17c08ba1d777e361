#include "link/LinkFigures.h"

#if defined(Q_OS_LINUX)
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

std::optional<LinkFigures> readLinkFigures(SocketPlatform::Handle handle)
{
#if defined(Q_OS_LINUX)
    if (handle == SocketPlatform::NoHandle)
        return std::nullopt;
    const int descriptor = int(handle);
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(descriptor, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < socklen_t(offsetof(tcp_info, tcpi_rtt) + sizeof info.tcpi_rtt) ||
        info.tcpi_state != TCP_ESTABLISHED)
        return std::nullopt;
    // The bytes written and not yet acknowledged, sent or not. tcpi_unacked
    // counts segments instead, and a retransmission may put several
    // commands in one, so it cannot tell which command is the oldest.
    int queued = 0;
    if (::ioctl(descriptor, SIOCOUTQ, &queued) != 0)
        return std::nullopt;
    LinkFigures figures;
    figures.roundTripUs = info.tcpi_rtt;
    figures.unacknowledgedBytes = queued;
    return figures;
#else
    // Other systems offer their figures in ways of their own; none is read
    // yet, so the line stays empty there.
    Q_UNUSED(handle);
    return std::nullopt;
#endif
}
