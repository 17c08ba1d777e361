#pragma once

#include <QString>
#include <QtGlobal>

// The socket's states. The values and their texts are what the status label
// shows, so they never change.
namespace SocketState {
constexpr qint16 Closed = 0;
constexpr qint16 Open = 1;
constexpr qint16 Listening = 2;
constexpr qint16 ConnectionPending = 3;
constexpr qint16 ResolvingHost = 4;
constexpr qint16 HostResolved = 5;
constexpr qint16 Connecting = 6;
constexpr qint16 Connected = 7;
constexpr qint16 Closing = 8;
constexpr qint16 Error = 9;
} // namespace SocketState

// "Closed" for 0 through "Error" for 9; a null QString for any other value.
QString socketStateText(qint16 state);
