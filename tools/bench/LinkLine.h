#pragma once

// The figures of the link line, read off the real window: how soon its "No
// answer" warning shows once the car stops answering, and how long before
// the give-up; whether a lossy link raises it falsely; and what the line
// costs, against the same program without it (VELMORA_NO_LINK_LINE=1).

#include "bench/BenchFigures.h"

#include <QList>

class VirtualScreen;

// The warning and the lossy link need a private network namespace for the
// packet filter; without one they are reported as not measured.
QList<BenchRow> measureLinkLine(VirtualScreen& screen, int events, int pauseMs,
                                bool firewallAllowed);
