// OpenSSL's error queue in words.

#include "tls/openssl_error.h"

#include <openssl/err.h>

namespace tls {

std::string take_error_reason(const std::string& otherwise)
{
    const unsigned long error = ERR_peek_last_error();
    const char* reason = error != 0 ? ERR_reason_error_string(error) : nullptr;
    ERR_clear_error();
    return reason != nullptr ? std::string(reason) : otherwise;
}

}  // namespace tls
