#include "link/LinkFigures.h"

// winsock2.h first: mstcpip.h uses its types without including it.
#include <winsock2.h>

#include <mstcpip.h>

namespace {

// Windows 10 version 1703 and later answer this control code; MinGW's
// headers declare it and its structure only for builds that require that
// version, so both are spelled out here as Microsoft documents them.
constexpr DWORD TcpInfoCode = IOC_INOUT | IOC_VENDOR | 39;

struct TcpInfoVersion0 {
    int State;
    ULONG Mss;
    ULONG64 ConnectionTimeMs;
    BOOLEAN TimestampsEnabled;
    ULONG RttUs;
    ULONG MinRttUs;
    ULONG BytesInFlight;
    ULONG Cwnd;
    ULONG SndWnd;
    ULONG RcvWnd;
    ULONG RcvBuf;
    ULONG64 BytesOut;
    ULONG64 BytesIn;
    ULONG BytesReordered;
    ULONG BytesRetrans;
    ULONG FastRetrans;
    ULONG DupAcksIn;
    ULONG TimeoutEpisodes;
    UCHAR SynRetrans;
};

// TCPSTATE's value for an established connection.
constexpr int Established = 4;

} // namespace

std::optional<LinkFigures> readLinkFigures(SocketPlatform::Handle handle)
{
    if (handle == SocketPlatform::NoHandle)
        return std::nullopt;
    DWORD version = 0;
    TcpInfoVersion0 info{};
    DWORD returned = 0;
    // Synchronous: no overlapped structure and no completion routine.
    if (::WSAIoctl(SOCKET(handle), TcpInfoCode, &version, sizeof version, &info, sizeof info,
                   &returned, nullptr, nullptr) != 0)
        return std::nullopt;
    // A system that answers with less than the whole structure, or for a
    // connection that is no longer established, tells nothing to rely on.
    if (returned < sizeof info || info.State != Established)
        return std::nullopt;
    LinkFigures figures;
    figures.roundTripUs = info.RttUs;
    figures.unacknowledgedBytes = info.BytesInFlight;
    return figures;
}
