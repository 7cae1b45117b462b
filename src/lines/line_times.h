#pragma once
// When each line of a text view was completed: one time per line, kept beside the line store
// and moved with its lines, in about four bytes a line.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

namespace lines {

// Milliseconds since the Unix epoch, local time zone applied only when shown.
using ArrivalTime = std::int64_t;
// A line the user typed or split off: it shows no time.
inline constexpr ArrivalTime no_arrival_time = std::numeric_limits<ArrivalTime>::min();

// Writes arrival times as local "HH:MM:SS.mmm", as the view shows them and a saved log
// carries them. Converting to local time is done once a second of the times given, so a save
// of millions of lines costs little more than copying the digits.
class ArrivalTimeFormat {
public:
    // The text of `time`; valid until the next call. Empty for no_arrival_time.
    std::string_view text(ArrivalTime time);
    static constexpr std::size_t length = 12;  // "HH:MM:SS.mmm"

private:
    std::int64_t second_ = std::numeric_limits<std::int64_t>::min();
    char text_[length] = {};
};

class LineTimes {
public:
    int line_count() const { return count_; }
    ArrivalTime time(int index) const;
    // Sets the time of line `index` (a line that grew).
    void set_time(int index, ArrivalTime time);

    // `count` lines at the end, all with `time`.
    void append(int count, ArrivalTime time);
    void append(std::span<const ArrivalTime> times);
    // `count` lines without a time before line `index` (index == line_count() appends).
    void insert_blank(int index, int count);
    void erase(int index, int count);
    void drop_front(int count) { erase(0, count); }
    void clear();

    // Bytes the times take.
    std::size_t memory_bytes() const;

private:
    // Lines live in runs of up to run_lines lines, each with a base time: a line holds its
    // offset from the base plus one (0: no time). A time too far from its run's base for 32 bits
    // gets a run of its own, so one line can be decades away from the others.
    struct Run {
        ArrivalTime base = no_arrival_time;
        std::vector<std::uint32_t> offsets;
    };
    static constexpr std::size_t run_lines = 4096;

    // The run holding line `index` and the line's place in it.
    std::pair<std::size_t, std::size_t> locate(int index) const;
    // The stored value of `time` in `run`; false when the run's base can't reach it.
    static bool encode(Run& run, ArrivalTime time, std::uint32_t& value);
    void push(ArrivalTime time, int count);
    // Splits run `run` so that line `at` of it starts a run of its own; returns that run.
    std::size_t split(std::size_t run, std::size_t at);
    Run& open_tail();

    std::deque<Run> runs_;
    int count_ = 0;
};

}  // namespace lines
