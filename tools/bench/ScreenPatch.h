#pragma once

#include <QList>
#include <QRgb>
#include <QString>

struct _XDisplay;

// Reads a few pixels of a window back from the X server, on a connection
// of its own so that the bench's other X work never waits behind it. A
// small area, since a whole window per poll would cost the X server more
// than the program it watches.
class ScreenPatch {
public:
    ScreenPatch() = default;
    ~ScreenPatch();
    ScreenPatch(const ScreenPatch&) = delete;
    ScreenPatch& operator=(const ScreenPatch&) = delete;

    bool open(const QString& displayName, QString* error);
    // The side x side pixels at (x, y) of the window, row by row; empty
    // when the server could not read them.
    QList<QRgb> read(unsigned long window, int x, int y, int side) const;

private:
    _XDisplay* m_display = nullptr;
};
