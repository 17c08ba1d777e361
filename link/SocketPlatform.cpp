#include "link/SocketPlatform.h"

#include "link/NativeAddress.h"

#include <QNetworkInterface>

#include <cstring>
#include <utility>

// What the platforms share: each one's file holds only what differs.

NativeAddress nativeAddress(const QHostAddress& address, quint16 port)
{
    NativeAddress result;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&result.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        if (!address.scopeId().isEmpty())
            in6->sin6_scope_id = decltype(in6->sin6_scope_id)(
                QNetworkInterface::interfaceIndexFromName(address.scopeId()));
        result.length = socklen_t(sizeof(sockaddr_in6));
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&result.storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        result.length = socklen_t(sizeof(sockaddr_in));
    }
    return result;
}

namespace SocketPlatform {

PendingConnect::~PendingConnect()
{
    stopWatching();
    closeHandle(m_handle);
}

void PendingConnect::finishLater()
{
    QMetaObject::invokeMethod(this, &PendingConnect::finished, Qt::QueuedConnection);
}

void PendingConnect::stopWatching()
{
    // Disabled at once: a notifier left on would keep firing (a connected
    // socket stays writable) until it is gone.
    disableWatch();
    // Later, not now: this may run inside the notifier's own signal.
    if (m_watch)
        m_watch->deleteLater();
    m_watch = nullptr;
}

} // namespace SocketPlatform
