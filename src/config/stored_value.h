#pragma once
// The configuration layer's one error policy, value by value. Private to config/.
//
// Reading: a key that isn't there is no error; the read gives nothing and the caller skips what
// needed it. In a key, a text that isn't there reads as empty. A number or flag that every
// writer of its key writes (a configuration's port, an alert's "color_titlebar" and "active")
// raises the store's read error when it is missing or of another type; one that not every
// writer writes (added to the layout later, or a global option) takes its default then. A text
// of another type raises the store's read error, unless it is only shown (Reading::to_show).
// Writing: everything one user action writes is one store transaction, so a write the store
// refuses raises the store's write error and leaves nothing of the action behind.
// The errors are the store's own, with its messages; the caller's error report shows them.

#include "config/window_config.h"
#include "store/tregistry.h"

#include <QString>

#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace config {

// Names and texts are UTF-8 in the store.
std::string to_store(const QString& text);
QString from_store(const std::string& text);
QStringList from_store(const std::vector<std::string>& names);

// Whether every writer of a number's or flag's key writes it too (texts don't ask: missing,
// they read as empty).
enum class Presence { always_written, may_be_missing };

// One stored value of an Owner: the member it fills and its name in the store. A new value is
// one more member of Owner and one more Field in its table.
template <typename Owner, typename T>
struct Field {
    T Owner::*member;
    const std::string& name;
    Presence presence = Presence::may_be_missing;
};

// A text: missing reads as empty; of another type it raises the store's read error, or with
// Reading::to_show leaves value as it was.
void read_text(store::TRegistry& registry, const std::string& name, Reading reading, QString& value);
void read_text(store::TRegistry& registry, const std::string& name, Reading reading, std::string& value);
// A number or flag; one that may be missing keeps value, its default, when it can't be read.
void read_number(store::TRegistry& registry, const std::string& name, Presence presence, std::int32_t& value);
void read_number(store::TRegistry& registry, const std::string& name, Presence presence, bool& value);
// A protocol is stored by its name; missing, or a name this build doesn't know, reads as the
// value it had (a newer build's protocol is not guessed at).
void read_text(store::TRegistry& registry, const std::string& name, Reading reading, net::Protocol& value);

void write_value(store::TRegistry& registry, const std::string& name, const QString& value);
void write_value(store::TRegistry& registry, const std::string& name, const std::string& value);
void write_value(store::TRegistry& registry, const std::string& name, std::int32_t value);
void write_value(store::TRegistry& registry, const std::string& name, bool value);
void write_value(store::TRegistry& registry, const std::string& name, net::Protocol value);

template <typename Owner, typename T>
void read_field(store::TRegistry& registry, const Field<Owner, T>& field, Reading reading, const Owner& shown,
                Owner& read)
{
    T& value = read.*field.member;
    if constexpr (std::is_same_v<T, QString> || std::is_same_v<T, std::string> || std::is_same_v<T, net::Protocol>) {
        value = shown.*field.member;
        read_text(registry, field.name, reading, value);
    } else {
        read_number(registry, field.name, field.presence, value);
    }
}

// The fields of the key the registry has open, in their order: numbers and flags from their
// defaults in Owner, texts from shown.
template <typename Owner, typename... T>
Owner read_fields(store::TRegistry& registry, const std::tuple<Field<Owner, T>...>& fields, Reading reading,
                  const Owner& shown = {})
{
    Owner read{};
    std::apply([&](const auto&... field) { (read_field(registry, field, reading, shown, read), ...); }, fields);
    return read;
}

template <typename Owner, typename... T>
void write_fields(store::TRegistry& registry, const std::tuple<Field<Owner, T>...>& fields, const Owner& owner)
{
    std::apply([&](const auto&... field) { (write_value(registry, field.name, owner.*field.member), ...); }, fields);
}

// Writes value under the name of the field whose member is `member`.
template <typename Owner, typename T, typename... Fields>
void write_field(store::TRegistry& registry, const std::tuple<Fields...>& fields, T Owner::*member, const T& value)
{
    std::apply(
        [&](const auto&... field) {
            const auto write_if_member = [&](const auto& candidate) {
                if constexpr (std::is_same_v<decltype(candidate.member), T Owner::*>) {
                    if (candidate.member == member)
                        write_value(registry, candidate.name, value);
                }
            };
            (write_if_member(field), ...);
        },
        fields);
}

// Every value of configuration, choices included, into the key the registry has open.
void write_configuration_values(store::TRegistry& registry, const WindowConfiguration& configuration);

}  // namespace config
