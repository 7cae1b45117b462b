// Senders as runs, priorities as one byte a line.

#include "lines/line_origins.h"

#include <algorithm>

namespace lines {

platform::PeerAddress LineSenders::sender(int index) const
{
    const std::int64_t number = dropped_ + index;
    const auto run = std::upper_bound(runs_.begin(), runs_.end(), number,
                                      [](std::int64_t line, const Run& each) { return line < each.end; });
    return run == runs_.end() ? platform::PeerAddress{} : run->sender;
}

void LineSenders::append(int count, const platform::PeerAddress& sender)
{
    if (count <= 0)
        return;
    if (!runs_.empty() && runs_.back().sender == sender)
        runs_.back().end += count;
    else
        runs_.push_back(Run{end() + count, sender});
}

std::deque<LineSenders::Run>::iterator LineSenders::run_of(int index)
{
    const std::int64_t number = dropped_ + index;
    return std::upper_bound(runs_.begin(), runs_.end(), number,
                            [](std::int64_t line, const Run& each) { return line < each.end; });
}

std::deque<LineSenders::Run>::iterator LineSenders::split_at(int index)
{
    const auto run = run_of(index);
    if (run == runs_.end())
        return run;
    const std::int64_t start = run == runs_.begin() ? dropped_ : std::prev(run)->end;
    const std::int64_t number = dropped_ + index;
    if (number == start)
        return run;
    // The part before the split becomes a run of its own ahead of this one.
    return std::next(runs_.insert(run, Run{number, run->sender}));
}

void LineSenders::shift_ends(std::deque<Run>::iterator from, std::int64_t by)
{
    for (auto run = from; run != runs_.end(); ++run)
        run->end += by;
}

void LineSenders::insert_blank(int index, int count)
{
    if (count <= 0)
        return;
    const auto at = split_at(index);
    const std::int64_t start = at == runs_.begin() ? dropped_ : std::prev(at)->end;
    const auto blank = runs_.insert(at, Run{start, {}});
    shift_ends(blank, count);
}

void LineSenders::erase(int index, int count)
{
    if (count <= 0)
        return;
    // The second split may insert a run and move the first; a run it inserts starts at
    // `index`, so the first one's place still starts the lines to erase.
    const auto first_run = split_at(index);
    const auto first = first_run - runs_.begin();
    const auto last = split_at(index + count);
    shift_ends(runs_.erase(runs_.begin() + first, last), -count);
}

void LineSenders::drop_front(int count)
{
    dropped_ += std::max(count, 0);
    while (!runs_.empty() && runs_.front().end <= dropped_)
        runs_.pop_front();
}

void LineSenders::clear()
{
    dropped_ = end();
    runs_.clear();
}

void LinePriorities::append(int count, const std::uint8_t* priorities, int line_count_before)
{
    if (priorities == nullptr) {
        if (!priorities_.empty())
            priorities_.insert(priorities_.end(), static_cast<std::size_t>(count), no_priority);
        return;
    }
    // The lines before the first one with a priority had none.
    if (priorities_.empty())
        priorities_.assign(static_cast<std::size_t>(line_count_before), no_priority);
    priorities_.insert(priorities_.end(), priorities, priorities + count);
}

void LinePriorities::insert_blank(int index, int count)
{
    if (!priorities_.empty())
        priorities_.insert(priorities_.begin() + index, static_cast<std::size_t>(count), no_priority);
}

void LinePriorities::erase(int index, int count)
{
    if (!priorities_.empty())
        priorities_.erase(priorities_.begin() + index, priorities_.begin() + index + count);
}

void LinePriorities::drop_front(int count)
{
    if (!priorities_.empty())
        priorities_.erase(priorities_.begin(), priorities_.begin() + count);
}

}  // namespace lines
