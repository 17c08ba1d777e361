#pragma once

#include <QHostAddress>

#if defined(Q_OS_WIN)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

// address:port in the form the system's socket calls take, the same on Unix
// and Windows.
struct NativeAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

NativeAddress nativeAddress(const QHostAddress& address, quint16 port);
