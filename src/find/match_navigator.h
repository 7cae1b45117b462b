#pragma once
// Find next and find previous in a log window: counts every match in the store in slices and
// jumps from match to match through the lines counted, so that a step costs the same in a
// store of millions of matching lines as in a small one.

#include "find/line_search.h"
#include "find/pattern.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace find {

// The store must outlive the navigator. Between calls the store may change the way lines
// arrive: lines appended (counted by the next step()), the last line growing, lines dropped
// from the front, a line replaced. Lines are looked up afresh on every call, and every match
// handed out is one found in the line as it is now.
template <LineSequence Lines>
class MatchNavigator {
public:
    using Clock = typename LineSearch<Lines>::Clock;

    // Where a match lies: `line` is an index in the store as it is; `wrapped` when the search
    // went past the end (or the start, going back) to reach it.
    struct Found {
        int line = 0;
        Match match;
        bool wrapped = false;
    };
    enum class Status {
        found,
        none,     // no match anywhere in the store
        pending,  // the answer lies in lines not counted yet: ask again after more step()s
    };
    struct Result {
        Status status = Status::none;
        Found found;
    };

    // Starts counting every match.
    MatchNavigator(const Lines& lines, Pattern pattern) : lines_(lines), search_(lines, std::move(pattern), SearchMode::count) {}

    // Counts further until `deadline`; true once every line has been counted.
    bool step(Clock::time_point deadline) { return search_.step(deadline); }
    bool counting_done() const { return search_.done(); }
    // The matches counted so far in the lines still in the store.
    std::int64_t match_count() const { return search_.match_count(); }
    std::int64_t lines_done() const { return search_.lines_done(); }
    std::int64_t lines_total() const { return search_.lines_total(); }
    const Pattern& pattern() const { return search_.pattern(); }

    // The first match starting at or after byte `from` of line `line`, going on through the
    // following lines and wrapping to the top after the last. `line` is clamped to the store.
    Result next(int line, std::size_t from) const
    {
        return navigate(line, from, Direction::forward);
    }

    // The last match lying wholly before byte `before` of line `line` (as Pattern::find_last
    // has it), going back through earlier lines and wrapping to the bottom.
    Result previous(int line, std::size_t before) const
    {
        return navigate(line, before, Direction::backward);
    }

    // The 1-based place of a match among all matches in store order, counted the way
    // Pattern::count walks a line; nullopt until counting has reached its line.
    std::optional<std::int64_t> ordinal(int line, Match match) const
    {
        if (line < 0 || line >= lines_.line_count() || line >= search_.lines_done())
            return std::nullopt;
        const std::int64_t before_line = search_.matches_before(lines_.first_line_number() + line);
        return before_line + static_cast<std::int64_t>(pattern().count(view(line), match.start)) + 1;
    }

private:
    enum class Direction { forward, backward };

    Result navigate(int line, std::size_t from, Direction direction) const
    {
        const int count = lines_.line_count();
        if (count == 0)
            return {};
        line = std::clamp(line, 0, count - 1);
        const std::string_view text = view(line);
        if (auto match = search_in(text, from, direction))
            return found(line, *match, false);
        // Onwards to the end in the direction of travel, then wrapping round from the other
        // end to the line we started in, whose far part comes last.
        const bool forward = direction == Direction::forward;
        for (const bool wrapped : {false, true}) {
            const bool after = forward != wrapped;
            const Result result = after ? walk(line + 1, count, direction, wrapped) : walk(0, line, direction, wrapped);
            if (result.status != Status::none)
                return result;
        }
        if (auto match = search_in(text, forward ? 0 : std::string_view::npos, direction))
            return found(line, *match, true);
        return {};
    }

    // Searches lines [begin, end) (store indices) in the direction of travel: the lines
    // counted with matches, each searched afresh, since a line replaced after it was counted
    // may no longer match; and the last line of the store always, since it may have grown
    // after it was counted. Lines not counted yet leave the answer pending.
    Result walk(int begin, int end, Direction direction, bool wrapped) const
    {
        if (begin >= end)
            return {};
        const int last = lines_.line_count() - 1;
        const int counted_end = static_cast<int>(std::min<std::int64_t>(search_.lines_done(), last));
        // Lines with matches, counted, in [begin, min(end, counted_end)); the last line apart.
        const auto& numbers = search_.lines();
        const std::int64_t first = lines_.first_line_number();
        const auto low = std::lower_bound(numbers.begin(), numbers.end(), first + begin);
        const auto high = std::lower_bound(low, numbers.end(), first + std::min(end, counted_end));
        const bool unknown = std::max(begin, counted_end) < std::min(end, last);
        const bool reaches_last = end > last;
        const std::size_t whole_line = direction == Direction::forward ? 0 : std::string_view::npos;
        auto try_line = [&](int index) -> std::optional<Result> {
            if (auto match = search_in(view(index), whole_line, direction))
                return found(index, *match, wrapped);
            return std::nullopt;
        };
        if (direction == Direction::forward) {
            for (auto at = low; at != high; ++at)
                if (auto result = try_line(static_cast<int>(*at - first)))
                    return *result;
            if (unknown)
                return {Status::pending, {}};
            if (reaches_last)
                return try_line(last).value_or(Result{});
            return {};
        }
        if (reaches_last)
            if (auto result = try_line(last))
                return *result;
        if (unknown)
            return {Status::pending, {}};
        for (auto at = high; at != low;)
            if (auto result = try_line(static_cast<int>(*--at - first)))
                return *result;
        return {};
    }

    std::optional<Match> search_in(std::string_view text, std::size_t from, Direction direction) const
    {
        return direction == Direction::forward ? pattern().find(text, from) : pattern().find_last(text, from);
    }

    static Result found(int line, Match match, bool wrapped) { return {Status::found, {line, match, wrapped}}; }

    std::string_view view(int index) const
    {
        std::string_view text;
        lines_.line_views(index, std::span(&text, 1));
        return text;
    }

    const Lines& lines_;
    LineSearch<Lines> search_;
};

}  // namespace find
