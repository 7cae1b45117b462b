// The alert set: the collection with its matching and highlighting, and its store operations,
// each user action one store transaction.

#include "alerts/alert_set.h"

#include "store/key_path.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <algorithm>
#include <utility>

namespace alerts {

namespace {

// Names and texts are UTF-8 in the store.
std::string to_store(const QString& text)
{
    return text.toStdString();
}

QString from_store(const std::string& text)
{
    return QString::fromStdString(text);
}

// "notify" came after the other values: an alert saved before it has none, and is off.
bool read_notify(store::TRegistry& registry)
{
    try {
        return registry.ReadBool(store::notify_value);
    } catch (const store::ERegistryException&) {
        return false;
    }
}

bool same_name(const QString& left, const QString& right)
{
    return store::fold_name(to_store(left)) == store::fold_name(to_store(right));
}

}  // namespace

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
    store::TRegistry registry;
    const std::string config_key = to_store(config);
    if (!registry.OpenKey(store::alerts_key(config_key), false))
        return false;
    std::vector<std::string> names;
    registry.GetKeyNames(names);
    // Clearing leaves the highlighted words where they are.
    items_.clear();
    matcher_stale_ = true;
    // Also when a broken alert ends the loading: the words of those before it are in.
    struct Changed {
        HighlightList& list;
        ~Changed() { list.keywords_changed(); }
    } changed{highlight_};
    for (const std::string& name : names) {
        registry.CloseKey();
        registry.OpenKey(store::alert_key(config_key, name), false);
        tAlert alert;
        alert.name = from_store(name);
        alert.color_titlebar = registry.ReadBool(store::color_titlebar_value);
        alert.sound = from_store(registry.ReadString(store::sound_value));
        alert.command = from_store(registry.ReadString(store::command_value));
        alert.active = registry.ReadBool(store::active_value);
        alert.notify = read_notify(registry);
        make_catchword_list(alert.catchwords, registry.ReadString(store::catchwords_value), alert.active);
        items_.push_back(std::move(alert));
    }
    return true;
}

AlertFields AlertSet::read(const QString& config, const QString& name) const
{
    store::TRegistry registry;
    registry.OpenKey(store::alert_key(to_store(config), to_store(name)), false);
    AlertFields fields;
    fields.sound = from_store(registry.ReadString(store::sound_value));
    fields.command = from_store(registry.ReadString(store::command_value));
    fields.catchwords = registry.ReadString(store::catchwords_value);
    fields.color_titlebar = registry.ReadBool(store::color_titlebar_value);
    fields.notify = read_notify(registry);
    return fields;
}

bool AlertSet::save(const QString& config, const QString& name, const AlertFields& fields,
                    const std::optional<NewConfiguration>& new_configuration)
{
    const std::string config_key = to_store(config);
    store::TRegistry registry;
    store::TRegistry::Transaction transaction(registry);
    if (new_configuration) {
        registry.OpenKey(store::config_key(config_key), true);
        registry.WriteInteger(store::port_value, new_configuration->port);
        registry.WriteString(store::command_value, to_store(new_configuration->command));
        registry.WriteBool(store::local_only_value, new_configuration->local_only);
        registry.WriteString(store::log_file_value, to_store(new_configuration->log_file));
        registry.WriteBool(store::arrival_times_value, new_configuration->arrival_times);
        // Without an opened alert key the writes below fail and say so, instead of landing in
        // the window configuration's key.
        registry.CloseKey();
    }
    registry.OpenKey(store::alert_key(config_key, to_store(name)), true);
    registry.WriteString(store::sound_value, to_store(fields.sound));
    registry.WriteString(store::command_value, to_store(fields.command));
    registry.WriteString(store::catchwords_value, fields.catchwords);
    registry.WriteBool(store::color_titlebar_value, fields.color_titlebar);
    registry.WriteBool(store::notify_value, fields.notify);
    bool created = false;
    bool active = false;
    try {
        active = registry.ReadBool(store::active_value);
    } catch (const store::ERegistryException&) {
        // No "active" yet: a new alert, enabled from the start.
        registry.WriteBool(store::active_value, true);
        active = true;
        created = true;
    }
    transaction.commit();

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
    alert->active = active;
    make_catchword_list(alert->catchwords, fields.catchwords, active);
    matcher_stale_ = true;
    highlight_.keywords_changed();
    return created;
}

void AlertSet::set_active(const QString& config, const QString& name, bool active)
{
    {
        store::TRegistry registry;
        store::TRegistry::Transaction transaction(registry);
        registry.OpenKey(store::alert_key(to_store(config), to_store(name)), false);
        registry.WriteBool(store::active_value, active);
        transaction.commit();
    }
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
    // One deletion, with everything under the key; a key that is already gone is fine.
    store::TRegistry().DeleteKey(store::alert_key(to_store(config), to_store(name)));
    std::erase_if(items_, [&](const tAlert& alert) { return same_name(alert.name, name); });
    matcher_stale_ = true;
}

tAlert* AlertSet::find(const QString& name)
{
    const auto found = std::find_if(items_.begin(), items_.end(),
                                    [&](const tAlert& alert) { return same_name(alert.name, name); });
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
