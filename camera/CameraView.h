#pragma once

#include "link/LinkText.h"

#include <QImage>
#include <QString>
#include <QWidget>

// What the head-up display over the picture says.
struct CameraHud {
    // The commanded direction, as drive code 1 to 9; 5 is stop.
    int command = 5;
    // The socket's state, as the main window's label shows it.
    QString linkState;
    // How the car hears the commands.
    LinkStatus link;
    // "25 fps, 640 × 480", empty before the first picture.
    QString pictureFigures;
    // Empty while the picture is fresh; its age, or "No picture" and why.
    QString pictureState;
    // A short-lived note, such as where a snapshot went.
    QString notice;

    bool operator==(const CameraHud&) const = default;
};

// The camera's picture, scaled to fit with its aspect kept, turned and
// mirrored as the driver asked, with the head-up display over it. Each box
// of the display has a dark back of its own, so it stays readable on any
// picture.
class CameraView : public QWidget {
    Q_OBJECT

public:
    explicit CameraView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    void clearPicture();
    bool hasPicture() const { return !m_picture.isNull(); }
    // turn: 0, 90, 180 or 270 degrees clockwise.
    void setOrientation(int turn, bool mirror);
    void setHud(const CameraHud& hud);
    const CameraHud& hud() const { return m_hud; }
    // A picture turned and mirrored as this view shows it.
    QImage oriented(const QImage& picture) const;
    // A size turned as this view shows it.
    QSize oriented(const QSize& size) const;
    // The largest a picture, before it is turned, can be drawn here, in
    // the screen's pixels.
    QSize drawnSize() const;

signals:
    void drawnSizeChanged(const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTransform orientation() const;
    void paintHud(QPainter& painter);

    QImage m_picture;
    int m_turn = 0;
    bool m_mirror = false;
    CameraHud m_hud;
};
