// Alert configurations in the store: the table of an alert's values and the alert editor's
// store operations, each user action one transaction.

#include "config/alert_config.h"

#include "config/stored_value.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <utility>

namespace config {

namespace {

// An alert's values besides "active", in the order they are written.
const std::tuple alert_fields{
    Field{&AlertFields::sound, store::sound_value},
    Field{&AlertFields::command, store::command_value},
    Field{&AlertFields::catchwords, store::catchwords_value},
    Field{&AlertFields::color_titlebar, store::color_titlebar_value, Presence::always_written},
    Field{&AlertFields::notify, store::notify_value},
    Field{&AlertFields::regex, store::regex_value},
    Field{&AlertFields::min_severity, store::min_severity_value},
    Field{&AlertFields::burst_count, store::burst_count_value},
    Field{&AlertFields::burst_seconds, store::burst_seconds_value},
    Field{&AlertFields::silence, store::silence_value},
};

std::string key_of(const QString& config, const QString& name)
{
    return store::alert_key(to_store(config), to_store(name));
}

QString with_line_feeds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

QString shown_catchwords(const std::string& stored)
{
    return with_line_feeds(from_store(stored));
}

std::string catchwords_for_store(const QString& shown)
{
    return to_store(with_line_feeds(shown).replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
}

bool read_alerts(const QString& config, std::vector<StoredAlert>& alerts)
{
    const std::string config_key = to_store(config);
    store::TRegistry registry;
    if (!registry.OpenKey(store::alerts_key(config_key), false))
        return false;
    std::vector<std::string> names;
    registry.GetKeyNames(names);
    for (const std::string& name : names) {
        registry.CloseKey();
        registry.OpenKey(store::alert_key(config_key, name), false);
        StoredAlert alert;
        alert.fields = read_fields(registry, alert_fields, Reading::to_open);
        read_number(registry, store::active_value, Presence::always_written, alert.active);
        alert.name = from_store(name);
        alerts.push_back(std::move(alert));
    }
    return true;
}

AlertFields read_alert(const QString& config, const QString& name)
{
    store::TRegistry registry;
    // An alert removed meanwhile has no "color_titlebar": that raises the store's read error.
    registry.OpenKey(key_of(config, name), false);
    return read_fields(registry, alert_fields, Reading::to_open);
}

SavedAlert save_alert(const QString& config, const QString& name, const AlertFields& fields,
                      const std::optional<WindowConfiguration>& new_configuration)
{
    store::TRegistry registry;
    store::TRegistry::Transaction transaction(registry);
    if (new_configuration) {
        registry.OpenKey(store::config_key(to_store(config)), true);
        write_configuration_values(registry, *new_configuration);
        // Without an opened alert key the writes below fail and say so, instead of landing in
        // the window configuration's key.
        registry.CloseKey();
    }
    registry.OpenKey(key_of(config, name), true);
    write_fields(registry, alert_fields, fields);
    SavedAlert saved;
    try {
        saved.active = registry.ReadBool(store::active_value);
    } catch (const store::ERegistryException&) {
        // Every save writes "active", so an alert without it is new: enabled from the start.
        registry.WriteBool(store::active_value, true);
        saved = {true, true};
    }
    transaction.commit();
    return saved;
}

void write_alert_active(const QString& config, const QString& name, bool active)
{
    store::TRegistry registry;
    store::TRegistry::Transaction transaction(registry);
    registry.OpenKey(key_of(config, name), false);
    registry.WriteBool(store::active_value, active);
    transaction.commit();
}

void remove_alert(const QString& config, const QString& name)
{
    store::TRegistry().DeleteKey(key_of(config, name));
}

}  // namespace config
