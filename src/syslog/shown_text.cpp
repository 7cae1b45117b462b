// Control pictures for the bytes that would break a message's line.

#include "syslog/shown_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace syslog_proto {

namespace {

// The UTF-8 control picture of a byte that can't be shown in a line, else nullptr.
const char* control_picture(char c)
{
    switch (c) {
    case '\n': return "\xE2\x90\x8A";
    case '\r': return "\xE2\x90\x8D";
    case '\0': return "\xE2\x90\x80";
    default: return nullptr;
    }
}

// Index of the first LF, CR or NUL in text from `from`, text.size() for none. Every message
// is looked through, so eight bytes are ruled out at a time while none of them is below 14.
std::size_t next_break(std::string_view text, std::size_t from)
{
    constexpr std::uint64_t ones = 0x0101010101010101u;
    constexpr std::uint64_t highs = 0x8080808080808080u;
    while (from < text.size()) {
        std::uint64_t word = 0;
        if (from + 8 <= text.size()) {
            std::memcpy(&word, text.data() + from, 8);
            // Set in a byte's high bit where the byte is below 14 (or, harmlessly, where a
            // borrow reaches it: those bytes are then looked at one by one).
            if (((word - ones * 14) & ~word & highs) == 0) {
                from += 8;
                continue;
            }
        }
        const std::size_t end = std::min(from + 8, text.size());
        for (; from < end; ++from) {
            const auto byte = static_cast<unsigned char>(text[from]);
            if (byte <= '\r' && control_picture(text[from]))
                return from;
        }
    }
    return text.size();
}

}  // namespace

std::string_view shown_line(std::string_view message, std::string& buffer)
{
    std::size_t at = next_break(message, 0);
    if (at == message.size())
        return message;
    buffer.assign(message.substr(0, at));
    while (at < message.size()) {
        buffer.append(control_picture(message[at]), 3);
        const std::size_t next = next_break(message, at + 1);
        buffer.append(message.substr(at + 1, next - at - 1));
        at = next;
    }
    return buffer;
}

}  // namespace syslog_proto
