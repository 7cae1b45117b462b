#pragma once
// The frame's New action: shows the New window dialog and opens the log window it describes.

#include "config/window_config.h"

#include <QString>

#include <functional>

namespace newwin {

class NewWindowDialog;

// The frame's open_log_window: what the window listens for and runs, the name it is saved
// under (empty for an unsaved window), and its caption and label.
using OpenLogWindow = std::function<void(const config::WindowConfiguration& configuration, const QString& saved_name,
                                         const config::WindowTitles& titles)>;

// Shows the dialog modally; after OK opens a saved window for the configuration named in the
// combo box, or an unsaved one when the port was typed by hand and not saved since. Errors go
// to the default error report.
void run_new_action(NewWindowDialog& dialog, const OpenLogWindow& open_log_window);

}  // namespace newwin
