#include "e2e/WireCodes.h"

#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QTest>

QString codesOf(const LoopbackPeer& peer)
{
    return decodeDriveStream(peer.received());
}

bool waitForCodes(const LoopbackPeer& peer, const QString& pattern, int timeoutMs)
{
    const QRegularExpression expression(pattern);
    return QTest::qWaitFor([&] { return codesOf(peer).contains(expression); }, timeoutMs);
}
