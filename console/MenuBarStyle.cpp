#include "console/MenuBarStyle.h"

#include <QApplication>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

class NoAltAloneStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void keepAltAloneFromMenuBar(QMenuBar* menuBar)
{
    // The menu bar keeps the look of the program's own style.
    auto* style = new NoAltAloneStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(menuBar);
    menuBar->setStyle(style);
}
