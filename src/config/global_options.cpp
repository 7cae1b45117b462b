// The global options and the record of open windows in the product key.

#include "config/global_options.h"

#include "config/stored_value.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <string>
#include <vector>

namespace config {

namespace {

// Both are written only by the Global options dialog, so either may be missing.
const std::tuple option_fields{
    Field{&GlobalOptions::reopen_windows, store::reopen_windows_value},
    Field{&GlobalOptions::text_limit_mb, store::max_window_text_value},
};

GlobalOptions read_options(store::TRegistry& registry)
{
    GlobalOptions options = read_fields(registry, option_fields, Reading::to_open);
    // A limit out of range counts as missing.
    if (options.text_limit_mb < 0 || options.text_limit_mb > max_text_limit_mb)
        options.text_limit_mb = default_text_limit_mb;
    return options;
}

}  // namespace

GlobalOptions read_global_options()
{
    store::TRegistry registry;
    return registry.OpenKey(store::product_key, false) ? read_options(registry) : GlobalOptions{};
}

std::optional<GlobalOptions> read_global_options_to_edit()
{
    store::TRegistry registry;
    if (!registry.OpenKey(store::product_key, true))
        return std::nullopt;
    return read_options(registry);
}

void write_global_options(const GlobalOptions& options)
{
    store::TRegistry registry;
    store::TRegistry::Transaction transaction(registry);
    registry.OpenKey(store::product_key, true);
    write_fields(registry, option_fields, options);
    transaction.commit();
}

void record_open_windows(const QStringList& names)
{
    store::TRegistry registry;
    store::TRegistry::Transaction transaction(registry);
    if (registry.OpenKey(store::product_key, true) && read_options(registry).reopen_windows) {
        registry.DeleteKey(store::open_windows_key);
        // Were the list's key not opened, the product key would stay current and take the values.
        const bool list_opened = registry.OpenKey(store::open_windows_key, true);
        for (const QString& name : names) {
            if (!list_opened)
                throw store::cannot_set_error(to_store(name));
            registry.WriteBool(to_store(name), true);
        }
    }
    transaction.commit();
}

QStringList read_recorded_windows()
{
    store::TRegistry registry;
    if (!registry.OpenKey(store::product_key, false) || !read_options(registry).reopen_windows
        || !registry.OpenKey(store::open_windows_key, false))
        return {};
    std::vector<std::string> names;
    registry.GetValueNames(names);
    return from_store(names);
}

}  // namespace config
