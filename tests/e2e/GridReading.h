#pragma once

#include <QImage>
#include <QPoint>
#include <QString>

// What a screenshot of the main window shows of the direction grid.
struct GridReading {
    // False when no pure red or green pixel is in the picture at all.
    bool found = false;
    // The top left pixel of square 1, in the picture's coordinates.
    QPoint origin;
    // Squares 1 to 9, read from their outer band (the arrows and frames
    // lie inside it): 'R' all pure red, 'G' all pure green, '?' anything
    // else (mixed, or another colour).
    QString squares;
    // The one-pixel lines between and around the squares are neither red
    // nor green, so each square has exactly its 99 x 99 pixels.
    bool edgesClear = false;
    // The band under the grid (a line 299 x 42, 4 pixels below it) shows
    // something rather than plain background: the hint that keys go
    // elsewhere.
    bool hintShown = false;
    // The link line's band above the grid (299 x 21, 2 pixels above it)
    // shows something, and is the "No answer" warning's red.
    bool linkShown = false;
    bool linkWarning = false;
};

GridReading readGrid(const QImage& image);

// The squares as readGrid() reports them when square `code` is green and
// the rest red; code 0 gives all red.
QString gridShowing(int code);
