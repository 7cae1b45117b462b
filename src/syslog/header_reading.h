#pragma once
// What the RFC 5424 and RFC 3164 readers share: numbers and times read at a cursor. Each
// reader moves its cursor `at` only when it succeeds, so a caller can try one form after another.

#include "syslog/message.h"

namespace syslog_proto {

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Exactly `count` digits.
bool read_number(const char*& at, const char* end, int count, int& value);
// "+HH:MM" or "-HH:MM"; the colon may be missing when not colon_required.
bool read_offset(const char*& at, const char* end, bool colon_required, Timestamp& time);
// "HH:MM:SS", and after it "." and 1 to max_digits digits of a fraction (the first six kept).
bool read_clock(const char*& at, const char* end, int max_digits, Timestamp& time);

enum class Strictness : bool { rfc5424, loose };
// "YYYY-MM-DDTHH:MM:SS[.frac](Z|+HH:MM|-HH:MM)" as RFC 5424 allows it (up to 6 digits of
// fraction, an offset required, no leap second); loose also takes a space for the T, more
// digits of fraction, "+HHMM" and no offset.
bool read_iso_time(const char*& at, const char* end, Strictness strictness, Timestamp& time);

// Fills `message` from an RFC 3164 header at `at` (after the PRI, if any), as loosely as the
// senders that claim it write it.
void read_bsd_message(const char* at, const char* end, const Timestamp& arrival_local, Message& message);

}  // namespace syslog_proto
