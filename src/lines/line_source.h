#pragma once
// What a text view draws and a search or a save reads: numbered lines with their arrival times.
// A log's whole store is one source; a filter's index of the lines that pass is another.
// Observers learn of every change, so a view or an index stays right without polling.

#include "lines/line_origins.h"
#include "lines/line_store.h"
#include "lines/line_times.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lines {

class LineObserver {
public:
    // Before and after lines [first, first + count) were added at the end.
    virtual void before_append() {}
    virtual void lines_appended(int first, int count) = 0;
    // Before and after line `index` grew at its end (or, when its length is still old_length,
    // only its arrival time changed).
    virtual void before_extend(int index) { static_cast<void>(index); }
    virtual void line_extended(int index, std::size_t old_length) = 0;
    // Before the first `count` lines go (their bytes still readable), and after, when the text
    // lost its first `removed` offsets.
    virtual void before_drop(int count) { static_cast<void>(count); }
    virtual void lines_dropped(int count, TextOffset removed) = 0;
    // Any other change: the lines from `from` on may differ, have moved or be gone.
    virtual void lines_changed(int from) = 0;

protected:
    ~LineObserver() = default;
};

class LineSource {
public:
    LineSource() = default;
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;
    virtual ~LineSource() = default;

    virtual int line_count() const = 0;
    // The bytes of line `index`, valid until the next change.
    virtual std::string_view line_view(int index) const = 0;
    // The bytes of the lines from `index` on, as many as `out` holds; returns how many.
    virtual std::size_t line_views(int index, std::span<std::string_view> out) const = 0;
    virtual std::size_t line_length(int index) const = 0;
    // The number of line 0 in a count that only grows as lines are dropped from the front.
    virtual std::int64_t first_line_number() const = 0;
    // Offsets as LineStore counts them: bytes of the lines with two between lines.
    virtual TextOffset text_length() const = 0;
    virtual TextOffset byte_total() const = 0;
    virtual TextOffset line_start(int index) const = 0;
    virtual int line_of_offset(TextOffset offset) const = 0;
    // An upper bound of the widest line, in display columns.
    virtual std::int64_t max_columns() const = 0;
    virtual ColumnMark mark_before_byte(int index, std::size_t byte) const = 0;
    virtual ColumnMark mark_before_column(int index, std::int64_t column) const = 0;
    virtual ArrivalTime time(int index) const = 0;
    // The syslog priority (facility * 8 + severity) of line `index`, or no_priority.
    virtual std::uint8_t priority(int index) const = 0;
    virtual platform::PeerAddress sender(int index) const = 0;

    bool severity_at_least(int index, int severity) const
    {
        return lines::severity_at_least(priority(index), severity);
    }

    void add_observer(LineObserver* observer) { observers_.push_back(observer); }
    void remove_observer(LineObserver* observer) { std::erase(observers_, observer); }

protected:
    // Tells every observer; one that goes away while told is not told again.
    template <class Call>
    void tell(Call call)
    {
        for (std::size_t index = 0; index < observers_.size(); ++index)
            call(*observers_[index]);
    }

private:
    std::vector<LineObserver*> observers_;
};

}  // namespace lines
