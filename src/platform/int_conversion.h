#pragma once
// Text to integer with the framework's rules, as every "port" and number field of the program uses it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Raised when a text is not an integer; carries "'<text>' ist kein gültiger Integerwert".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Accepts leading blanks, an optional sign, decimal digits or a hexadecimal number written
// with "$", "0x" or "x"; nothing may follow the digits. Decimal values must fit a signed
// 32-bit integer; hexadecimal ones may use all 32 bits (so "$FFFFFFFF" is -1).
std::int32_t str_to_int(std::string_view text);

// As str_to_int, but reports failure instead of raising.
bool try_str_to_int(std::string_view text, std::int32_t& value);

}  // namespace platform
