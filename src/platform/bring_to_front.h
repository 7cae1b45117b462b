#pragma once
// Bringing the program's main window to the user from outside it (a notification, the tray).

class QWidget;

namespace platform {

// Shows widget's top-level window, out of the minimised state, raised and activated. A window
// manager may still refuse the focus to a program the user didn't just click.
void bring_to_front(QWidget* widget);

}  // namespace platform
