#pragma once

// The figures that need packets dropped, and so a private network namespace
// where iptables may run: without one each is reported as not measured.

#include "bench/BenchFigures.h"

#include <QList>

class VirtualScreen;

// Connected, then every packet of the connection dropped: how long until
// the program reports the error, worst of `runs`.
QList<BenchRow> measureDeadLink(VirtualScreen& screen, int runs, bool firewallAllowed);
// The program's CPU while a connect waits on a server that never answers.
QList<BenchRow> measurePendingConnect(VirtualScreen& screen, bool firewallAllowed);
