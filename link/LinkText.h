#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// How the car hears the commands, as the driver is told it.
enum class LinkLevel {
    // Nothing to say: not connected, or the system offers no figures.
    Unknown,
    Good,
    // The round trip is long enough to feel.
    Slow,
    // A command has gone unacknowledged for too long.
    NoAnswer,
};

struct LinkStatus {
    QString text;
    LinkLevel level = LinkLevel::Unknown;
    bool operator==(const LinkStatus&) const = default;
};

// What is known of a connected link at one moment, on one clock in
// milliseconds.
struct LinkReading {
    qint64 roundTripUs = 0;
    // When the oldest command that still waits for its acknowledgement was
    // sent; empty when none waits.
    std::optional<qint64> oldestWaitingSentMs;
};

// A round trip above this is slow.
constexpr qint64 SlowRoundTripMs = 150;
// A command unacknowledged for longer than this means the car may not hear.
constexpr qint64 NoAnswerAfterMs = 500;

// The line for a reading at nowMs; an empty reading (not connected, or no
// figures) gives an empty line.
LinkStatus describeLink(const std::optional<LinkReading>& reading, qint64 nowMs);
