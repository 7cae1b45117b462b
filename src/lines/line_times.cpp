// The per-line completion times of a text view, in runs of 32-bit offsets from a base time.

#include "lines/line_times.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

namespace lines {

std::string_view ArrivalTimeFormat::text(ArrivalTime time)
{
    if (time == no_arrival_time)
        return {};
    // Floor division, so times before 1970 keep their digits right too.
    const std::int64_t second = time / 1000 - (time % 1000 < 0 ? 1 : 0);
    const auto millisecond = static_cast<int>(time - second * 1000);
    const auto two_digits = [this](std::size_t at, int value) {
        text_[at] = static_cast<char>('0' + value / 10 % 10);
        text_[at + 1] = static_cast<char>('0' + value % 10);
    };
    if (second != second_) {
        second_ = second;
        const auto seconds = static_cast<std::time_t>(second);
        std::tm local{};
        localtime_r(&seconds, &local);
        two_digits(0, local.tm_hour);
        text_[2] = ':';
        two_digits(3, local.tm_min);
        text_[5] = ':';
        two_digits(6, local.tm_sec);
        text_[8] = '.';
    }
    text_[9] = static_cast<char>('0' + millisecond / 100);
    two_digits(10, millisecond % 100);
    return {text_, length};
}

namespace {

// A run's base lies this far before its first time, so that a clock set back a little (or
// lines completed slightly out of order) still fits the run.
constexpr ArrivalTime base_slack_ms = 24 * 60 * 60 * 1000;
constexpr ArrivalTime max_offset = ArrivalTime{0xFFFF'FFFE};

}  // namespace

std::pair<std::size_t, std::size_t> LineTimes::locate(int index) const
{
    if (index < 0 || index >= count_)
        throw std::out_of_range("No such line in the arrival times");
    // Most lookups are near the end (the newest lines), so count from the nearer end.
    if (index >= count_ / 2) {
        std::size_t from_end = static_cast<std::size_t>(count_ - index);
        for (std::size_t run = runs_.size(); run-- > 0;) {
            const std::size_t size = runs_[run].offsets.size();
            if (from_end <= size)
                return {run, size - from_end};
            from_end -= size;
        }
    }
    auto at = static_cast<std::size_t>(index);
    for (std::size_t run = 0;; ++run) {
        const std::size_t size = runs_[run].offsets.size();
        if (at < size)
            return {run, at};
        at -= size;
    }
}

bool LineTimes::encode(Run& run, ArrivalTime time, std::uint32_t& value)
{
    if (time == no_arrival_time) {
        value = 0;
        return true;
    }
    if (run.base == no_arrival_time)
        run.base = time - base_slack_ms;
    const ArrivalTime offset = time - run.base;
    if (offset < 0 || offset > max_offset)
        return false;
    value = static_cast<std::uint32_t>(offset + 1);
    return true;
}

ArrivalTime LineTimes::time(int index) const
{
    const auto [run, at] = locate(index);
    const std::uint32_t value = runs_[run].offsets[at];
    return value == 0 ? no_arrival_time : runs_[run].base + value - 1;
}

std::size_t LineTimes::split(std::size_t run, std::size_t at)
{
    if (at == 0)
        return run;
    std::vector<std::uint32_t>& offsets = runs_[run].offsets;
    Run tail{runs_[run].base, std::vector<std::uint32_t>(offsets.begin() + static_cast<std::ptrdiff_t>(at), offsets.end())};
    offsets.resize(at);
    offsets.shrink_to_fit();
    runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(run) + 1, std::move(tail));
    return run + 1;
}

void LineTimes::set_time(int index, ArrivalTime time)
{
    auto [run, at] = locate(index);
    std::uint32_t value = 0;
    if (!encode(runs_[run], time, value)) {
        // The line becomes a run of its own, based on its new time.
        run = split(run, at);
        if (runs_[run].offsets.size() > 1)
            split(run, 1);
        runs_[run].base = no_arrival_time;
        encode(runs_[run], time, value);
        at = 0;
    }
    runs_[run].offsets[at] = value;
}

LineTimes::Run& LineTimes::open_tail()
{
    if (runs_.empty() || runs_.back().offsets.size() >= run_lines)
        runs_.emplace_back();
    // Room for a whole run at once: growing by doubling would leave up to half of it unused.
    runs_.back().offsets.reserve(run_lines);
    return runs_.back();
}

void LineTimes::push(ArrivalTime time, int count)
{
    while (count > 0) {
        std::uint32_t value = 0;
        if (!encode(open_tail(), time, value)) {
            // Out of the last run's reach: a new run with a new base.
            runs_.emplace_back();
            encode(open_tail(), time, value);
        }
        std::vector<std::uint32_t>& offsets = runs_.back().offsets;
        const auto take = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(count), run_lines - offsets.size()));
        offsets.insert(offsets.end(), static_cast<std::size_t>(take), value);
        count_ += take;
        count -= take;
    }
}

void LineTimes::append(int count, ArrivalTime time) { push(time, count); }

void LineTimes::append(std::span<const ArrivalTime> times)
{
    for (const ArrivalTime time : times)
        push(time, 1);
}

void LineTimes::insert_blank(int index, int count)
{
    if (index == count_) {
        push(no_arrival_time, count);
        return;
    }
    const auto [run, at] = locate(index);
    std::vector<std::uint32_t>& offsets = runs_[run].offsets;
    offsets.insert(offsets.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::size_t>(count), 0);
    count_ += count;
    // A paste of many lines is cut into runs of the usual size.
    for (std::size_t split_at = run; runs_[split_at].offsets.size() > 2 * run_lines;)
        split_at = split(split_at, run_lines);
}

void LineTimes::erase(int index, int count)
{
    if (count <= 0)
        return;
    if (index < 0 || count > count_ - index)
        throw std::out_of_range("Erasing lines beyond the arrival times");
    while (count > 0) {
        const auto [run, at] = locate(index);
        std::vector<std::uint32_t>& offsets = runs_[run].offsets;
        const std::size_t take = std::min(static_cast<std::size_t>(count), offsets.size() - at);
        const auto first = offsets.begin() + static_cast<std::ptrdiff_t>(at);
        offsets.erase(first, first + static_cast<std::ptrdiff_t>(take));
        if (offsets.empty())
            runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(run));
        count_ -= static_cast<int>(take);
        count -= static_cast<int>(take);
    }
}

void LineTimes::clear()
{
    runs_.clear();
    count_ = 0;
}

std::size_t LineTimes::memory_bytes() const
{
    std::size_t bytes = 0;
    for (const Run& run : runs_)
        bytes += sizeof(Run) + run.offsets.capacity() * sizeof(std::uint32_t);
    return bytes;
}

}  // namespace lines
