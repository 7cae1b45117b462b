#pragma once
// The global option "ReopenWindowsOnRestart": recording the saved windows open at quit and
// reopening them at the next start.

#include "newwin/new_action.h"

#include <QString>

#include <vector>

namespace shell {

// What quit records of one open log window.
struct OpenWindowRecord {
    bool is_saved = false;
    QString config_name;
};

// First step of quitting: when the option is set, rewrites the list of recorded windows with
// one value per saved window (unsaved ones skipped, duplicates collapsing). Store errors are
// raised to the caller.
void record_open_windows(const std::vector<OpenWindowRecord>& windows);

// Start-up: when the option is set, opens every recorded window that still has a
// configuration, in the store's order, through open_log_window. A configuration whose port or
// command can't be read is reported through the default error report and skipped; the other
// names still open.
void reopen_recorded_windows(const newwin::OpenLogWindow& open_log_window);

}  // namespace shell
