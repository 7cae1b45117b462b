#pragma once
// Program start-up: the frame and the dialogs that live as long as the program, created in
// the order the program relies on.

#include "shell/tform1.h"

#include <memory>

namespace shell {

// Creates the frame (which creates the help object), then each start-up dialog, owned by the
// frame so they go with it. help::initialize_help() must have run before.
std::unique_ptr<TForm1> create_main_windows();

}  // namespace shell
