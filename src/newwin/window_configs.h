#pragma once
// The stored window configurations as the New window dialog and the New action see them:
// names, port and command, read and written through the configuration store.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {
class TRegistry;
}

namespace newwin {

// True for a name that names no key below the configs key: the empty name, and a name made of
// backslashes only (the store reads every backslash as a level separator and skips empty
// levels, so such a name would address the configs key itself).
bool names_no_config(const std::string& name);

// Fills names with the stored configuration names, in the store's order. False, with names
// untouched, when the configs key doesn't exist.
bool read_config_names(std::vector<std::string>& names);

bool config_exists(const std::string& name);

struct StoredConfig {
    std::int32_t port = 0;
    // Empty when the "command" value can't be read as a string; a missing value reads as "".
    std::optional<std::string> command;
    bool local_only = false;
};

// The "localonly" value of the configuration key the registry has open; missing or of another
// type reads as off, as configurations saved before it existed must.
bool read_local_only(store::TRegistry& registry);

// Nothing when no such configuration is stored. A missing or non-integer port raises the
// store's read error.
std::optional<StoredConfig> read_config(const std::string& name);

// Creates the configuration (and any missing key above it) or overwrites its port, command and
// whether only this computer may send. A write the store refuses raises its write error.
void write_config(const std::string& name, std::int32_t port, const std::string& command, bool local_only);

// Deletes the configuration with everything below it (its alert configurations too).
// False when there was none.
bool remove_config(const std::string& name);

}  // namespace newwin
