#pragma once
// A log channel's filter: the index of the log's lines that pass (or fail) a search, built from
// the lines received so far in slices of a few milliseconds and then kept up to date with every
// line completed after them.

#include "find/line_search.h"
#include "lines/filter_index.h"
#include "platform/sliced_work.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace channel {

class LineFilter : public QObject {
    Q_OBJECT

public:
    // log: the lines filtered; it outlives the filter.
    explicit LineFilter(lines::LogLines& log, QObject* parent = nullptr);
    ~LineFilter() override;

    // Empties the index and fills it anew from the log's lines numbered below end_number (the
    // lines completed so far; see lines::LineSource::first_line_number); lines completed later
    // arrive through take_lines. A line passes when its severity is `least_severity` or more
    // urgent (lines::least_urgent_severity passes every line) and the pattern, when not
    // empty, passes it as the mode says.
    void start(find::Pattern pattern, find::SearchMode mode, std::int64_t end_number,
               int least_severity = lines::least_urgent_severity);
    // Stops filtering and empties the index.
    void stop();
    bool active() const { return search_ != nullptr; }
    bool building() const;
    // Of the lines to search when the filter started, the share searched (0 to 1).
    double build_progress() const;
    // The build has run long enough to show its progress.
    bool progress_due() const { return build_.progress_due(); }

    // Log lines just completed, by number; those that pass join the index. Cheap when the
    // filter is not active.
    void take_lines(std::span<const std::int64_t> numbers);

    // The passing lines, a source a view can draw.
    lines::FilterIndex& index() { return index_; }
    const lines::FilterIndex& index() const { return index_; }

signals:
    // Lines joined the index, or the build made progress.
    void changed();

private:
    bool build_slice(platform::SlicedWork::Clock::time_point deadline);
    void add_found_lines();
    void add_pending_lines();

    lines::LogLines& log_;
    lines::FilterIndex index_;
    std::unique_ptr<find::LineSearch<lines::LogLines>> search_;
    std::int64_t next_found_ = 0;  // log number from which found lines are not indexed yet
    // Lines completed while the build runs, by number.
    std::vector<std::int64_t> pending_;
    platform::SlicedWork build_;
};

}  // namespace channel
