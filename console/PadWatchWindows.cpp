#include "console/PadWatch.h"

// XInput, raw input and Windows.Gaming.Input offer nothing to wait on from
// this program's event loop: on Windows a pad is polled.
PadWatch::PadWatch(const QByteArray&, int, QObject* parent) : QObject(parent) {}

PadWatch::~PadWatch() = default;

void PadWatch::drain() {}
