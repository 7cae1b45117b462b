// The alert set: the collection with its matching and highlighting, and its store operations
// through the configuration layer.

#include "alerts/alert_set.h"

#include <algorithm>
#include <utility>

namespace alerts {

void AlertSet::assign(std::vector<tAlert> alerts)
{
    items_ = std::move(alerts);
    matcher_stale_ = true;
}

std::vector<AlertActions> AlertSet::check_line(std::string_view line)
{
    if (matcher_stale_) {
        matcher_.compile(items_);
        matcher_stale_ = false;
    }
    std::vector<AlertActions> firing;
    const std::span<const CatchwordMatch> matches = matcher_.find(line);
    if (matches.empty())
        return firing;
    firing.reserve(matches.size());
    for (const CatchwordMatch& match : matches) {
        const tAlert& alert = items_[match.alert];
        firing.push_back({alert.color_titlebar, alert.sound, alert.command, alert.notify});
    }
    return firing;
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
    matcher_stale_ = true;
    for (config::StoredAlert& stored : loaded) {
        tAlert alert;
        alert.name = std::move(stored.name);
        alert.color_titlebar = stored.fields.color_titlebar;
        alert.sound = std::move(stored.fields.sound);
        alert.command = std::move(stored.fields.command);
        alert.active = stored.active;
        alert.notify = stored.fields.notify;
        make_catchword_list(alert.catchwords, stored.fields.catchwords, alert.active);
        items_.push_back(std::move(alert));
    }
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
    } else if (alert->active) {
        // Words taken out of an active alert must stop being drawn red.
        unhighlight_catchwords(alert->catchwords);
    }
    alert->name = name;
    alert->command = fields.command;
    alert->sound = fields.sound;
    alert->color_titlebar = fields.color_titlebar;
    alert->notify = fields.notify;
    alert->active = saved.active;
    make_catchword_list(alert->catchwords, fields.catchwords, saved.active);
    matcher_stale_ = true;
    highlight_.keywords_changed();
    return saved.created;
}

void AlertSet::set_active(const QString& config, const QString& name, bool active)
{
    config::write_alert_active(config, name, active);
    tAlert* alert = find(name);
    if (alert == nullptr)
        return;
    alert->active = active;
    matcher_stale_ = true;
    if (active)
        highlight_catchwords(alert->catchwords);
    else
        unhighlight_catchwords(alert->catchwords);
    highlight_.keywords_changed();
}

void AlertSet::remove(const QString& config, const QString& name)
{
    config::remove_alert(config, name);
    std::erase_if(items_, [&](const tAlert& alert) { return config::same_name(alert.name, name); });
    matcher_stale_ = true;
}

tAlert* AlertSet::find(const QString& name)
{
    const auto found = std::find_if(items_.begin(), items_.end(),
                                    [&](const tAlert& alert) { return config::same_name(alert.name, name); });
    return found == items_.end() ? nullptr : &*found;
}

void AlertSet::make_catchword_list(std::vector<std::string>& target, std::string_view text, bool active)
{
    target = split_catchword_lines(text);
    if (active)
        highlight_catchwords(target);
}

void AlertSet::highlight_catchwords(std::span<const std::string> words)
{
    for (const std::string& word : words)
        highlight_.add_keyword(word);
}

void AlertSet::unhighlight_catchwords(std::span<const std::string> words)
{
    for (const std::string& word : words)
        highlight_.blank_keyword(word);
}

}  // namespace alerts
