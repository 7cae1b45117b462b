// Creation of the program's single instances, in start-up order, and the first windows.

#include "shell/startup.h"

#include "config/window_config.h"
#include "logwin/tsave_later.h"
#include "newwin/tform3.h"
#include "shell/command_line.h"
#include "shell/tdlg_about.h"
#include "shell/toptdlg.h"

namespace shell {

std::unique_ptr<TForm1> create_main_windows()
{
    auto frame = std::make_unique<TForm1>();
    frame->Form3 = new newwin::TForm3(frame.get());
    frame->optdlg = new Toptdlg(frame.get());
    // Owned by the frame; the log windows find it through the registration.
    logwin::set_save_later_dialog(new logwin::Tsave_later(frame.get()));
    frame->dlg_about = new Tdlg_about(frame.get());
    return frame;
}

void check_names_in_store(CommandLine& command_line)
{
    check_names(command_line, [](const QString& name) { return config::config_exists(name); });
}

void open_start_windows(TForm1& frame, const CommandLine& command_line)
{
    frame.show();
    frame.reopen_windows();
    frame.open_requested_windows(command_line.names, command_line.port, command_line.command);
}

}  // namespace shell
