// Key paths of the program's window and alert configurations.

#include "store/store_paths.h"

namespace store {

std::string config_key(const std::string& config_name)
{
    return configs_key + "\\" + config_name;
}

std::string alerts_key(const std::string& config_name)
{
    return config_key(config_name) + "\\alerts";
}

std::string alert_key(const std::string& config_name, const std::string& alert_name)
{
    return alerts_key(config_name) + "\\" + alert_name;
}

}  // namespace store
