#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// Finds where a JPEG picture ends by walking its structure: the marker
// segments by their lengths (so an embedded thumbnail's end marker is
// skipped with its segment), then the coded data up to the end marker.
// Incremental: hand it the picture's bytes as they grow, from its start
// marker on; it resumes where it stopped.
class JpegExtent {
public:
    // The picture's length once its end marker is in `bytes`, else 0.
    qsizetype find(QByteArrayView bytes);
    void reset() { *this = JpegExtent(); }

private:
    enum class Mode { Marker, Segment, CodedData, Plain };
    Mode m_mode = Mode::Marker;
    // The next byte to look at; the start marker is two bytes long.
    qsizetype m_pos = 2;
};
