// Reading and writing one stored value under the layer's error policy.

#include "config/stored_value.h"

#include <optional>
#include <utility>

namespace config {

std::string to_store(const QString& text)
{
    return text.toStdString();
}

QString from_store(const std::string& text)
{
    return QString::fromStdString(text);
}

QStringList from_store(const std::vector<std::string>& names)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        list.append(from_store(name));
    return list;
}

namespace {

// The text, or nothing when it can't be read and is only shown.
std::optional<std::string> stored_text(store::TRegistry& registry, const std::string& name, Reading reading)
{
    try {
        return registry.ReadString(name);
    } catch (const store::ERegistryException&) {
        if (reading == Reading::to_open)
            throw;
        return std::nullopt;
    }
}

}  // namespace

void read_text(store::TRegistry& registry, const std::string& name, Reading reading, std::string& value)
{
    if (std::optional<std::string> text = stored_text(registry, name, reading))
        value = std::move(*text);
}

void read_text(store::TRegistry& registry, const std::string& name, Reading reading, QString& value)
{
    if (const std::optional<std::string> text = stored_text(registry, name, reading))
        value = from_store(*text);
}

void read_text(store::TRegistry& registry, const std::string& name, Reading reading, net::Protocol& value)
{
    QString text;
    read_text(registry, name, reading, text);
    value = protocol_named(text).value_or(value);
}

void read_number(store::TRegistry& registry, const std::string& name, Presence presence, std::int32_t& value)
{
    try {
        value = registry.ReadInteger(name);
    } catch (const store::ERegistryException&) {
        if (presence == Presence::always_written)
            throw;
    }
}

void read_number(store::TRegistry& registry, const std::string& name, Presence presence, bool& value)
{
    std::int32_t number = value ? 1 : 0;
    read_number(registry, name, presence, number);
    value = number != 0;
}

void write_value(store::TRegistry& registry, const std::string& name, const QString& value)
{
    registry.WriteString(name, to_store(value));
}

void write_value(store::TRegistry& registry, const std::string& name, const std::string& value)
{
    registry.WriteString(name, value);
}

void write_value(store::TRegistry& registry, const std::string& name, std::int32_t value)
{
    registry.WriteInteger(name, value);
}

void write_value(store::TRegistry& registry, const std::string& name, net::Protocol value)
{
    write_value(registry, name, protocol_name(value));
}

void write_value(store::TRegistry& registry, const std::string& name, bool value)
{
    registry.WriteBool(name, value);
}

}  // namespace config
