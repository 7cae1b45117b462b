#pragma once
// Reading a syslog message: its priority, and its header fields as RFC 5424 sends them, else
// as the many RFC 3164 dialects do. Fields are views into the message; reading allocates
// nothing and asks no time zone database, so millions of messages a second can be read.

#include <cstdint>
#include <optional>
#include <string_view>

namespace syslog_proto {

enum class Severity : std::uint8_t { emergency, alert, critical, error, warning, notice, info, debug };

inline constexpr std::uint8_t default_priority = 13;  // user.notice: a message without PRI
inline constexpr std::uint8_t max_priority = 191;     // local7.debug

// The PRI of a message: the number in a leading "<N>" (1-3 digits, no leading zero except
// "<0>", N <= 191), else default_priority.
std::uint8_t read_priority(std::string_view message);

constexpr Severity severity_of(std::uint8_t priority)
{
    return static_cast<Severity>(priority & 7);
}
constexpr std::uint8_t facility_of(std::uint8_t priority)
{
    return static_cast<std::uint8_t>(priority >> 3);
}

// A time broken down as it was sent. Without an offset it is the sender's local time, which
// the receiver takes as its own.
struct Timestamp {
    int year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;  // 0-60
    int microsecond = 0;
    bool has_offset = false;
    int offset_minutes = 0;  // east of UTC
};

struct Message {
    std::uint8_t priority = default_priority;
    bool has_priority = false;  // a valid "<N>" led the message
    int version = 0;            // 1 for RFC 5424, 0 for RFC 3164
    std::optional<Timestamp> timestamp;
    // Views into the message; a field not sent, or sent as the nil value "-", is empty.
    // structured_data is the elements as sent ("[id a=\"1\"][id2 b=\"\\]\"]"), escapes kept.
    std::string_view hostname, app_name, proc_id, msg_id, structured_data, text;
};

// Reads a message: RFC 5424 strictly first, else RFC 3164 loosely (a message without any of
// its header is all text). arrival_local is when it arrived in the receiver's local calendar
// time, with has_offset and the receiver's offset: RFC 3164 times have no year, and take the
// one that puts them at most a day after the arrival.
Message read_message(std::string_view message, const Timestamp& arrival_local);

// Milliseconds since the epoch of a timestamp read_message gave; a time without offset is
// taken at local_offset_minutes.
std::int64_t epoch_ms(const Timestamp& time, int local_offset_minutes);

}  // namespace syslog_proto
