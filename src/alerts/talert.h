#pragma once
// One alert configuration of a log window, as held in memory.

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace alerts {

// What must hold besides a catchword for an alert to fire; the defaults are an alert as it was
// before conditions existed.
struct AlertConditions {
    // Each catchword entry is a PCRE2 expression instead of a plain text.
    bool regex = false;
    // Only lines of this syslog severity or worse (0 emergency - 7 debug) match; with no
    // catchwords, every such line does. any_severity: lines match whatever their severity.
    static constexpr int any_severity = -1;
    int min_severity = any_severity;
    // The alert fires on the line that completes burst_count matching lines within burst_ms,
    // then rests until acknowledged; 1: on every match.
    int burst_count = 1;
    std::int64_t burst_ms = 60'000;
    // Also fires when no line came for this long; 0: never.
    std::int64_t silence_ms = 0;
    friend bool operator==(const AlertConditions&, const AlertConditions&) = default;
};

// Catchwords are bytes, as received lines are; the alert set's collection owns its items.
struct tAlert {
    bool color_titlebar = false;
    std::vector<std::string> catchwords;
    QString sound;
    QString name;
    QString command;
    bool active = false;
    // A firing line shows a desktop notification.
    bool notify = false;
    AlertConditions conditions;
};

// Whether the alert's catchwords are searched as plain text: it takes part, and they aren't
// expressions.
inline bool has_plain_catchwords(const tAlert& alert)
{
    return alert.active && !alert.conditions.regex;
}

}  // namespace alerts
