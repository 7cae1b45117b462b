#pragma once
// Laying out the program's forms as their descriptions give them: controls named and placed at
// fixed client positions, and the interface font the forms ask for by name.

#include <QFont>
#include <QLabel>
#include <QString>

namespace platform {

// The forms' "MS Sans Serif" at a pixel size; fontconfig substitutes an installed face.
inline QFont interface_font(int pixel_size)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(pixel_size);
    return font;
}

// Names a control after its form component (its objectName).
template <typename Widget>
Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Names a control after its form component and puts it at its place and size.
template <typename Widget>
Widget* place(Widget* widget, const char* name, int left, int top, int width, int height)
{
    named(widget, name)->setGeometry(left, top, width, height);
    return widget;
}

// A label sizes itself to its text; only its top-left corner is given.
inline QLabel* place_label(QLabel* label, const char* name, int left, int top)
{
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(left, top);
    return label;
}

}  // namespace platform
