#include "link/LinkText.h"

LinkStatus describeLink(const std::optional<LinkReading>& reading, qint64 nowMs)
{
    if (!reading)
        return {};
    if (reading->oldestWaitingSentMs) {
        const qint64 waitedMs = nowMs - *reading->oldestWaitingSentMs;
        if (waitedMs > NoAnswerAfterMs) {
            // Whole tenths gone by, never rounded up: the count shows no
            // more silence than there has been.
            const double seconds = double(waitedMs / 100) / 10;
            return {QStringLiteral("No answer from the car for %1 s").arg(seconds, 0, 'f', 1),
                    LinkLevel::NoAnswer};
        }
    }
    const qint64 roundTripMs = (reading->roundTripUs + 500) / 1000;
    if (roundTripMs > SlowRoundTripMs)
        return {QStringLiteral("Link slow: %1 ms").arg(roundTripMs), LinkLevel::Slow};
    return {QStringLiteral("Link %1 ms").arg(roundTripMs), LinkLevel::Good};
}
