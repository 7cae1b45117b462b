#pragma once
// A log's lines: the line store with each line's arrival time, held to a text limit by dropping
// the oldest lines. It is the source a log window's full view draws and edits, and the one
// its filters index.

#include "lines/line_source.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace lines {

// What came with a batch of received lines.
struct Arrival {
    ArrivalTime time = no_arrival_time;
    // One sender for every line, or one per line; empty: nobody sent them.
    std::span<const platform::PeerAddress> senders;
    // One per line, or empty: none of them has a priority.
    std::span<const std::uint8_t> priorities;
};

class LogLines final : public LineSource {
public:
    int line_count() const override { return store_.line_count(); }
    std::string_view line_view(int index) const override { return store_.line_view(index); }
    std::size_t line_views(int index, std::span<std::string_view> out) const override
    {
        return store_.line_views(index, out);
    }
    std::size_t line_length(int index) const override { return store_.line_length(index); }
    std::int64_t first_line_number() const override { return store_.first_line_number(); }
    TextOffset text_length() const override { return store_.text_length(); }
    TextOffset byte_total() const override { return store_.byte_total(); }
    TextOffset line_start(int index) const override { return store_.line_start(index); }
    int line_of_offset(TextOffset offset) const override { return store_.line_of_offset(offset); }
    std::int64_t max_columns() const override { return store_.max_columns(); }
    ColumnMark mark_before_byte(int index, std::size_t byte) const override
    {
        return store_.mark_before_byte(index, byte);
    }
    ColumnMark mark_before_column(int index, std::int64_t column) const override
    {
        return store_.mark_before_column(index, column);
    }
    ArrivalTime time(int index) const override { return times_.time(index); }
    std::uint8_t priority(int index) const override { return priorities_.priority(index); }
    platform::PeerAddress sender(int index) const override { return senders_.sender(index); }

    // --- Received text: each call is one change for the observers. ---
    // New last lines, all arrived at `time` or each at its own, from nobody in particular.
    void append(std::span<const std::string_view> lines, ArrivalTime time = no_arrival_time);
    void append(std::span<const std::string_view> lines, std::span<const ArrivalTime> times);
    // Received lines with where they came from.
    void append(std::span<const std::string_view> lines, const Arrival& arrival);
    // Bytes added to the end of line `index`; a `time` given becomes the line's arrival time.
    void extend(int index, std::string_view bytes, ArrivalTime time = no_arrival_time);
    void clear();
    // Replaces every line; text is split into lines at line feeds.
    void set_text(std::string_view text);

    // --- Edits by a user: lines without a time. ---
    void replace_line(int index, std::string_view text);
    // Inserts lines before line `index`; the blank times go before `blank_at`, so that a line
    // split at its start keeps its time with its text.
    void insert_lines(int index, std::span<const std::string_view> lines, int blank_at);
    void erase_lines(int index, int count);
    void delete_last_line();

    // The most bytes of line text kept; 0: no limit. Past it the oldest lines are dropped a few
    // megabytes at a time, and the newest line always stays whole. A new limit applies at once.
    void set_text_limit(std::int64_t bytes);
    std::int64_t text_limit() const { return text_limit_; }

    const LineStore& store() const { return store_; }
    const LineTimes& times() const { return times_; }

private:
    // One append: the lines, then their times and origins by append_others(first line).
    template <class AppendOthers>
    void append_with(std::span<const std::string_view> lines, AppendOthers append_others);
    void append_origins(int first, int count, const Arrival& arrival);
    void keep_text_limit();
    void changed_from(int from);

    LineStore store_;
    LineTimes times_;
    LineSenders senders_;
    LinePriorities priorities_;
    std::int64_t text_limit_ = 0;
};

}  // namespace lines
