#pragma once

#include "link/SocketPlatform.h"

#include <QtGlobal>
#include <optional>

// What the operating system knows about how the car hears this program's
// own connection: nothing new goes on the wire to learn it.
struct LinkFigures {
    // The smoothed round trip of the data sent, in microseconds.
    qint64 roundTripUs = 0;
    // Bytes handed to the system that the car has not acknowledged yet.
    qint64 unacknowledgedBytes = 0;
};

// The figures of a connected socket; nothing where the system offers none
// (Windows before 10 version 1703, or a call that fails).
std::optional<LinkFigures> readLinkFigures(SocketPlatform::Handle handle);
