#pragma once

#include "bench/BenchFigures.h"

#include <QList>

class VirtualScreen;

// The program on a link that drops packets at random each way, as a weak
// radio link does: key-to-wire latency at 3 % and 10 % loss, whether every
// command arrived in order, and whether a minute at 10 % loss raises a false
// alarm. Needs a private network namespace for the packet filter.
QList<BenchRow> measureLossyLink(VirtualScreen& screen, int changes, bool firewallAllowed);
