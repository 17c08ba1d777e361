#include "help/HelpTexts.h"

#include "help/Version.h"

namespace {
const QString LineBreak = QStringLiteral("\r\n");
}

QString projectWebAddress()
{
    return QStringLiteral("https://velmora.example.org/");
}

QString authorName()
{
    return QStringLiteral("the Velmora developers");
}

QString howToUseText()
{
    return QStringLiteral("This program is intended for use with the WiFi Krellan.") + LineBreak +
           QStringLiteral("Use the Settings menu to configure the program, then use the arrow or "
                          "numpad keys to drive the car.") +
           LineBreak + LineBreak +
           QStringLiteral("This program can drive any router that supports OpenWrt and is running "
                          "the gatrix program, available at ") +
           projectWebAddress() + QStringLiteral(" .");
}

QString aboutText()
{
    return QStringLiteral("WiFi Krellan Driver v" VELMORA_VERSION) + LineBreak +
           QStringLiteral("Created by ") + authorName() + LineBreak +
           QStringLiteral("For more information, visit: ") + projectWebAddress();
}
