// RFC 3164 headers as senders really write them: BSD times with or without a year, ISO times,
// Cisco's sequence numbers, clock marks, milliseconds and zones, a hostname or none, a tag.

#include "syslog/header_reading.h"

#include <cstdint>
#include <cstring>

namespace syslog_proto {

namespace {

constexpr std::int64_t day_ms = 86'400'000;
// A Cisco sequence number "123: " has at most this many digits.
constexpr std::ptrdiff_t max_sequence_digits = 10;
// A zone name after a time: "UTC", "CEST", a Cisco clock's own name.
constexpr std::ptrdiff_t max_zone_name = 5;

const char* skip_spaces(const char* at, const char* end)
{
    while (at < end && *at == ' ')
        ++at;
    return at;
}

const char* token_end(const char* at, const char* end)
{
    while (at < end && *at != ' ')
        ++at;
    return at;
}

std::string_view view(const char* begin, const char* end)
{
    return {begin, static_cast<std::size_t>(end - begin)};
}

// 1-12 for "Jan"-"Dec", 0 for anything else.
int month_of(const char* name)
{
    static constexpr char names[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    for (int month = 0; month < 12; ++month)
        if (std::memcmp(names + month * 3, name, 3) == 0)
            return month + 1;
    return 0;
}

// A four-digit year, 1970 or later.
bool read_year(const char*& at, const char* end, Timestamp& time)
{
    const char* p = at;
    int year = 0;
    if (!read_number(p, end, 4, year) || year < 1970)
        return false;
    time.year = year;
    at = p;
    return true;
}

// " UTC", " GMT", " +01:00", " -0500" after a time; in a Cisco header also the name its clock
// was given, followed by the colon that ends the time (" CET:"). A named zone but UTC is taken
// as local time.
void read_zone(const char*& at, const char* end, bool cisco, Timestamp& time)
{
    if (end - at < 2 || *at != ' ')
        return;
    const char* p = at + 1;
    if (read_offset(p, end, false, time)) {
        at = p;
        return;
    }
    const char* name_end = p;
    while (name_end < end && *name_end >= 'A' && *name_end <= 'Z' && name_end - p <= max_zone_name)
        ++name_end;
    const std::string_view name = view(p, name_end);
    const bool ends = name_end == end || *name_end == ' ' || *name_end == ':';
    if (ends && (name == "UTC" || name == "GMT" || name == "UT" || name == "Z")) {
        time.has_offset = true;
        time.offset_minutes = 0;
        at = name_end;
    } else if (cisco && name.size() >= 2 && name.size() <= max_zone_name && name_end < end && *name_end == ':') {
        at = name_end;
    }
}

// "Mmm dd hh:mm:ss" ("Mar  1" or "Mar 01"), a year before it or after the day or after the
// time, a fraction of a second, a zone. has_year tells whether a year was sent.
bool read_bsd_time(const char*& at, const char* end, bool cisco, Timestamp& time, bool& has_year)
{
    const char* p = at;
    Timestamp read;
    has_year = false;
    if (const char* year = p; read_year(year, end, read) && year < end && *year == ' ') {
        p = year + 1;
        has_year = true;
    }
    if (end - p < 5 || (read.month = month_of(p)) == 0 || p[3] != ' ')
        return false;
    p += p[4] == ' ' ? 5 : 4;
    if (!read_number(p, end, 2, read.day) && !read_number(p, end, 1, read.day))
        return false;
    if (read.day < 1 || read.day > 31 || p == end || *p++ != ' ')
        return false;
    if (const char* year = p; !has_year && read_year(year, end, read) && year < end && *year == ' ') {
        p = year + 1;
        has_year = true;
    }
    const char* clock = p;
    if (!read_clock(p, end, 9, read))
        return false;
    const bool fraction = p - clock > 8;
    if (!has_year && p < end && *p == ' ') {
        if (const char* year = p + 1; read_year(year, end, read) && (year == end || *year == ' ' || *year == ':')) {
            p = year;
            has_year = true;
        }
    }
    read_zone(p, end, cisco || fraction, read);
    time = read;
    at = p;
    return true;
}

// The year that puts a time sent without one closest after the arrival, but not more than a
// day after it: 31 December arriving on 1 January is last year's, 1 January arriving on 31
// December (a sender's clock a little ahead) next year's.
int year_near(Timestamp time, const Timestamp& arrival)
{
    const std::int64_t latest = epoch_ms(arrival, arrival.offset_minutes) + day_ms;
    for (const int year : {arrival.year + 1, arrival.year}) {
        time.year = year;
        if (epoch_ms(time, arrival.offset_minutes) <= latest)
            return year;
    }
    return arrival.year - 1;
}

bool is_ipv6_address(std::string_view token)
{
    int colons = 0;
    for (const char c : token) {
        if (c == ':')
            ++colons;
        else if (!is_digit(c) && c != '.' && (c < 'a' || c > 'f') && (c < 'A' || c > 'F'))
            return false;
    }
    return colons >= 2;
}

// A hostname is one token followed by a space: no tag ("app:", "app[1]"), no colon unless it
// is an IPv6 address.
bool is_hostname(std::string_view token)
{
    return !token.ends_with(':') && token.find('[') == std::string_view::npos &&
           (token.find(':') == std::string_view::npos || is_ipv6_address(token));
}

// The tag "app:" or "app[pid]:" at `at`, passed with the space after it.
void read_tag(const char*& at, const char* end, Message& message)
{
    const char* tag_end = token_end(at, end);
    if (tag_end - at < 2 || tag_end[-1] != ':')
        return;
    const std::string_view tag = view(at, tag_end - 1);
    const std::size_t bracket = tag.find('[');
    if (tag.find(':') != std::string_view::npos || bracket == 0)
        return;
    if (bracket == std::string_view::npos) {
        message.app_name = tag;
    } else if (tag.back() == ']' && bracket + 1 < tag.size()) {
        message.app_name = tag.substr(0, bracket);
        message.proc_id = tag.substr(bracket + 1, tag.size() - bracket - 2);
    } else {
        return;
    }
    at = tag_end < end ? tag_end + 1 : end;
}

}  // namespace

void read_bsd_message(const char* at, const char* end, const Timestamp& arrival_local, Message& message)
{
    // A Cisco sequence number "123: ", and maybe then the device's name "host: ".
    bool cisco = false;
    const char* digits = at;
    while (digits < end && is_digit(*digits) && digits - at < max_sequence_digits)
        ++digits;
    if (digits > at && digits < end && *digits == ':' && (digits + 1 == end || digits[1] == ' ')) {
        cisco = true;
        at = skip_spaces(digits + 1, end);
        const char* name_end = token_end(at, end);
        if (name_end - at > 1 && name_end < end && name_end[-1] == ':' && *at != '*' && *at != '.' && *at != '%') {
            message.hostname = view(at, name_end - 1);
            at = skip_spaces(name_end, end);
        }
    }

    // The time, maybe after a Cisco clock mark: '*' not set, '.' not in sync.
    const char* time_start = at;
    if (at < end && (*at == '*' || *at == '.')) {
        ++at;
        cisco = true;
    }
    Timestamp time;
    bool has_year = true;
    if (!read_iso_time(at, end, Strictness::loose, time) && !read_bsd_time(at, end, cisco, time, has_year)) {
        at = time_start;
    } else {
        if (!has_year)
            time.year = year_near(time, arrival_local);
        message.timestamp = time;
        if (at < end && *at == ':')
            ++at;
        at = skip_spaces(at, end);
        const char* name_end = token_end(at, end);
        if (message.hostname.empty() && name_end > at && name_end < end && is_hostname(view(at, name_end))) {
            message.hostname = view(at, name_end);
            at = skip_spaces(name_end, end);
        }
    }
    read_tag(at, end, message);
    message.text = view(at, end);
}

}  // namespace syslog_proto
