#pragma once
// Find and filter over a whole line store in slices of a few milliseconds, so that a search
// through a large store never holds up the window. The slices run on the GUI thread: that
// thread also appends lines and drops old ones while lines arrive, so a worker thread would
// need a copy of the store to read safely; between slices the store may change freely.

#include "find/pattern.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <concepts>
#include <cstdint>
#include <deque>
#include <span>
#include <string_view>
#include <utility>

namespace find {

// A store of lines as the search reads it (colormemo::LineStore is one): lines are numbered
// from first_line_number(), a count that only grows as lines are dropped from the front.
// line_views fills a span with the bytes of consecutive lines and says how many it filled.
template <class Lines>
concept LineSequence = requires(const Lines& lines, int index, std::span<std::string_view> out) {
    { lines.line_count() } -> std::convertible_to<int>;
    { lines.line_views(index, out) } -> std::convertible_to<std::size_t>;
    { lines.first_line_number() } -> std::convertible_to<std::int64_t>;
};

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

    // Searches lines until `deadline` passes or no line is left; true when every line in the
    // store has been searched. The deadline is looked at every few tens of kilobytes, so a
    // slice overruns it by well under a millisecond (one very long line aside).
    bool step(Clock::time_point deadline)
    {
        const std::int64_t first = lines_.first_line_number();
        forget_before(first);
        next_ = std::max(next_, first);
        const std::int64_t end = first + lines_.line_count();
        std::size_t bytes_since_check = 0;
        while (next_ < end) {
            const std::size_t count = lines_.line_views(static_cast<int>(next_ - first), batch_);
            for (std::size_t i = 0; i < count; ++i) {
                search_line(batch_[i]);
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

    bool done() const { return next_ >= lines_.first_line_number() + lines_.line_count(); }
    // Progress: lines of the store searched so far, of lines_total().
    std::int64_t lines_done() const { return std::max<std::int64_t>(0, next_ - lines_.first_line_number()); }
    std::int64_t lines_total() const { return lines_.line_count(); }

    // Counting: the matches in the lines still in the store. Filtering: the lines that pass.
    std::int64_t match_count() const { return mode_ == SearchMode::count ? match_total_ : std::ssize(numbers_); }
    // The numbers (first_line_number() based) of the lines with a match when counting, of the
    // lines that pass when filtering; ascending.
    const std::deque<std::int64_t>& lines() const { return numbers_; }
    const Pattern& pattern() const { return pattern_; }

private:
    static constexpr std::size_t check_bytes = std::size_t{32} << 10;
    // Lines fetched from the store at a time: a few kilobytes of text at usual line lengths.
    static constexpr std::size_t batch_lines = 64;

    void search_line(std::string_view line)
    {
        if (mode_ == SearchMode::count) {
            if (const std::size_t matches = pattern_.count(line)) {
                numbers_.push_back(next_);
                counts_.push_back(matches);
                match_total_ += static_cast<std::int64_t>(matches);
            }
        } else if (pattern_.matches(line) == (mode_ == SearchMode::show_matching)) {
            numbers_.push_back(next_);
        }
    }

    void forget_before(std::int64_t first)
    {
        while (!numbers_.empty() && numbers_.front() < first) {
            numbers_.pop_front();
            if (!counts_.empty()) {
                match_total_ -= static_cast<std::int64_t>(counts_.front());
                counts_.pop_front();
            }
        }
    }

    const Lines& lines_;
    Pattern pattern_;
    SearchMode mode_;
    std::int64_t next_;  // number of the next line to search
    std::deque<std::int64_t> numbers_;
    std::deque<std::size_t> counts_;  // counting: matches of each line in numbers_
    std::int64_t match_total_ = 0;
    std::array<std::string_view, batch_lines> batch_;
};

}  // namespace find
