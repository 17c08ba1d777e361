#include "link/SocketState.h"

#include <array>

QString socketStateText(qint16 state)
{
    static const std::array<const char*, 10> texts = {
        "Closed",         "Open",          "Listening",  "Connection Pending",
        "Resolving Host", "Host Resolved", "Connecting", "Connected",
        "Closing",        "Error"};
    if (state < 0 || state >= qint16(texts.size()))
        return {};
    return QString::fromLatin1(texts[std::size_t(state)]);
}
