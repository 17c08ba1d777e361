#include "link/SocketControl.h"

QString socketStateText(qint16 state)
{
    Q_UNUSED(state);
    return {};
}

SocketControl::SocketControl(QObject* parent) : QObject(parent) {}
SocketControl::~SocketControl() = default;
void SocketControl::Connect() {}
void SocketControl::Close() {}
void SocketControl::SendData(const QByteArray&) {}
void SocketControl::setState(qint16) {}
void SocketControl::startSocket(const QHostAddress&) {}
void SocketControl::onConnected() {}
void SocketControl::onSocketError() {}
void SocketControl::fail(qint16, const QString&) {}
void SocketControl::dropSocket() {}
