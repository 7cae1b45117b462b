#pragma once
// OpenSSL's error queue in words, for the messages the user sees.

#include <string>

namespace tls {

// The reason of the queue's last error, short ("unsupported protocol"), and the queue emptied;
// `otherwise` when the queue holds none.
std::string take_error_reason(const std::string& otherwise);

}  // namespace tls
