#pragma once
// What a search or a save reads a window's lines through; lines::LineStore is one.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
// After the others, which bring it in already: moc, which reads this header for the tests,
// can't parse <concepts> on its own.
#include <concepts>

namespace find {

// Lines numbered from first_line_number(), a count that only grows as lines are dropped from the
// front. line_views fills a span with the bytes of consecutive lines and says how many it filled.
template <class Lines>
concept LineSequence = requires(const Lines& lines, int index, std::span<std::string_view> out) {
    { lines.line_count() } -> std::convertible_to<int>;
    { lines.line_views(index, out) } -> std::convertible_to<std::size_t>;
    { lines.first_line_number() } -> std::convertible_to<std::int64_t>;
};

}  // namespace find
