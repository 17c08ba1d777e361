#pragma once

#include <QString>

class LoopbackPeer;

// How long a test waits for something that normally takes milliseconds.
constexpr int kE2ETimeoutMs = 10000;

// The drive codes the peer has received so far, as digits ("?" for a
// malformed message).
QString codesOf(const LoopbackPeer& peer);

// Polls until codesOf(peer) matches the regular expression. Unlike QTRY_*,
// which waits three times as long when it fails, a failure costs the time-out
// once, so a broken run still ends well inside the test's time limit.
bool waitForCodes(const LoopbackPeer& peer, const QString& pattern, int timeoutMs = kE2ETimeoutMs);
