// Window configurations in the store: the table of their values, read and written under the
// layer's error policy.

#include "config/window_config.h"

#include "config/stored_value.h"
#include "store/key_path.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <string>
#include <vector>

namespace config {

namespace {

// What the New window dialog shows and saves, in the order it is written.
const std::tuple dialog_fields{
    Field{&WindowConfiguration::port, store::port_value, Presence::always_written},
    Field{&WindowConfiguration::command, store::command_value},
    Field{&WindowConfiguration::local_only, store::local_only_value},
    Field{&WindowConfiguration::protocol, store::protocol_value},
    Field{&WindowConfiguration::allow_from, store::allow_from_value},
    Field{&WindowConfiguration::tls_auth, store::tls_auth_value},
    Field{&WindowConfiguration::tls_ca, store::tls_ca_value},
    Field{&WindowConfiguration::tls_fingerprints, store::tls_fingerprints_value},
};

// What a window remembers of its own choices, in the order it is written.
const std::tuple choice_fields{
    Field{&WindowChoices::log_file, store::log_file_value},
    Field{&WindowChoices::arrival_times, store::arrival_times_value},
    Field{&WindowChoices::sender_addresses, store::sender_addresses_value},
};

std::string key_of(const QString& name)
{
    return store::config_key(to_store(name));
}

// Opens the configuration's key; false when there is none of that name.
bool open_config(store::TRegistry& registry, const QString& name)
{
    return !names_no_config(name) && registry.OpenKey(key_of(name), false);
}

}  // namespace

QString protocol_name(net::Protocol protocol)
{
    switch (protocol) {
    case net::Protocol::syslog:
        return QStringLiteral("syslog");
    case net::Protocol::syslog_tls:
        return QStringLiteral("syslog-tls");
    case net::Protocol::lines:
        break;
    }
    return QStringLiteral("lines");
}

std::optional<net::Protocol> protocol_named(const QString& name)
{
    for (const net::Protocol protocol : {net::Protocol::lines, net::Protocol::syslog, net::Protocol::syslog_tls})
        if (name == protocol_name(protocol))
            return protocol;
    return std::nullopt;
}

WindowTitles saved_window_titles(const QString& name)
{
    return {QStringLiteral("LOG: ") + name, name};
}

WindowTitles unsaved_window_titles(const QString& port_text)
{
    return {QStringLiteral("LOG: Receiving on port ") + port_text,
            QStringLiteral("on port ") + port_text + QStringLiteral(", but not saved yet.")};
}

bool names_no_config(const QString& name)
{
    return to_store(name).find_first_not_of('\\') == std::string::npos;
}

bool same_name(const QString& left, const QString& right)
{
    return store::fold_name(to_store(left)) == store::fold_name(to_store(right));
}

std::optional<QStringList> read_config_names()
{
    store::TRegistry registry;
    if (!registry.OpenKey(store::configs_key, false))
        return std::nullopt;
    std::vector<std::string> names;
    registry.GetKeyNames(names);
    return from_store(names);
}

bool config_exists(const QString& name)
{
    store::TRegistry registry;
    return open_config(registry, name);
}

std::optional<WindowConfiguration> read_window_configuration(const QString& name, Reading reading,
                                                             const WindowConfiguration& shown)
{
    store::TRegistry registry;
    if (!open_config(registry, name))
        return std::nullopt;
    WindowConfiguration read = read_fields(registry, dialog_fields, reading, shown);
    read.choices = shown.choices;
    return read;
}

void write_window_configuration(const QString& name, const WindowConfiguration& configuration)
{
    store::TRegistry registry;
    store::TRegistry::Transaction transaction(registry);
    // A key that can't be made leaves no current key: the first write raises the store's error.
    registry.OpenKey(key_of(name), true);
    write_fields(registry, dialog_fields, configuration);
    transaction.commit();
}

bool remove_window_configuration(const QString& name)
{
    return !names_no_config(name) && store::TRegistry().DeleteKey(key_of(name));
}

std::optional<WindowChoices> read_window_choices(const QString& name)
{
    store::TRegistry registry;
    if (!open_config(registry, name))
        return std::nullopt;
    return read_fields(registry, choice_fields, Reading::to_open);
}

template <typename T>
void remember_window_choice(const QString& name, T WindowChoices::*choice, const T& value)
{
    store::TRegistry registry;
    if (open_config(registry, name))
        write_field(registry, choice_fields, choice, value);
}

template void remember_window_choice(const QString&, QString WindowChoices::*, const QString&);
template void remember_window_choice(const QString&, bool WindowChoices::*, const bool&);

void write_configuration_values(store::TRegistry& registry, const WindowConfiguration& configuration)
{
    write_fields(registry, dialog_fields, configuration);
    write_fields(registry, choice_fields, configuration.choices);
}

}  // namespace config
