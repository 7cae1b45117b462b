// Creation of the program's single instances, in start-up order, and the first windows.

#include "shell/startup.h"

#include "config/window_config.h"
#include "logwin/save_configuration_dialog.h"
#include "newwin/new_window_dialog.h"
#include "shell/command_line.h"
#include "shell/about_dialog.h"
#include "shell/options_dialog.h"

namespace shell {

std::unique_ptr<MainWindow> create_main_windows()
{
    auto frame = std::make_unique<MainWindow>();
    frame->new_window_dialog = new newwin::NewWindowDialog(frame.get());
    frame->options_dialog = new OptionsDialog(frame.get());
    // Owned by the frame; the log windows find it through the registration.
    logwin::set_save_configuration_dialog(new logwin::SaveConfigurationDialog(frame.get()));
    frame->about_dialog = new AboutDialog(frame.get());
    return frame;
}

void check_names_in_store(CommandLine& command_line)
{
    check_names(command_line, [](const QString& name) { return config::config_exists(name); });
}

void open_start_windows(MainWindow& frame, const CommandLine& command_line)
{
    frame.show();
    frame.reopen_windows();
    frame.open_requested_windows(command_line);
}

}  // namespace shell
