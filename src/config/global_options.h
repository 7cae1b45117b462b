#pragma once
// The global options and the record of the saved windows open at the last quit.

#include <QStringList>

#include <cstdint>
#include <optional>

namespace config {

// The limit of received text per log window, in MB, when the store holds none or one out of range.
inline constexpr std::int32_t default_text_limit_mb = 1024;
inline constexpr std::int32_t max_text_limit_mb = 1'048'576;

// Missing options, or the options of a store without a product key, read as these defaults.
struct GlobalOptions {
    // "ReopenWindowsOnRestart": reopen the recorded windows at start-up.
    bool reopen_windows = false;
    // "MaxWindowTextMB": the most received text a log window keeps; 0 = no limit.
    std::int32_t text_limit_mb = default_text_limit_mb;
};

GlobalOptions read_global_options();
// The Global options dialog's reading: the product key is made first, as the dialog always did;
// nothing when the store can't make it.
std::optional<GlobalOptions> read_global_options_to_edit();
// Both options, in one transaction.
void write_global_options(const GlobalOptions& options);

// Quitting: makes the product key and, when "ReopenWindowsOnRestart" is set, replaces the
// record of open windows by names (two windows of one configuration give one entry), all in one
// transaction. A write the store refuses raises its write error and leaves the old record.
void record_open_windows(const QStringList& names);
// The names recorded at the last quit, in the store's order; none unless the option is set.
QStringList read_recorded_windows();

}  // namespace config
