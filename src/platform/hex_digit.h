#pragma once
// The value of one hexadecimal digit; shared by every parser of numbers and escapes.

namespace platform {

// 0 to 15 for '0'-'9', 'a'-'f', 'A'-'F'; -1 for any other character.
constexpr int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace platform
