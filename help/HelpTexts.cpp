#include "help/HelpTexts.h"

QString projectWebAddress()
{
    return {};
}
QString authorName()
{
    return {};
}
QString howToUseText()
{
    return {};
}
QString aboutText()
{
    return {};
}
