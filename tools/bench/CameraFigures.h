#pragma once

#include "bench/BenchFigures.h"

#include <QList>

class VirtualScreen;

struct CameraBenchOptions {
    int events = 400;
    int pauseMs = 5;
    // How long the memory is watched under a stream; the growth counts
    // from the end of the first minute.
    int rssSeconds = 600;
};

// The camera window's figures, each beside its reference in the same run:
// CPU per frame shown against ffmpeg decoding the same stream, frame to
// screen, key-to-wire with and without a stream, the first picture after
// a stopped window, and the memory under a long stream.
QList<BenchRow> measureCamera(VirtualScreen& screen, const CameraBenchOptions& options);
