#pragma once
// Find and filter over a whole line store in slices of a few milliseconds, so that a search
// through a large store never holds up the window. The slices run on the GUI thread: that
// thread also appends lines and drops old ones while lines arrive, so a worker thread would
// need a copy of the store to read safely; between slices the store may change freely.

#include "find/line_sequence.h"
#include "find/pattern.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

namespace find {

enum class SearchMode {
    count,          // every match
    show_matching,  // a filter of the lines that match
    hide_matching,  // a filter of the lines that don't
};

// One search of a store that outlives it; a new search simply replaces the object, which
// cancels the old one. Lines appended meanwhile are searched when the slices reach them;
// lines dropped from the front leave the results with what they contributed. A line changed
// after it was searched (a last line still growing) is not searched again.
template <LineSequence Lines>
class LineSearch {
public:
    using Clock = std::chrono::steady_clock;

    LineSearch(const Lines& lines, Pattern pattern, SearchMode mode)
        : lines_(lines), pattern_(std::move(pattern)), mode_(mode), next_(lines.first_line_number())
    {
    }

    // Lines numbered `end_number` and later are never searched: a filter takes the lines
    // present when it was set, and lines arriving later reach it another way.
    void stop_at(std::int64_t end_number) { stop_ = end_number; }
    // A filter passes only lines at `severity` or more urgent (0 emergency to 7 debug, which
    // passes every line), of lines that know their severity.
    void pass_severity_at_least(int severity) { least_severity_ = severity; }
    // Whether line `index` of the store, holding `line`, passes a filter: its severity, and
    // the pattern as the mode says (a filter of severity alone has no text to match).
    bool passes(int index, std::string_view line) const
    {
        if constexpr (requires { lines_.severity_at_least(index, least_severity_); }) {
            if (least_severity_ < every_severity && !lines_.severity_at_least(index, least_severity_))
                return false;
        }
        return pattern_.empty() || pattern_.matches(line) == (mode_ == SearchMode::show_matching);
    }

    // Searches lines until `deadline` passes or no line is left; true when every line in the
    // store has been searched. The deadline is looked at every few tens of kilobytes, so a
    // slice overruns it by well under a millisecond (one very long line aside).
    bool step(Clock::time_point deadline)
    {
        const std::int64_t first = lines_.first_line_number();
        forget_before(first);
        next_ = std::max(next_, first);
        const std::int64_t end = end_number();
        std::size_t bytes_since_check = 0;
        while (next_ < end) {
            const auto left = static_cast<std::size_t>(std::min<std::int64_t>(end - next_, batch_lines));
            const std::size_t count = lines_.line_views(static_cast<int>(next_ - first), std::span(batch_).first(left));
            for (std::size_t i = 0; i < count; ++i) {
                search_line(static_cast<int>(next_ - first), batch_[i]);
                ++next_;
                // An empty line costs something too.
                bytes_since_check += batch_[i].size() + 16;
            }
            if (bytes_since_check >= check_bytes) {
                bytes_since_check = 0;
                if (Clock::now() >= deadline)
                    break;
            }
        }
        return next_ >= end;
    }

    bool done() const { return next_ >= end_number(); }
    // Progress: lines of the store searched so far, of lines_total(); the lines searched are
    // those numbered from first_line_number() up to first_line_number() + lines_done().
    std::int64_t lines_done() const
    {
        return std::max<std::int64_t>(0, std::min(next_, end_number()) - lines_.first_line_number());
    }
    std::int64_t lines_total() const { return std::max<std::int64_t>(0, end_number() - lines_.first_line_number()); }

    // Counting: the matches in the lines still in the store. Filtering: the lines that pass.
    std::int64_t match_count() const { return matches_before(std::numeric_limits<std::int64_t>::max()); }
    // As match_count(), of the lines numbered below `number` only. Costs a binary search, so
    // a caller may ask once per step through the matches however many there are.
    std::int64_t matches_before(std::int64_t number) const
    {
        const std::int64_t first = lines_.first_line_number();
        return running_total_before(std::max(number, first)) - running_total_before(first);
    }
    // The numbers (first_line_number() based) of the lines with a match when counting, of the
    // lines that pass when filtering; ascending. Lines dropped from the store since the last
    // step() may still lead the list.
    const std::deque<std::int64_t>& lines() const { return numbers_; }
    const Pattern& pattern() const { return pattern_; }

private:
    static constexpr std::size_t check_bytes = std::size_t{32} << 10;
    static constexpr int every_severity = 7;
    // Lines fetched from the store at a time: a few kilobytes of text at usual line lengths.
    static constexpr std::size_t batch_lines = 64;

    std::int64_t end_number() const { return std::min(lines_.first_line_number() + lines_.line_count(), stop_); }

    void search_line(int index, std::string_view line)
    {
        // A line that passes a filter weighs one, so that the totals serve both.
        std::size_t weight = 0;
        if (mode_ == SearchMode::count)
            weight = pattern_.count(line);
        else if (passes(index, line))
            weight = 1;
        if (weight > 0) {
            numbers_.push_back(next_);
            totals_.push_back((totals_.empty() ? dropped_total_ : totals_.back()) + static_cast<std::int64_t>(weight));
        }
    }

    void forget_before(std::int64_t first)
    {
        while (!numbers_.empty() && numbers_.front() < first) {
            dropped_total_ = totals_.front();
            numbers_.pop_front();
            totals_.pop_front();
        }
    }

    // The weight of the lines numbered below `number` since the search began, dropped lines
    // included, as far as the search has come.
    std::int64_t running_total_before(std::int64_t number) const
    {
        const auto at = std::lower_bound(numbers_.begin(), numbers_.end(), number);
        return at == numbers_.begin() ? dropped_total_ : totals_[static_cast<std::size_t>(at - numbers_.begin() - 1)];
    }

    const Lines& lines_;
    Pattern pattern_;
    SearchMode mode_;
    std::int64_t next_;  // number of the next line to search
    std::int64_t stop_ = std::numeric_limits<std::int64_t>::max();
    int least_severity_ = every_severity;
    std::deque<std::int64_t> numbers_;
    // The running total of weights through each line in numbers_, counted from the search's
    // start, so that dropping lines from the front rewrites nothing: the total through the
    // last line dropped is subtracted instead.
    std::deque<std::int64_t> totals_;
    std::int64_t dropped_total_ = 0;
    std::array<std::string_view, batch_lines> batch_;
};

}  // namespace find
