#pragma once
// Program start-up: the frame and the dialogs that live as long as the program, created in
// the order the program relies on, and the windows opened before the user's first input.

#include "shell/main_window.h"

#include <memory>

namespace shell {

struct CommandLine;

// Creates the frame (which creates the help object), then each start-up dialog, owned by the
// frame so they go with it. help::initialize_help() must have run before.
std::unique_ptr<MainWindow> create_main_windows();

// Refuses a command line naming a window configuration the store doesn't hold. Only reads the
// store: a refused start leaves nothing behind.
void check_names_in_store(CommandLine& command_line);

// Shows the frame, reopens the windows recorded at the last quit, then opens the windows the
// command line asks for: its names in order, then the window for its port.
void open_start_windows(MainWindow& frame, const CommandLine& command_line);

}  // namespace shell
