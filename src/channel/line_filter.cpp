// A log channel's filter: building the index in slices and keeping it up to date.

#include "channel/line_filter.h"

#include <algorithm>

namespace channel {

LineFilter::LineFilter(lines::LogLines& log, QObject* parent)
    : QObject(parent), log_(log), index_(log),
      build_([this](platform::SlicedWork::Clock::time_point deadline) { return build_slice(deadline); })
{
    connect(&build_, &platform::SlicedWork::sliced, this, &LineFilter::changed);
}

LineFilter::~LineFilter() = default;

void LineFilter::start(find::Pattern pattern, find::SearchMode mode, std::int64_t end_number, int least_severity)
{
    stop();
    search_ = std::make_unique<find::LineSearch<lines::LogLines>>(log_, std::move(pattern), mode);
    search_->stop_at(end_number);
    search_->pass_severity_at_least(least_severity);
    next_found_ = log_.first_line_number();
    build_.start();
}

void LineFilter::stop()
{
    search_.reset();
    build_.cancel();
    pending_.clear();
    index_.clear();
}

bool LineFilter::building() const { return search_ != nullptr && !search_->done(); }

double LineFilter::build_progress() const
{
    if (!search_)
        return 0;
    const std::int64_t total = search_->lines_total();
    return total > 0 ? static_cast<double>(search_->lines_done()) / static_cast<double>(total) : 1.0;
}

void LineFilter::take_lines(std::span<const std::int64_t> numbers)
{
    if (!search_ || numbers.empty())
        return;
    const std::int64_t first = log_.first_line_number();
    const std::size_t before = pending_.size();
    for (const std::int64_t number : numbers) {
        const std::int64_t index = number - first;
        if (index >= 0 && index < log_.line_count()
            && search_->passes(static_cast<int>(index), log_.line_view(static_cast<int>(index))))
            pending_.push_back(number);
    }
    // Found lines come first: lines completed during the build wait for its end.
    if (!building() && pending_.size() > before)
        add_pending_lines();
}

bool LineFilter::build_slice(platform::SlicedWork::Clock::time_point deadline)
{
    if (!search_)
        return true;
    const bool done = search_->step(deadline);
    add_found_lines();
    if (done)
        add_pending_lines();
    return done;
}

void LineFilter::add_found_lines()
{
    const std::deque<std::int64_t>& found = search_->lines();
    next_found_ = std::max(next_found_, log_.first_line_number());
    std::vector<std::int64_t> numbers(std::lower_bound(found.begin(), found.end(), next_found_), found.end());
    if (numbers.empty())
        return;
    next_found_ = numbers.back() + 1;
    index_.add(numbers);
}

void LineFilter::add_pending_lines()
{
    index_.add(pending_);
    pending_.clear();
    emit changed();
}

}  // namespace channel
