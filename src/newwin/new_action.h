#pragma once
// The frame's New action: shows the New window dialog and opens the log window it describes.

#include <QString>

#include <cstdint>
#include <functional>

namespace newwin {

class NewWindowDialog;

// The frame's open_log_window, in its argument order. local_only: only this computer may send.
using OpenLogWindow = std::function<void(std::int32_t port, bool saved, const QString& config_name,
                                         const QString& caption, const QString& command,
                                         const QString& label_text, bool local_only)>;

// Shows the dialog modally; after OK opens a saved window for the configuration named in the
// combo box, or an unsaved one when the port was typed by hand and not saved since. Errors go
// to the default error report.
void run_new_action(NewWindowDialog& dialog, const OpenLogWindow& open_log_window);

}  // namespace newwin
