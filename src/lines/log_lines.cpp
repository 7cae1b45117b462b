// A log's lines: edits of the store and its times, told to the observers.

#include "lines/log_lines.h"

#include "lines/text_codec.h"

#include <algorithm>
#include <stdexcept>

namespace lines {

void LogLines::append(std::span<const std::string_view> lines, ArrivalTime time)
{
    Arrival arrival;
    arrival.time = time;
    append(lines, arrival);
}

void LogLines::append(std::span<const std::string_view> lines, std::span<const ArrivalTime> times)
{
    if (times.size() != lines.size())
        throw std::invalid_argument("Every appended line needs its arrival time");
    append_with(lines, [&](int first) {
        times_.append(times);
        append_origins(first, static_cast<int>(lines.size()), {});
    });
}

void LogLines::append(std::span<const std::string_view> lines, const Arrival& arrival)
{
    if ((arrival.senders.size() > 1 && arrival.senders.size() != lines.size())
        || (!arrival.priorities.empty() && arrival.priorities.size() != lines.size()))
        throw std::invalid_argument("Senders and priorities come one for all lines or one per line");
    append_with(lines, [&](int first) {
        times_.append(static_cast<int>(lines.size()), arrival.time);
        append_origins(first, static_cast<int>(lines.size()), arrival);
    });
}

void LogLines::append_origins(int first, int count, const Arrival& arrival)
{
    priorities_.append(count, arrival.priorities.empty() ? nullptr : arrival.priorities.data(), first);
    if (arrival.senders.size() > 1) {
        for (const platform::PeerAddress& sender : arrival.senders)
            senders_.append(1, sender);
    } else {
        senders_.append(count, arrival.senders.empty() ? platform::PeerAddress{} : arrival.senders.front());
    }
}

template <class AppendOthers>
void LogLines::append_with(std::span<const std::string_view> lines, AppendOthers append_others)
{
    if (lines.empty())
        return;
    const int first = store_.line_count();
    tell([](LineObserver& observer) { observer.before_append(); });
    store_.append_lines(lines);
    append_others(first);
    tell([&](LineObserver& observer) { observer.lines_appended(first, static_cast<int>(lines.size())); });
    keep_text_limit();
}

void LogLines::extend(int index, std::string_view bytes, ArrivalTime time)
{
    const std::size_t old_length = store_.line_length(index);
    tell([&](LineObserver& observer) { observer.before_extend(index); });
    if (time != no_arrival_time)
        times_.set_time(index, time);
    if (!bytes.empty())
        store_.extend_line(index, bytes);
    tell([&](LineObserver& observer) { observer.line_extended(index, old_length); });
    if (!bytes.empty())
        keep_text_limit();
}

void LogLines::set_text_limit(std::int64_t bytes)
{
    text_limit_ = std::max<std::int64_t>(bytes, 0);
    keep_text_limit();
}

void LogLines::keep_text_limit()
{
    if (text_limit_ <= 0 || store_.byte_total() <= text_limit_ || store_.line_count() < 2)
        return;
    // Down to a little below the limit, so that lines go a block at a time and the cost of
    // dropping is spread over megabytes of received text.
    const TextOffset slack = std::min<TextOffset>(std::int64_t{4} << 20, text_limit_ / 4);
    const TextOffset excess = store_.byte_total() - (text_limit_ - slack);
    // The newest line always stays, however long it is.
    const int count = std::min(store_.line_of_offset(excess) + 1, store_.line_count() - 1);
    const TextOffset removed = store_.line_start(count);
    tell([&](LineObserver& observer) { observer.before_drop(count); });
    store_.drop_first_lines(count);
    times_.drop_front(count);
    senders_.drop_front(count);
    priorities_.drop_front(count);
    tell([&](LineObserver& observer) { observer.lines_dropped(count, removed); });
}

void LogLines::clear()
{
    store_.clear();
    times_.clear();
    senders_.clear();
    priorities_.clear();
    changed_from(0);
}

void LogLines::set_text(std::string_view text)
{
    store_.clear();
    times_.clear();
    senders_.clear();
    priorities_.clear();
    if (!text.empty()) {
        const auto lines = split_lines(text);
        store_.append_lines(lines);
        times_.append(static_cast<int>(lines.size()), no_arrival_time);
        append_origins(0, static_cast<int>(lines.size()), {});
    }
    changed_from(0);
}

void LogLines::replace_line(int index, std::string_view text)
{
    store_.replace_line(index, text);
    changed_from(index);
}

void LogLines::insert_lines(int index, std::span<const std::string_view> lines, int blank_at)
{
    store_.insert_lines(index, lines);
    times_.insert_blank(blank_at, static_cast<int>(lines.size()));
    senders_.insert_blank(blank_at, static_cast<int>(lines.size()));
    priorities_.insert_blank(blank_at, static_cast<int>(lines.size()));
    changed_from(std::min(index, blank_at));
}

void LogLines::erase_lines(int index, int count)
{
    store_.erase_lines(index, count);
    times_.erase(index, count);
    senders_.erase(index, count);
    priorities_.erase(index, count);
    changed_from(index);
}

void LogLines::delete_last_line()
{
    if (store_.line_count() == 0)
        throw std::out_of_range("There is no line to delete");
    const int last = store_.line_count() - 1;
    store_.delete_last_line();
    times_.erase(last, 1);
    senders_.erase(last, 1);
    priorities_.erase(last, 1);
    changed_from(last);
}

void LogLines::changed_from(int from)
{
    tell([&](LineObserver& observer) { observer.lines_changed(from); });
}

}  // namespace lines
