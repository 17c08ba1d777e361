#pragma once

#include <QByteArray>

// The two bytes sent for a drive code: its ASCII digit, then 0x00.
// Codes outside 1 to 9 give an empty message.
QByteArray driveMessage(int code);
