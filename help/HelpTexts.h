#pragma once

#include <QString>

QString projectWebAddress();
QString authorName();

// The texts of Help > How to use... and Help > About..., CR LF line breaks.
QString howToUseText();
QString aboutText();
