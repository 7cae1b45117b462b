// Recording and reopening the windows open at quit.

#include "shell/window_reopening.h"

#include "newwin/window_configs.h"
#include "platform/error_report.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <exception>

namespace shell {

bool read_reopen_option(store::TRegistry& registry)
{
    try {
        return registry.ReadBool(store::reopen_windows_value);
    } catch (const std::exception&) {
        return false;
    }
}

void record_open_windows(const std::vector<OpenWindowRecord>& windows)
{
    store::TRegistry registry;
    if (!registry.OpenKey(store::product_key, true) || !read_reopen_option(registry))
        return;
    registry.DeleteKey(store::open_windows_key);
    // Were the list's key not opened, the product key would stay current and take the values.
    const bool list_opened = registry.OpenKey(store::open_windows_key, true);
    for (const OpenWindowRecord& window : windows) {
        if (!window.is_saved)
            continue;
        if (!list_opened)
            throw store::cannot_set_error(window.config_name);
        registry.WriteBool(window.config_name, true);
    }
}

void reopen_recorded_windows(const newwin::OpenLogWindow& open_log_window)
{
    std::vector<std::string> names;
    {
        store::TRegistry registry;
        if (!registry.OpenKey(store::product_key, false) || !read_reopen_option(registry))
            return;
        if (!registry.OpenKey(store::open_windows_key, false))
            return;
        registry.GetValueNames(names);
    }
    for (const std::string& name : names) {
        // One unreadable configuration must not keep the others from opening.
        platform::guarded([&] {
            store::TRegistry registry;
            if (!registry.OpenKey(store::config_key(name), false))
                return;  // removed since it was recorded
            const std::string command = registry.ReadString(store::command_value);
            const std::int32_t port = registry.ReadInteger(store::port_value);
            const bool local_only = newwin::read_local_only(registry);
            registry.CloseKey();
            const QString config_name = QString::fromStdString(name);
            open_log_window(port, true, config_name, QStringLiteral("LOG: ") + config_name,
                            QString::fromStdString(command), config_name, local_only);
        });
    }
}

}  // namespace shell
