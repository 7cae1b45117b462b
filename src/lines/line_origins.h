#pragma once
// Where each line came from, kept beside the line store and moved with its lines: the sender's
// address of every line, and the syslog priority of lines that arrived as syslog messages.

#include "platform/peer_address.h"

#include <cstdint>
#include <deque>

namespace lines {

// A line that carries no syslog priority (typed, received as plain text, or read from a file).
inline constexpr std::uint8_t no_priority = 0xFF;
// Severities from 0 (emergency) to 7 (debug); a priority's low three bits.
inline constexpr int least_urgent_severity = 7;

// Whether a line of `priority` is at `severity` or more urgent. Every line is at debug or more
// urgent; a line without a priority is at no other severity.
constexpr bool severity_at_least(std::uint8_t priority, int severity)
{
    return severity >= least_urgent_severity || (priority != no_priority && (priority & 7) <= severity);
}

// Senders in runs of lines from one address: a sender that writes many lines in a row costs
// nothing per line, and lines from senders taking turns cost one run each, so the memory stays
// bounded by the lines kept whatever addresses a network makes up.
class LineSenders {
public:
    int line_count() const { return static_cast<int>(end() - dropped_); }
    // Unknown for a line nobody sent.
    platform::PeerAddress sender(int index) const;

    void append(int count, const platform::PeerAddress& sender);
    // `count` lines without a sender before line `index`.
    void insert_blank(int index, int count);
    void erase(int index, int count);
    void drop_front(int count);
    void clear();

private:
    // The lines before `end`, counted from the first line ever kept, and after the run before.
    struct Run {
        std::int64_t end = 0;
        platform::PeerAddress sender;
    };

    std::int64_t end() const { return runs_.empty() ? dropped_ : runs_.back().end; }
    // The first run that ends after line `index`.
    std::deque<Run>::iterator run_of(int index);
    // Makes line `index` start a run; returns that run (end() when index == line_count()).
    std::deque<Run>::iterator split_at(int index);
    void shift_ends(std::deque<Run>::iterator from, std::int64_t by);

    std::deque<Run> runs_;
    std::int64_t dropped_ = 0;
};

// One byte a line (facility * 8 + severity), kept only once a line with a priority arrived: a
// window that never receives syslog pays nothing.
class LinePriorities {
public:
    std::uint8_t priority(int index) const
    {
        return priorities_.empty() ? no_priority : priorities_[static_cast<std::size_t>(index)];
    }

    // `count` lines at the end: with the priorities given, or without one (priorities null).
    void append(int count, const std::uint8_t* priorities, int line_count_before);
    void insert_blank(int index, int count);
    void erase(int index, int count);
    void drop_front(int count);
    void clear() { priorities_.clear(); }

private:
    std::deque<std::uint8_t> priorities_;
};

}  // namespace lines
