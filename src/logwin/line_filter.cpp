// The log window's filter: building the filtered copy in slices and keeping it up to date.

#include "logwin/line_filter.h"

#include "colormemo/tcolormemo.h"
#include "platform/error_report.h"

#include <algorithm>
#include <chrono>

namespace logwin {

namespace {

// A slice leaves most of a frame to painting and to the lines that keep arriving.
constexpr auto slice_time = std::chrono::milliseconds(4);

}  // namespace

LineFilter::LineFilter(const TColorMemo& source, TColorMemo& shown, QObject* parent)
    : QObject(parent), source_(source), shown_(shown)
{
    slice_timer_.setSingleShot(true);
    slice_timer_.setInterval(0);
    connect(&slice_timer_, &QTimer::timeout, this, [this] { platform::guarded([this] { run_slice(); }); });
    // Lines completed in one read are shown in one edit, after the read.
    flush_timer_.setSingleShot(true);
    flush_timer_.setInterval(0);
    connect(&flush_timer_, &QTimer::timeout, this, [this] { platform::guarded([this] { show_pending_lines(); }); });
}

LineFilter::~LineFilter() = default;

void LineFilter::start(find::Pattern pattern, find::SearchMode mode, std::int64_t end_number)
{
    stop();
    shown_.clear();
    numbers_.clear();
    mode_ = mode;
    search_ = std::make_unique<find::LineSearch<colormemo::LineStore>>(source_.store(), std::move(pattern), mode);
    search_->stop_at(end_number);
    build_end_ = end_number;
    next_found_ = source_.store().first_line_number();
    build_timer_.start();
    slice_timer_.start();
}

void LineFilter::stop()
{
    search_.reset();
    slice_timer_.stop();
    flush_timer_.stop();
    pending_bytes_.clear();
    pending_ends_.clear();
    pending_numbers_.clear();
    pending_times_.clear();
}

bool LineFilter::building() const { return search_ != nullptr && !search_->done(); }

double LineFilter::build_progress() const
{
    if (!search_)
        return 0;
    const std::int64_t total = search_->lines_total();
    return total > 0 ? static_cast<double>(search_->lines_done()) / static_cast<double>(total) : 1.0;
}

bool LineFilter::line_passes(std::string_view line) const
{
    return search_->pattern().matches(line) == (mode_ == find::SearchMode::show_matching);
}

void LineFilter::take_line(std::string_view line, colormemo::ArrivalTime time)
{
    if (!search_ || !line_passes(line))
        return;
    pending_bytes_.append(line);
    pending_ends_.push_back(pending_bytes_.size());
    // The line is about to be shown as the source's next line (or completes the fragment
    // shown just above): near enough to find the place again when the filter is cleared.
    const colormemo::LineStore& store = source_.store();
    pending_numbers_.push_back(store.first_line_number() + store.line_count());
    pending_times_.push_back(time);
    if (!building() && !flush_timer_.isActive())
        flush_timer_.start();
}

void LineFilter::run_slice()
{
    if (!search_)
        return;
    const bool done = search_->step(find::LineSearch<colormemo::LineStore>::Clock::now() + slice_time);
    show_found_lines();
    if (done)
        show_pending_lines();
    else
        slice_timer_.start();
    emit changed();
}

void LineFilter::show_found_lines()
{
    const std::deque<std::int64_t>& found = search_->lines();
    const colormemo::LineStore& store = source_.store();
    const std::int64_t first = store.first_line_number();
    next_found_ = std::max(next_found_, first);
    std::vector<std::string_view> lines;
    std::vector<colormemo::ArrivalTime> times;
    for (auto at = std::lower_bound(found.begin(), found.end(), next_found_); at != found.end(); ++at) {
        const auto index = static_cast<int>(*at - first);
        lines.push_back(store.line_view(index));
        times.push_back(source_.arrival_times().time(index));
        numbers_.push_back(*at);
        next_found_ = *at + 1;
    }
    if (!lines.empty())
        shown_.append_lines(lines, times);
    forget_dropped_lines();
}

void LineFilter::show_pending_lines()
{
    if (pending_ends_.empty())
        return;
    std::vector<std::string_view> lines;
    lines.reserve(pending_ends_.size());
    std::size_t from = 0;
    for (const std::size_t end : pending_ends_) {
        lines.emplace_back(pending_bytes_.data() + from, end - from);
        from = end;
    }
    shown_.append_lines(lines, pending_times_);
    numbers_.insert(numbers_.end(), pending_numbers_.begin(), pending_numbers_.end());
    pending_bytes_.clear();
    pending_ends_.clear();
    pending_numbers_.clear();
    pending_times_.clear();
    forget_dropped_lines();
    emit changed();
}

void LineFilter::forget_dropped_lines()
{
    // The shown memo drops its oldest lines under its own text limit.
    const auto shown = static_cast<std::size_t>(shown_.line_count());
    while (numbers_.size() > shown)
        numbers_.pop_front();
}

std::int64_t LineFilter::source_number(int shown_index) const
{
    if (numbers_.empty())
        return source_.store().first_line_number();
    // The user's edits of the shown memo may have added or removed lines; the place found is
    // then near, not exact.
    const auto index = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(shown_index, 0)), 0,
                                               numbers_.size() - 1);
    return numbers_[index];
}

}  // namespace logwin
