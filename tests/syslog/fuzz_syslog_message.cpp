// libFuzzer target: arbitrary bytes read as a syslog message. Every field must lie within the
// message, every number in its range, the priority as read_priority reads it alone, and the
// shown line must hold no line break and lose no byte.

#include "syslog/message.h"
#include "syslog/shown_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace syslog_proto;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The arrival time from the first bytes, any day of 1970 to 9999 at any offset.
Timestamp consume_arrival(const std::uint8_t*& data, std::size_t& size)
{
    std::uint8_t bytes[6] = {};
    for (std::uint8_t& byte : bytes)
        if (size > 0) {
            byte = *data++;
            --size;
        }
    return {1970 + (bytes[0] << 8 | bytes[1]) % 8030, 1 + bytes[2] % 12, 1 + bytes[3] % 28, bytes[4] % 24, bytes[5] % 60,
            bytes[4] % 61, 0, true, (bytes[5] * 7 + bytes[0]) % 1681 - 840};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Timestamp arrival = consume_arrival(data, size);
    // The fuzzer's own buffer, exactly the message's size: a read past it is reported.
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const Message message = read_message(line, arrival);

    check(message.priority <= max_priority && message.priority == read_priority(line));
    check(message.has_priority || message.priority == default_priority);
    check(message.version == 0 || message.version == 1);
    for (const std::string_view field :
         {message.hostname, message.app_name, message.proc_id, message.msg_id, message.structured_data, message.text})
        check(field.empty() || (field.data() >= line.data() && field.data() + field.size() <= line.data() + line.size()));
    if (const std::optional<Timestamp>& time = message.timestamp) {
        check(time->month >= 1 && time->month <= 12 && time->day >= 1 && time->day <= 31 && time->hour >= 0 &&
              time->hour <= 23 && time->minute >= 0 && time->minute <= 59 && time->second >= 0 && time->second <= 60 &&
              time->microsecond >= 0 && time->microsecond < 1'000'000 && time->offset_minutes > -24 * 60 &&
              time->offset_minutes < 24 * 60);
        epoch_ms(*time, arrival.offset_minutes);
    }

    std::string buffer;
    const std::string_view shown = shown_line(line, buffer);
    std::size_t breaks = 0;
    for (const char c : line)
        breaks += c == '\n' || c == '\r' || c == '\0';
    check(shown.size() == line.size() + 2 * breaks);
    check(shown.find_first_of(std::string_view("\n\r\0", 3)) == std::string_view::npos);
    check(breaks > 0 || shown.data() == line.data());
    return 0;
}
