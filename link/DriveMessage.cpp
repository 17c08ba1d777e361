#include "link/DriveMessage.h"

QByteArray driveMessage(int code)
{
    if (code < 1 || code > 9)
        return {};
    QByteArray message(2, '\0');
    message[0] = char('0' + code);
    return message;
}
