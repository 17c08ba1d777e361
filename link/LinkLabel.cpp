#include "link/LinkLabel.h"

#include "link/LinkWatch.h"

#include <QAccessible>

namespace {

// Dark enough on the window's light grey to read at a glance.
const QColor SlowText(0xA0, 0x40, 0x00);
const QColor NoAnswerText(Qt::white);
const QColor NoAnswerBackground(0xB0, 0x00, 0x00);

} // namespace

LinkLabel::LinkLabel(LinkWatch* watch, QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setAccessibleName(QStringLiteral("Link to the car"));
    setAccessibleDescription(QString());
    connect(watch, &LinkWatch::changed, this, &LinkLabel::display);
    display(watch->status());
}

void LinkLabel::display(const LinkStatus& status)
{
    setText(status.text);
    // The name stays, so a screen reader knows the line; what it says is its
    // description, as the grid's is.
    setAccessibleDescription(status.text);
    if (status.level == m_level)
        return;
    const bool warningStarts = status.level == LinkLevel::NoAnswer;
    m_level = status.level;

    QPalette colours = parentWidget() ? parentWidget()->palette() : QPalette();
    if (status.level == LinkLevel::Slow) {
        colours.setColor(QPalette::WindowText, SlowText);
    } else if (status.level == LinkLevel::NoAnswer) {
        colours.setColor(QPalette::WindowText, NoAnswerText);
        colours.setColor(QPalette::Window, NoAnswerBackground);
    }
    setPalette(colours);
    setAutoFillBackground(status.level == LinkLevel::NoAnswer);
    QFont font = this->font();
    font.setBold(status.level == LinkLevel::NoAnswer);
    setFont(font);

    if (warningStarts) {
        // Qt has no announcements: an alert and a new value are what screen
        // readers speak without the line having the focus.
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
        QAccessibleValueChangeEvent valued(this, status.text);
        QAccessible::updateAccessibility(&valued);
    }
}
