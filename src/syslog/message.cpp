// The priority, the RFC 5424 header read strictly, the times both headers use, and the
// arithmetic of calendar dates.

#include "syslog/message.h"

#include "syslog/header_reading.h"

#include <cstddef>

namespace syslog_proto {

namespace {

// Longest fields RFC 5424 allows.
constexpr std::ptrdiff_t max_hostname = 255;
constexpr std::ptrdiff_t max_app_name = 48;
constexpr std::ptrdiff_t max_proc_id = 128;
constexpr std::ptrdiff_t max_msg_id = 32;
constexpr std::ptrdiff_t max_sd_name = 32;

constexpr bool is_leap_year(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int days_in_month(int year, int month)
{
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar (after Howard Hinnant's
// days_from_civil): no time zone database, no library call.
constexpr std::int64_t days_from_civil(int year, int month, int day)
{
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t year_of_era = y - era * 400;
    const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}
static_assert(days_from_civil(1970, 1, 1) == 0 && days_from_civil(2000, 3, 1) == 11017);

// The length of a valid leading "<N>", 0 for none.
std::size_t priority_length(std::string_view message, std::uint8_t& priority)
{
    std::size_t at = 1;
    int value = 0;
    for (; at < message.size() && at <= 4 && is_digit(message[at]); ++at)
        value = value * 10 + (message[at] - '0');
    const std::size_t digits = at - 1;
    if (message.empty() || message[0] != '<' || digits == 0 || digits > 3 || at == message.size() || message[at] != '>' ||
        value > max_priority || (digits > 1 && message[1] == '0'))
        return 0;
    priority = static_cast<std::uint8_t>(value);
    return at + 1;
}

// A header field up to the space after it: 1 to max_length printable US-ASCII characters,
// the nil value "-" read as empty. The space is passed.
bool read_field(const char*& at, const char* end, std::ptrdiff_t max_length, std::string_view& field)
{
    const char* start = at;
    const char* last = end - at > max_length ? at + max_length : end;
    const char* p = at;
    while (p < last && *p > ' ' && *p < 127)
        ++p;
    if (p == start || p == end || *p != ' ')
        return false;
    field = p - start == 1 && *start == '-' ? std::string_view() : std::string_view(start, static_cast<std::size_t>(p - start));
    at = p + 1;
    return true;
}

// An SD-ID or PARAM-NAME: 1 to 32 printable US-ASCII characters but '=', ' ', ']' and '"'.
bool read_sd_name(const char*& at, const char* end)
{
    const char* p = at;
    while (p < end && p - at <= max_sd_name && *p > ' ' && *p < 127 && *p != '=' && *p != ']' && *p != '"')
        ++p;
    if (p == at || p - at > max_sd_name)
        return false;
    at = p;
    return true;
}

// A PARAM-VALUE between its quotes, the closing quote passed; '\' escapes '"', '\' and ']'.
bool read_sd_value(const char*& at, const char* end)
{
    for (const char* p = at; p < end; ++p) {
        if (*p == '"') {
            at = p + 1;
            return true;
        }
        if (*p == '\\' && end - p > 1 && (p[1] == '"' || p[1] == '\\' || p[1] == ']'))
            ++p;
    }
    return false;
}

// One or more elements "[id name=\"value\" ...]".
bool read_structured_data(const char*& at, const char* end)
{
    const char* p = at;
    do {
        ++p;  // '['
        if (!read_sd_name(p, end))
            return false;
        while (p < end && *p == ' ') {
            ++p;
            if (!read_sd_name(p, end) || end - p < 2 || p[0] != '=' || p[1] != '"')
                return false;
            p += 2;
            if (!read_sd_value(p, end))
                return false;
        }
        if (p == end || *p != ']')
            return false;
        ++p;
    } while (p < end && *p == '[');
    at = p;
    return true;
}

// "1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID STRUCTURED-DATA [MSG]" after the PRI.
bool read_rfc5424(const char* at, const char* end, Message& message)
{
    if (end - at < 2 || at[0] != '1' || at[1] != ' ')
        return false;
    at += 2;
    if (at < end && *at == '-') {
        ++at;
    } else {
        Timestamp time;
        if (!read_iso_time(at, end, Strictness::rfc5424, time))
            return false;
        message.timestamp = time;
    }
    if (at == end || *at != ' ')
        return false;
    ++at;
    if (!read_field(at, end, max_hostname, message.hostname) || !read_field(at, end, max_app_name, message.app_name) ||
        !read_field(at, end, max_proc_id, message.proc_id) || !read_field(at, end, max_msg_id, message.msg_id))
        return false;
    const char* data = at;
    if (at < end && *at == '-') {
        ++at;
    } else if (at < end && *at == '[') {
        if (!read_structured_data(at, end))
            return false;
        message.structured_data = std::string_view(data, static_cast<std::size_t>(at - data));
    } else {
        return false;
    }
    if (at < end) {
        if (*at != ' ')
            return false;
        ++at;
        if (end - at >= 3 && at[0] == '\xEF' && at[1] == '\xBB' && at[2] == '\xBF')
            at += 3;  // the byte order mark announcing UTF-8
    }
    message.text = std::string_view(at, static_cast<std::size_t>(end - at));
    message.version = 1;
    return true;
}

}  // namespace

bool read_number(const char*& at, const char* end, int count, int& value)
{
    if (end - at < count)
        return false;
    int number = 0;
    for (int i = 0; i < count; ++i) {
        if (!is_digit(at[i]))
            return false;
        number = number * 10 + (at[i] - '0');
    }
    value = number;
    at += count;
    return true;
}

bool read_offset(const char*& at, const char* end, bool colon_required, Timestamp& time)
{
    const char* p = at;
    if (p == end || (*p != '+' && *p != '-'))
        return false;
    const int sign = *p++ == '-' ? -1 : 1;
    int hours = 0;
    int minutes = 0;
    if (!read_number(p, end, 2, hours))
        return false;
    if (p < end && *p == ':')
        ++p;
    else if (colon_required)
        return false;
    if (!read_number(p, end, 2, minutes) || hours > 23 || minutes > 59)
        return false;
    time.has_offset = true;
    time.offset_minutes = sign * (hours * 60 + minutes);
    at = p;
    return true;
}

bool read_clock(const char*& at, const char* end, int max_digits, Timestamp& time)
{
    const char* p = at;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!read_number(p, end, 2, hour) || p == end || *p++ != ':' || !read_number(p, end, 2, minute) || p == end ||
        *p++ != ':' || !read_number(p, end, 2, second) || hour > 23 || minute > 59 || second > 60)
        return false;
    int microsecond = 0;
    if (p < end && *p == '.') {
        const char* digits = ++p;
        for (; p < end && is_digit(*p) && p - digits < max_digits; ++p)
            if (p - digits < 6)
                microsecond = microsecond * 10 + (*p - '0');
        if (p == digits || (p < end && is_digit(*p)))
            return false;
        for (std::ptrdiff_t place = p - digits; place < 6; ++place)
            microsecond *= 10;
    }
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    time.microsecond = microsecond;
    at = p;
    return true;
}

bool read_iso_time(const char*& at, const char* end, Strictness strictness, Timestamp& time)
{
    const bool strict = strictness == Strictness::rfc5424;
    const char* p = at;
    Timestamp read;
    if (!read_number(p, end, 4, read.year) || p == end || *p++ != '-' || !read_number(p, end, 2, read.month) ||
        p == end || *p++ != '-' || !read_number(p, end, 2, read.day) || p == end ||
        (*p != 'T' && (strict || *p != ' ')))
        return false;
    ++p;
    if (read.month < 1 || read.month > 12 || read.day < 1 || read.day > days_in_month(read.year, read.month) ||
        !read_clock(p, end, strict ? 6 : 9, read) || (strict && read.second > 59))
        return false;
    if (p < end && *p == 'Z') {
        ++p;
        read.has_offset = true;
    } else if (!read_offset(p, end, strict, read) && strict) {
        return false;
    }
    time = read;
    at = p;
    return true;
}

std::uint8_t read_priority(std::string_view message)
{
    std::uint8_t priority = default_priority;
    priority_length(message, priority);
    return priority;
}

Message read_message(std::string_view message, const Timestamp& arrival_local)
{
    Message read;
    const std::size_t header = priority_length(message, read.priority);
    read.has_priority = header > 0;
    const char* begin = message.data();
    const char* end = begin + message.size();
    if (header > 0) {
        Message strict = read;
        if (read_rfc5424(begin + header, end, strict))
            return strict;
    }
    read_bsd_message(begin + header, end, arrival_local, read);
    return read;
}

std::int64_t epoch_ms(const Timestamp& time, int local_offset_minutes)
{
    const std::int64_t minutes = (days_from_civil(time.year, time.month, time.day) * 24 + time.hour) * 60 + time.minute -
                                 (time.has_offset ? time.offset_minutes : local_offset_minutes);
    return (minutes * 60 + time.second) * 1000 + time.microsecond / 1000;
}

}  // namespace syslog_proto
