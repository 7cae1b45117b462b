#pragma once
// A filter's lines: the numbers of the log's lines that pass it, in order, drawn as a source of
// their own. It holds about eight bytes a line and no copy of any text; lines dropped from the
// log's front leave it as they go, and the log emptied empties it.

#include "lines/log_lines.h"

#include <cstdint>
#include <deque>
#include <span>

namespace lines {

class FilterIndex final : public LineSource, private LineObserver {
public:
    // log outlives the index.
    explicit FilterIndex(LogLines& log);
    ~FilterIndex() override;

    // Adds log lines by their numbers (see first_line_number), in order; numbers of lines the
    // log no longer holds, or the index holds already, are skipped. One change.
    void add(std::span<const std::int64_t> numbers);
    void clear();
    // The log line number of line `index`.
    std::int64_t log_number(int index) const { return numbers_[static_cast<std::size_t>(index)]; }
    // The first line whose log number is `number` or later (line_count() when none).
    int index_of_number(std::int64_t number) const;

    int line_count() const override { return static_cast<int>(numbers_.size()); }
    std::string_view line_view(int index) const override { return log_.line_view(log_index(index)); }
    std::size_t line_views(int index, std::span<std::string_view> out) const override;
    std::size_t line_length(int index) const override { return log_.line_length(log_index(index)); }
    // Counts the index's own lines: dropping passing lines from the front advances it.
    std::int64_t first_line_number() const override { return dropped_; }
    TextOffset text_length() const override;
    TextOffset byte_total() const override;
    TextOffset line_start(int index) const override;
    int line_of_offset(TextOffset offset) const override;
    std::int64_t max_columns() const override { return log_.max_columns(); }
    ColumnMark mark_before_byte(int index, std::size_t byte) const override
    {
        return log_.mark_before_byte(log_index(index), byte);
    }
    ColumnMark mark_before_column(int index, std::int64_t column) const override
    {
        return log_.mark_before_column(log_index(index), column);
    }
    ArrivalTime time(int index) const override { return log_.time(log_index(index)); }
    std::uint8_t priority(int index) const override { return log_.priority(log_index(index)); }
    platform::PeerAddress sender(int index) const override { return log_.sender(log_index(index)); }

    // Bytes the index takes.
    std::size_t memory_bytes() const;

private:
    // Every mark_lines-th line (counted from the first ever) keeps its start offset, so an
    // offset is found without summing every line before it.
    static constexpr std::int64_t mark_lines = 64;

    int log_index(int index) const { return static_cast<int>(log_number(index) - log_.first_line_number()); }
    // Offsets counted from the first line the index ever held.
    TextOffset absolute_start(int index) const;
    void rebuild_marks();

    void lines_appended(int, int) override {}
    void line_extended(int, std::size_t) override {}
    void before_drop(int count) override;
    void lines_dropped(int, TextOffset) override {}
    void lines_changed(int from) override;

    LogLines& log_;
    std::deque<std::int64_t> numbers_;
    // Start offset of the lines numbered mark_lines * (first_mark_ + k), for each k.
    std::deque<TextOffset> marks_;
    std::int64_t first_mark_ = 0;
    std::int64_t dropped_ = 0;      // lines of the index dropped from its front
    TextOffset first_offset_ = 0;   // absolute offset of line 0
    TextOffset end_offset_ = 0;     // absolute offset after the last line's break
};

}  // namespace lines
