#pragma once
// The log window's controls as tests reach them: by their form names, as the user sees them.

#include "logwin/log_window.h"

#include <QtGlobal>

template <typename Widget>
Widget* control(const logwin::LogWindow& window, const char* name)
{
    auto* widget = window.findChild<Widget*>(QLatin1String(name));
    if (widget == nullptr)
        qFatal("The log window has no %s of that type.", name);
    return widget;
}
