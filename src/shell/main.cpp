// Program start-up: the command line, the application, its frame and dialogs, and the event loop.

#include "help/helpsys.h"
#include "platform/message_box.h"
#include "platform/quit_signals.h"
#include "platform/real_message_box.h"
#include "shell/command_line.h"
#include "shell/startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    // Read before the application starts: --help, --version and a mistake must work without a
    // display, and leave no window, no store write and no help log behind.
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    shell::CommandLine command_line = shell::parse_command_line(arguments);
    shell::check_names_in_store(command_line);
    if (command_line.request != shell::CommandLine::Request::run) {
        const QCoreApplication application(argc, argv);
        return shell::answer_without_starting(command_line);
    }

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

    const std::unique_ptr<shell::MainWindow> frame = shell::create_main_windows();
    // A logout, `kill`, Ctrl+C or a closed terminal quits as "&Quit" does: the open windows are
    // recorded and every window command is stopped. Caught before the first window opens.
    const platform::QuitSignals quit_signals;
    bool quit = false;
    QObject::connect(&quit_signals, &platform::QuitSignals::quit_requested, frame.get(), [&frame, &quit] {
        // Nobody may be there to answer a box (a logout, a closed terminal): what quitting has
        // to say goes to standard error, and nothing holds the program open.
        platform::set_real_message_box({});
        quit = true;
        frame->quit_action->trigger();
        // Quitting does nothing before the main event loop runs: a start-up message box's own
        // loop must end too.
        QCoreApplication::exit(0);
    });
    shell::open_start_windows(*frame, command_line);
    // A quit signal while a start-up message was shown ended that box's loop; the main one
    // must not start after it.
    if (quit)
        return 0;
    return QApplication::exec();
}
