// Program start-up: the application, its frame and dialogs, and the event loop.

#include "help/helpsys.h"
#include "platform/real_message_box.h"
#include "shell/startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    platform::use_real_message_boxes();
    // The title is also the caption of the default error report.
    QApplication::setApplicationName(QStringLiteral("Vesmira"));
    // The desktop ties the windows to the menu entry by this name (the Wayland app id); the
    // installed icon theme has the icon in every size, the built-in one serves a build tree.
    QGuiApplication::setDesktopFileName(QStringLiteral(VESMIRA_APP_ID));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral(VESMIRA_APP_ID), QIcon(QStringLiteral(":/shell/vesmira.png"))));
    help::initialize_help();

    const std::unique_ptr<shell::TForm1> frame = shell::create_main_windows();
    frame->show();
    frame->reopen_windows();
    return QApplication::exec();
}
