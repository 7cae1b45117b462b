// The alert set: the collection with its matching and highlighting, and its store operations
// through the configuration layer.

#include "alerts/alert_set.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace alerts {

void AlertSet::assign(std::vector<tAlert> alerts)
{
    items_ = std::move(alerts);
    changed();
}

QString silence_text(std::int64_t silence_ms)
{
    struct Unit {
        std::int64_t seconds;
        const char* one;
        const char* many;
    };
    static constexpr Unit units[] = {
        {86'400, "No line for 1 day", "No line for %1 days"},
        {3'600, "No line for 1 hour", "No line for %1 hours"},
        {60, "No line for 1 minute", "No line for %1 minutes"},
        {1, "No line for 1 second", "No line for %1 seconds"},
    };
    const std::int64_t seconds = std::max<std::int64_t>(silence_ms / 1000, 1);
    for (const Unit& unit : units)
        if (seconds % unit.seconds == 0) {
            const std::int64_t count = seconds / unit.seconds;
            return count == 1 ? QString::fromLatin1(unit.one) : QString::fromLatin1(unit.many).arg(count);
        }
    return {};
}

AlertConditions conditions_of(const config::AlertFields& fields)
{
    // At most what the editor offers; the store may hold anything. A silence shorter than the
    // editor's 10 s is taken as it is.
    constexpr std::int32_t max_burst_count = 10'000;
    constexpr std::int32_t max_burst_seconds = 86'400;
    constexpr std::int32_t max_silence = 604'800;
    AlertConditions conditions;
    conditions.regex = fields.regex;
    if (fields.min_severity >= 0 && fields.min_severity <= 7)
        conditions.min_severity = fields.min_severity;
    conditions.burst_count = std::clamp(fields.burst_count, 1, max_burst_count);
    conditions.burst_ms = std::int64_t{std::clamp(fields.burst_seconds, 1, max_burst_seconds)} * 1000;
    if (fields.silence > 0)
        conditions.silence_ms = std::int64_t{std::min(fields.silence, max_silence)} * 1000;
    return conditions;
}

std::optional<QString> AlertSet::expression_problem(std::string_view catchwords)
{
    const std::vector<std::string> words = split_catchword_lines(catchwords);
    for (std::size_t entry = 0; entry < words.size(); ++entry) {
        if (words[entry].empty())
            continue;
        if (const std::optional<std::string> error = expression_error(words[entry]))
            return QStringLiteral("Catchword %1 is not a valid regular expression: %2.")
                .arg(entry + 1)
                .arg(QString::fromStdString(*error));
    }
    return std::nullopt;
}

void AlertSet::changed()
{
    // Compiled now rather than at the next line, so that the expressions' prefilter is built
    // while the window waits for senders.
    compile();
    next_silence_possible_ = std::any_of(items_.begin(), items_.end(), [](const tAlert& alert) {
        return alert.active && alert.conditions.silence_ms != 0;
    });
    if (changed_)
        changed_();
}

void AlertSet::compile()
{
    matcher_.compile(items_);
    expressions_.compile(items_);
    conditional_ = false;
    severity_only_.clear();
    states_.assign(items_.size(), {});
    const AlertConditions plain;
    for (std::size_t index = 0; index < items_.size(); ++index) {
        const tAlert& alert = items_[index];
        if (!alert.active)
            continue;
        if (alert.conditions.min_severity != plain.min_severity || alert.conditions.burst_count != plain.burst_count)
            conditional_ = true;
        const bool has_words = std::any_of(alert.catchwords.begin(), alert.catchwords.end(),
                                           [](const std::string& word) { return !word.empty(); });
        if (!has_words && alert.conditions.min_severity != plain.min_severity)
            severity_only_.push_back(index);
    }
}

std::vector<AlertActions> AlertSet::check_line(std::string_view line, const LineFacts& facts)
{
    last_line_ = facts.time;
    std::vector<AlertActions> firing;
    std::span<const CatchwordMatch> matches = matcher_.find(line);
    if (!expressions_.empty()) {
        const std::size_t plain_count = matches.size();
        matches_.assign(matches.begin(), matches.end());
        expressions_.find(line, matches_);
        // Both are in firing order; the expressions' alerts may lie between the others'.
        if (plain_count != 0 && matches_.size() != plain_count)
            std::inplace_merge(matches_.begin(), matches_.begin() + static_cast<std::ptrdiff_t>(plain_count),
                               matches_.end(), [](const CatchwordMatch& a, const CatchwordMatch& b) {
                                   return a.alert != b.alert ? a.alert < b.alert : a.entry < b.entry;
                               });
        matches = matches_;
    }
    const auto fire = [&](std::size_t alert) {
        const tAlert& item = items_[alert];
        firing.push_back({item.color_titlebar, item.sound, item.command, item.notify});
    };
    if (!conditional_) {
        for (const CatchwordMatch& match : matches)
            fire(match.alert);
        return firing;
    }
    // Alert by alert: those with matching entries, and those that match every line of their
    // severity, in collection order.
    auto severity_only = severity_only_.begin();
    for (auto match = matches.begin(); match != matches.end() || severity_only != severity_only_.end();) {
        const std::size_t next_match = match != matches.end() ? match->alert : items_.size();
        if (severity_only != severity_only_.end() && *severity_only < next_match) {
            if (passes(*severity_only, facts))
                fire(*severity_only);
            ++severity_only;
            continue;
        }
        auto end = match;
        while (end != matches.end() && end->alert == next_match)
            ++end;
        if (passes(next_match, facts)) {
            // A burst fires once, on the line that completes it; otherwise each entry fires.
            const auto times = items_[next_match].conditions.burst_count > 1 ? 1 : end - match;
            for (auto time = 0; time < times; ++time)
                fire(next_match);
        }
        match = end;
    }
    return firing;
}

bool AlertSet::passes(std::size_t alert, const LineFacts& facts)
{
    const AlertConditions& conditions = items_[alert].conditions;
    if (conditions.min_severity != AlertConditions::any_severity &&
        (facts.severity == LineFacts::no_severity || facts.severity > conditions.min_severity))
        return false;
    if (conditions.burst_count <= 1)
        return true;
    AlertState& state = states_[alert];
    if (state.burst_spent)
        return false;
    std::deque<std::int64_t>& times = state.burst;
    if (times.size() == static_cast<std::size_t>(conditions.burst_count))
        times.pop_front();
    times.push_back(facts.time);
    if (times.size() < static_cast<std::size_t>(conditions.burst_count) || times.back() - times.front() > conditions.burst_ms)
        return false;
    state.burst_spent = true;
    times.clear();
    return true;
}

void AlertSet::acknowledge()
{
    for (AlertState& state : states_) {
        state.burst.clear();
        state.burst_spent = false;
    }
}

void AlertSet::start_silence(std::int64_t now)
{
    last_line_ = now;
}

std::vector<SilenceAlarm> AlertSet::check_silence(std::int64_t now)
{
    std::vector<SilenceAlarm> alarms;
    for (std::size_t index = 0; index < items_.size(); ++index) {
        const tAlert& alert = items_[index];
        std::optional<std::int64_t>& silent_since = states_[index].silent_since;
        if (!alert.active || alert.conditions.silence_ms == 0 || silent_since == last_line_ ||
            now - last_line_ < alert.conditions.silence_ms)
            continue;
        silent_since = last_line_;
        alarms.push_back({{alert.color_titlebar, alert.sound, alert.command, alert.notify},
                          silence_text(alert.conditions.silence_ms)});
    }
    return alarms;
}

std::optional<std::int64_t> AlertSet::next_silence()
{
    std::optional<std::int64_t> next;
    for (std::size_t index = 0; index < items_.size(); ++index) {
        const tAlert& alert = items_[index];
        if (!alert.active || alert.conditions.silence_ms == 0 || states_[index].silent_since == last_line_)
            continue;
        const std::int64_t due = last_line_ + alert.conditions.silence_ms;
        next = next ? std::min(*next, due) : due;
    }
    return next;
}

bool AlertSet::load(const QString& config)
{
    std::vector<config::StoredAlert> loaded;
    try {
        if (!config::read_alerts(config, loaded))
            return false;
    } catch (...) {
        // An alert the store can't give ends the loading; those before it are loaded.
        take_loaded(std::move(loaded));
        throw;
    }
    take_loaded(std::move(loaded));
    return true;
}

void AlertSet::take_loaded(std::vector<config::StoredAlert> loaded)
{
    // Clearing leaves the highlighted words where they are.
    items_.clear();
    for (config::StoredAlert& stored : loaded) {
        tAlert& alert = items_.emplace_back();
        alert.name = std::move(stored.name);
        alert.active = stored.active;
        take_fields(alert, stored.fields);
    }
    changed();
    highlight_.keywords_changed();
}

config::AlertFields AlertSet::read(const QString& config, const QString& name) const
{
    return config::read_alert(config, name);
}

bool AlertSet::save(const QString& config, const QString& name, const config::AlertFields& fields,
                    const std::optional<config::WindowConfiguration>& new_configuration)
{
    const config::SavedAlert saved = config::save_alert(config, name, fields, new_configuration);

    tAlert* alert = find(name);
    if (alert == nullptr) {
        alert = &items_.emplace_back();
    } else {
        // Words taken out of an active alert must stop being drawn red.
        unhighlight_catchwords(*alert);
    }
    alert->name = name;
    alert->active = saved.active;
    take_fields(*alert, fields);
    changed();
    highlight_.keywords_changed();
    return saved.created;
}

void AlertSet::set_active(const QString& config, const QString& name, bool active)
{
    config::write_alert_active(config, name, active);
    tAlert* alert = find(name);
    if (alert == nullptr)
        return;
    // Only an active alert's words are in the list.
    if (!active)
        unhighlight_catchwords(*alert);
    alert->active = active;
    if (active)
        highlight_catchwords(*alert);
    changed();
    highlight_.keywords_changed();
}

void AlertSet::remove(const QString& config, const QString& name)
{
    config::remove_alert(config, name);
    std::erase_if(items_, [&](const tAlert& alert) { return config::same_name(alert.name, name); });
    changed();
}

tAlert* AlertSet::find(const QString& name)
{
    const auto found = std::find_if(items_.begin(), items_.end(),
                                    [&](const tAlert& alert) { return config::same_name(alert.name, name); });
    return found == items_.end() ? nullptr : &*found;
}

void AlertSet::take_fields(tAlert& alert, const config::AlertFields& fields)
{
    alert.color_titlebar = fields.color_titlebar;
    alert.sound = fields.sound;
    alert.command = fields.command;
    alert.notify = fields.notify;
    alert.conditions = conditions_of(fields);
    alert.catchwords = split_catchword_lines(fields.catchwords);
    highlight_catchwords(alert);
}

void AlertSet::highlight_catchwords(const tAlert& alert)
{
    // Expressions aren't words to draw: the alert alone marks what they match.
    if (has_plain_catchwords(alert))
        for (const std::string& word : alert.catchwords)
            highlight_.add_keyword(word);
}

void AlertSet::unhighlight_catchwords(const tAlert& alert)
{
    if (has_plain_catchwords(alert))
        for (const std::string& word : alert.catchwords)
            highlight_.blank_keyword(word);
}

}  // namespace alerts
