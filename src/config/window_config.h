#pragma once
// Saved window configurations: their names, what the New window dialog edits, what a log window
// remembers of its own choices, and the caption and label a log window shows for one.

#include "net/protocol.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace config {

// What a log window chooses for itself while it is open; a saved configuration remembers it as
// the user changes it and gives it back when its window opens again.
struct WindowChoices {
    QString log_file{};  // the file every completed line is appended to; empty: none
    bool arrival_times = false;  // each line shows when it arrived
    bool sender_addresses = false;  // each line shows who sent it
};

// A saved window configuration. A missing value of a configuration saved by an older build
// reads as the default given here.
struct WindowConfiguration {
    // What the New window dialog shows and saves.
    std::int32_t port = 0;
    QString command{};  // started as a process when the window opens; may be empty
    bool local_only = false;  // only this computer may send
    net::Protocol protocol = net::Protocol::lines;
    WindowChoices choices{};
    // Who may send, as typed in "&Accept from:" (see net::AddressFilter); empty: everyone.
    QString allow_from{};
    // What a sender over TLS must show: "anon" or empty (no certificate), "ca" (one signed by the
    // CA in the PEM file tls_ca) or "fingerprint" (one listed in tls_fingerprints, one a line).
    QString tls_auth{};
    QString tls_ca{};
    QString tls_fingerprints{};
};

// The values of WindowConfiguration::tls_auth.
inline const QString tls_auth_anon = QStringLiteral("anon");
inline const QString tls_auth_ca = QStringLiteral("ca");
inline const QString tls_auth_fingerprint = QStringLiteral("fingerprint");

// The protocol's name in the store and on the command line ("lines", "syslog", "syslog-tls");
// nothing for a name no protocol has.
QString protocol_name(net::Protocol protocol);
std::optional<net::Protocol> protocol_named(const QString& name);

// What a read does with a text the store holds with another type.
enum class Reading {
    // A window is opened from what is read: the store's read error ends the action.
    to_open,
    // The New window dialog only shows what is read: the text stays as it was shown.
    to_show,
};

// The caption of a log window and the label after "This configuration is" on its "&Alert" tab.
struct WindowTitles {
    QString caption;
    QString label;
};
// "LOG: " + name, and the name.
WindowTitles saved_window_titles(const QString& name);
// For an unsaved window, with the port as the user gave it (the New window dialog's five
// positions, blanks included).
WindowTitles unsaved_window_titles(const QString& port_text);

// True for a name that names no configuration: the empty name, and one of backslashes only
// (the store reads every backslash as a level separator and skips empty levels, so such a name
// would address the list of configurations itself).
bool names_no_config(const QString& name);
// Configuration and alert names compare as the store compares them: ASCII letters without
// regard to case, every other character exactly.
bool same_name(const QString& left, const QString& right);

// The stored configuration names, in the store's order; nothing when none was ever saved.
std::optional<QStringList> read_config_names();
bool config_exists(const QString& name);

// The port, command and sender restriction of the configuration name; its choices come back as
// shown holds them (the window reads its own as it opens). Nothing when no such configuration is
// stored. A missing or unreadable port raises the store's read error; a command of another type
// is read as `reading` says.
std::optional<WindowConfiguration> read_window_configuration(const QString& name, Reading reading,
                                                             const WindowConfiguration& shown = {});
// The New window dialog's Save: creates the configuration (and any missing key above it) or
// overwrites its port, command and sender restriction, in one transaction. The choices its
// window remembered stay as they are.
void write_window_configuration(const QString& name, const WindowConfiguration& configuration);
// Deletes the configuration with everything below it (its alerts too). False when there was none.
bool remove_window_configuration(const QString& name);

// The choices the configuration's window remembered; nothing when the configuration is gone.
// A log file name of another type raises the store's read error.
std::optional<WindowChoices> read_window_choices(const QString& name);
// Remembers one choice as the user makes it, e.g.
// remember_window_choice(name, &WindowChoices::arrival_times, true). A configuration removed
// meanwhile is not brought back for it.
template <typename T>
void remember_window_choice(const QString& name, T WindowChoices::*choice, const T& value);

}  // namespace config
