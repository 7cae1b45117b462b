#pragma once
// The alert configurations of a saved window configuration, as the store keeps them.

#include "config/window_config.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace config {

// An alert without a severity condition fires on lines of any severity, or none.
inline constexpr std::int32_t any_severity = -1;
inline constexpr std::int32_t default_burst_seconds = 60;

// One alert's parameters as the store keeps them; catchwords one per line, CR LF between.
// "notify" and the conditions after it came later: an alert saved without them is the alert
// of before, and what the store holds is taken as it is (the alert set bounds it).
struct AlertFields {
    QString sound{};
    QString command{};
    std::string catchwords{};
    bool color_titlebar = false;
    bool notify = false;
    bool regex = false;
    std::int32_t min_severity = any_severity;  // 0 (emergency) - 7 (debug)
    std::int32_t burst_count = 1;
    std::int32_t burst_seconds = default_burst_seconds;
    std::int32_t silence = 0;  // seconds; 0 = off
    friend bool operator==(const AlertFields&, const AlertFields&) = default;
};

struct StoredAlert {
    QString name{};
    AlertFields fields{};
    bool active = false;
};

// The catchwords as the editor shows them, one per line, and as the store keeps them: CR LF
// between them. Lines ended by CR alone or CR LF show as lines.
QString shown_catchwords(const std::string& stored);
std::string catchwords_for_store(const QString& shown);

// Appends the configuration's alerts to alerts, in the store's order. False, with nothing
// appended, when the configuration has no alerts. An alert the store can't read (no "active" or
// "color_titlebar") ends the reading with the store's read error, the alerts before it appended.
bool read_alerts(const QString& config, std::vector<StoredAlert>& alerts);
// One alert's stored parameters.
AlertFields read_alert(const QString& config, const QString& name);

struct SavedAlert {
    bool created = false;  // the alert was new to the store; it is then saved active
    bool active = false;   // its "active" as the store holds it now
};
// Saves one alert, and first the window configuration new_configuration when it is given (the
// first alert of a window that wasn't saved yet), as one transaction: a write the store refuses
// leaves nothing of it behind and raises the store's write error.
SavedAlert save_alert(const QString& config, const QString& name, const AlertFields& fields,
                      const std::optional<WindowConfiguration>& new_configuration = std::nullopt);
// Writes the alert's "active". An alert removed meanwhile raises the store's write error.
void write_alert_active(const QString& config, const QString& name, bool active);
// Deletes the alert with everything under it; one that is already gone is fine.
void remove_alert(const QString& config, const QString& name);

}  // namespace config
