#include "link/SocketErrors.h"

QString socketErrorDescription(qint16)
{
    return {};
}

SocketErrorInfo fromQtSocketError(QAbstractSocket::SocketError)
{
    return {0, {}};
}
