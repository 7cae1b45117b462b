// Integer conversion with the framework's rules.

#include "int_conversion.h"

#include "hex_digit.h"

namespace platform {

bool try_str_to_int(std::string_view text, std::int32_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size())
        return false;

    const unsigned base = hex ? 16u : 10u;
    // Decimal magnitudes stop at 2^31 (the negative limit); hexadecimal ones at 2^32 - 1.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = hex_digit_value(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return false;
        magnitude = magnitude * base + static_cast<unsigned>(digit);
        if (magnitude > limit)
            return false;
    }
    const auto bits = static_cast<std::uint32_t>(negative ? (0ull - magnitude) : magnitude);
    value = static_cast<std::int32_t>(bits);
    return true;
}

std::int32_t str_to_int(std::string_view text)
{
    std::int32_t value = 0;
    if (!try_str_to_int(text, value))
        throw EConvertError("'" + std::string(text) + "' ist kein gültiger Integerwert");
    return value;
}

}  // namespace platform
