#pragma once

#include <QFont>
#include <QStaticText>
#include <QString>
#include <QWidget>
#include <array>

// The arrow that stands for drive code 1 to 9, laid out like the keypad:
// "↑" for forward, "■" for stop. Empty for any other code.
QString directionGlyph(int code);
// The same direction in words, as a screen reader says it: "forward, left",
// "stop". Empty for any other code.
QString directionWords(int code);

// One square of the direction grid. Its palette's window colour is the
// square's red or green; on top of it the square draws its arrow, and the
// commanded square a dark inner frame and a bold arrow, so that the grid
// reads without telling red from green. The outer band keeps the plain
// colour, so a picture of the window still reads red and green there.
class DirectionSquare : public QWidget {
    Q_OBJECT

public:
    explicit DirectionSquare(QWidget* parent = nullptr);

    void setCode(int code);
    int code() const { return m_code; }
    void setCommanded(bool commanded);
    bool isCommanded() const { return m_commanded; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The arrow's font and laid-out text, plain and bold (commanded), made
    // again only when the code or the font changes: laying text out is most
    // of a repaint, and two squares repaint on every key.
    void prepareGlyphs();

    int m_code = 0;
    bool m_commanded = false;
    bool m_glyphsReady = false;
    std::array<QFont, 2> m_glyphFont;
    std::array<QStaticText, 2> m_glyph;
};
