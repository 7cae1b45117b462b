// Window configuration access for the New window dialog; one store object per operation.

#include "newwin/window_configs.h"

#include "store/store_paths.h"
#include "store/tregistry.h"

namespace newwin {

bool names_no_config(const std::string& name)
{
    return name.find_first_not_of('\\') == std::string::npos;
}

bool read_config_names(std::vector<std::string>& names)
{
    store::TRegistry registry;
    if (!registry.OpenKey(store::configs_key, false))
        return false;
    registry.GetKeyNames(names);
    registry.CloseKey();
    return true;
}

bool config_exists(const std::string& name)
{
    if (names_no_config(name))
        return false;
    store::TRegistry registry;
    return registry.OpenKey(store::config_key(name), false);
}

std::optional<StoredConfig> read_config(const std::string& name)
{
    if (names_no_config(name))
        return std::nullopt;
    store::TRegistry registry;
    if (!registry.OpenKey(store::config_key(name), false))
        return std::nullopt;
    StoredConfig config;
    config.port = registry.ReadInteger(store::port_value);
    try {
        config.command = registry.ReadString(store::command_value);
    } catch (const store::ERegistryException&) {
        // A command of another type leaves the shown command as it is; nothing to report.
    }
    config.local_only = read_local_only(registry);
    registry.CloseKey();
    return config;
}

bool read_local_only(store::TRegistry& registry)
{
    try {
        return registry.ReadBool(store::local_only_value);
    } catch (const store::ERegistryException&) {
        return false;
    }
}

void write_config(const std::string& name, std::int32_t port, const std::string& command, bool local_only)
{
    store::TRegistry registry;
    // When the key can't be opened there is no current key, and the first write raises the
    // store's write error.
    registry.OpenKey(store::config_key(name), true);
    registry.WriteInteger(store::port_value, port);
    registry.WriteString(store::command_value, command);
    registry.WriteBool(store::local_only_value, local_only);
    registry.CloseKey();
}

bool remove_config(const std::string& name)
{
    if (names_no_config(name))
        return false;
    store::TRegistry registry;
    if (!registry.OpenKey(store::config_key(name), false))
        return false;
    registry.CloseKey();
    return registry.DeleteKey(store::config_key(name));
}

}  // namespace newwin
