// A filter's lines: log line numbers with sparse start offsets.

#include "lines/filter_index.h"

#include <algorithm>

namespace lines {

FilterIndex::FilterIndex(LogLines& log) : log_(log) { log_.add_observer(this); }

FilterIndex::~FilterIndex() { log_.remove_observer(this); }

void FilterIndex::add(std::span<const std::int64_t> numbers)
{
    const int first = line_count();
    bool told = false;
    // A line completed late (a sender's fragment, finished after other senders' lines) goes in
    // at its place; the offsets are then counted anew from there.
    int inserted_from = -1;
    const std::int64_t log_first = log_.first_line_number();
    for (const std::int64_t number : numbers) {
        const std::int64_t index = number - log_first;
        if (index < 0 || index >= log_.line_count())
            continue;
        if (!numbers_.empty() && number <= numbers_.back()) {
            const auto at = std::lower_bound(numbers_.begin(), numbers_.end(), number);
            if (*at != number) {
                const int place = static_cast<int>(at - numbers_.begin());
                inserted_from = inserted_from < 0 ? place : std::min(inserted_from, place);
                numbers_.insert(at, number);
            }
            continue;
        }
        if (!told) {
            tell([](LineObserver& observer) { observer.before_append(); });
            told = true;
        }
        const std::int64_t absolute = dropped_ + static_cast<std::int64_t>(numbers_.size());
        if (absolute % mark_lines == 0) {
            if (marks_.empty())
                first_mark_ = absolute / mark_lines;
            marks_.push_back(end_offset_);
        }
        numbers_.push_back(number);
        end_offset_ += static_cast<TextOffset>(log_.line_length(static_cast<int>(index))) + 2;
    }
    if (inserted_from >= 0) {
        rebuild_marks();
        tell([&](LineObserver& observer) { observer.lines_changed(inserted_from); });
    } else if (told) {
        tell([&](LineObserver& observer) { observer.lines_appended(first, line_count() - first); });
    }
}

void FilterIndex::clear()
{
    dropped_ += static_cast<std::int64_t>(numbers_.size());
    numbers_.clear();
    marks_.clear();
    first_offset_ = end_offset_;
    tell([](LineObserver& observer) { observer.lines_changed(0); });
}

int FilterIndex::index_of_number(std::int64_t number) const
{
    return static_cast<int>(std::lower_bound(numbers_.begin(), numbers_.end(), number) - numbers_.begin());
}

std::size_t FilterIndex::line_views(int index, std::span<std::string_view> out) const
{
    const auto count = std::min(out.size(), static_cast<std::size_t>(std::max(line_count() - index, 0)));
    for (std::size_t at = 0; at < count; ++at)
        out[at] = line_view(index + static_cast<int>(at));
    return count;
}

TextOffset FilterIndex::text_length() const { return numbers_.empty() ? 0 : end_offset_ - 2 - first_offset_; }

TextOffset FilterIndex::byte_total() const
{
    return numbers_.empty() ? 0 : text_length() - 2 * static_cast<TextOffset>(numbers_.size() - 1);
}

TextOffset FilterIndex::absolute_start(int index) const
{
    const std::int64_t absolute = dropped_ + index;
    const std::int64_t mark = absolute / mark_lines;
    std::int64_t from = dropped_;
    TextOffset offset = first_offset_;
    if (mark >= first_mark_ && mark - first_mark_ < static_cast<std::int64_t>(marks_.size())
        && mark * mark_lines >= dropped_) {
        from = mark * mark_lines;
        offset = marks_[static_cast<std::size_t>(mark - first_mark_)];
    }
    for (std::int64_t line = from; line < absolute; ++line)
        offset += static_cast<TextOffset>(line_length(static_cast<int>(line - dropped_))) + 2;
    return offset;
}

TextOffset FilterIndex::line_start(int index) const
{
    if (index >= line_count())
        return text_length() + 2;
    return absolute_start(index) - first_offset_;
}

int FilterIndex::line_of_offset(TextOffset offset) const
{
    if (numbers_.empty() || offset <= 0)
        return 0;
    const TextOffset absolute = offset + first_offset_;
    // The last mark at or before the offset whose line is still held, else the first line.
    const auto after = std::upper_bound(marks_.begin(), marks_.end(), absolute);
    std::int64_t line = dropped_;
    TextOffset start = first_offset_;
    if (after != marks_.begin()) {
        const std::int64_t mark = first_mark_ + (after - marks_.begin()) - 1;
        if (mark * mark_lines >= dropped_) {
            line = mark * mark_lines;
            start = *(after - 1);
        }
    }
    const std::int64_t last = dropped_ + line_count() - 1;
    while (line < last) {
        const TextOffset next = start + static_cast<TextOffset>(line_length(static_cast<int>(line - dropped_))) + 2;
        if (next > absolute)
            break;
        start = next;
        ++line;
    }
    return static_cast<int>(line - dropped_);
}

void FilterIndex::before_drop(int count)
{
    // The log's first `count` lines go: so do the index's lines among them.
    const std::int64_t end = log_.first_line_number() + count;
    const int going = index_of_number(end);
    if (going == 0)
        return;
    const TextOffset removed = line_start(going);
    tell([&](LineObserver& observer) { observer.before_drop(going); });
    first_offset_ += removed;
    dropped_ += going;
    numbers_.erase(numbers_.begin(), numbers_.begin() + going);
    while (!marks_.empty() && first_mark_ * mark_lines < dropped_) {
        marks_.pop_front();
        ++first_mark_;
    }
    if (numbers_.empty())
        first_offset_ = end_offset_;
    tell([&](LineObserver& observer) { observer.lines_dropped(going, removed); });
}

void FilterIndex::lines_changed(int)
{
    // Emptied, or edited: line numbers may now name other lines, so only those still inside
    // the log stay, with their offsets counted anew.
    if (log_.line_count() == 0) {
        clear();
        return;
    }
    const std::int64_t end = log_.first_line_number() + log_.line_count();
    while (!numbers_.empty() && numbers_.back() >= end)
        numbers_.pop_back();
    rebuild_marks();
    tell([](LineObserver& observer) { observer.lines_changed(0); });
}

void FilterIndex::rebuild_marks()
{
    marks_.clear();
    first_mark_ = (dropped_ + mark_lines - 1) / mark_lines;
    first_offset_ = 0;
    TextOffset offset = 0;
    for (std::size_t at = 0; at < numbers_.size(); ++at) {
        if ((dropped_ + static_cast<std::int64_t>(at)) % mark_lines == 0)
            marks_.push_back(offset);
        offset += static_cast<TextOffset>(line_length(static_cast<int>(at))) + 2;
    }
    end_offset_ = offset;
}

std::size_t FilterIndex::memory_bytes() const
{
    return numbers_.size() * sizeof(std::int64_t) + marks_.size() * sizeof(TextOffset);
}

}  // namespace lines
