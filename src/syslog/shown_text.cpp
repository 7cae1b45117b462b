// Control pictures for the bytes that would break a message's line.

#include "syslog/shown_text.h"

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

// Index of the first LF, CR or NUL in text from `from`, text.size() for none.
std::size_t next_break(std::string_view text, std::size_t from)
{
    for (; from < text.size(); ++from) {
        const auto byte = static_cast<unsigned char>(text[from]);
        if (byte <= '\r' && control_picture(text[from]))
            break;
    }
    return from;
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
