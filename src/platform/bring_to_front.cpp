// Bringing the top-level window forward.

#include "platform/bring_to_front.h"

#include <QWidget>

namespace platform {

void bring_to_front(QWidget* widget)
{
    QWidget* top = widget->window();
    // Keeps a maximised frame maximised.
    top->setWindowState((top->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    top->show();
    top->raise();
    top->activateWindow();
}

}  // namespace platform
