#pragma once

#include <QList>
#include <QString>

class BenchPeer;
class VirtualScreen;
class XClient;

// Key-to-wire times, for all events and for presses and releases apart:
// Qt does more X work on a press than on a release.
struct Latencies {
    QList<double> all;
    QList<double> presses;
    QList<double> releases;
};

QString percentilesText(const QList<double>& latencies);
QString latenciesText(const Latencies& latencies);

// Presses and releases Up and Down in turn, each event timed from just
// before it is flushed to the X server to the arrival of the command it
// causes.
Latencies keyToWire(XClient& x, BenchPeer& peer, int events, int pauseMs);

// The reference points: the same key events to a bare window of the
// driver's own, and to the minimal Qt window (with `native`, sending from
// the raw X events). Each returns its figures as text.
QString measureXBaseline(VirtualScreen& screen, int events, int pauseMs);
QString measureMinimalQtWindow(VirtualScreen& screen, int events, int pauseMs, bool native);
