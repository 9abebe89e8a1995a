#pragma once

#include "controls/Twips.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QWidget>

// The look every window of the program shares: light grey behind dark grey
// text in Arial 9 pt, with controls placed at design rectangles in twips.
namespace WindowLook {

inline const QColor Background(0xE0, 0xE0, 0xE0);
inline const QColor Text(0x40, 0x40, 0x40);

// Gives `window` and every control in it the shared colours and font.
inline void apply(QWidget& window)
{
    QPalette look = window.palette();
    look.setColor(QPalette::Window, Background);
    look.setColor(QPalette::WindowText, Text);
    look.setColor(QPalette::Text, Text);
    look.setColor(QPalette::ButtonText, Text);
    window.setPalette(look);
    window.setFont(QFont(QStringLiteral("Arial"), 9));
}

inline QRect pixels(const QRect& twips)
{
    return {twipsToPixels(twips.left()), twipsToPixels(twips.top()), twipsToPixels(twips.width()),
            twipsToPixels(twips.height())};
}

// Names `widget` and puts it at its design rectangle in its container.
template <typename Widget> Widget* place(Widget* widget, const char* name, const QRect& twips)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(pixels(twips));
    return widget;
}

} // namespace WindowLook
