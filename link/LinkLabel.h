#pragma once

#include "link/LinkText.h"

#include <QLabel>

class LinkWatch;

// Shows a LinkWatch's line: in a warning colour while the link is slow, in
// a strong one while the car does not answer, and told to assistive
// technology when that warning starts.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    LinkLabel(LinkWatch* watch, QWidget* parent);

private:
    void display(const LinkStatus& status);

    LinkLevel m_level = LinkLevel::Unknown;
};
