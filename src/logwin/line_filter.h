#pragma once
// The log window's filter: a second memo that holds copies of the received lines that pass
// (or fail) a search, built from the window's memo in slices of a few milliseconds and then
// kept up to date with every line completed after it.

#include "colormemo/line_store.h"
#include "colormemo/line_times.h"
#include "find/line_search.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TColorMemo;

namespace logwin {

class LineFilter : public QObject {
    Q_OBJECT

public:
    // source: the memo every received line goes to; shown: the memo that shows the lines that
    // pass. Both outlive the filter.
    LineFilter(const TColorMemo& source, TColorMemo& shown, QObject* parent = nullptr);
    ~LineFilter() override;

    // Empties the shown memo and fills it anew from the source's lines numbered below
    // end_number (the lines completed so far; see colormemo::LineStore::first_line_number);
    // lines completed later arrive through take_line.
    void start(find::Pattern pattern, find::SearchMode mode, std::int64_t end_number);
    // Stops filtering; the shown memo keeps what it holds.
    void stop();
    bool active() const { return search_ != nullptr; }
    bool building() const;
    // Of the lines to search when the filter started, the share searched (0 to 1).
    double build_progress() const;
    // Time since start(), to tell whether the work is long enough to show its progress.
    qint64 build_elapsed_ms() const { return build_timer_.elapsed(); }

    // A completed line, whole, as the alert check sees it, and the time it completed; it is
    // shown at the end when it passes. Cheap when the filter is not active.
    void take_line(std::string_view line, colormemo::ArrivalTime time);

    // The source line number (absolute) of a shown line; shown lines the user inserted count
    // as the line before them.
    std::int64_t source_number(int shown_index) const;

signals:
    // Lines were added to the shown memo, or the build made progress.
    void changed();

private:
    void run_slice();
    // Copies the passing lines the search found since the last call into the shown memo.
    void show_found_lines();
    void show_pending_lines();
    void forget_dropped_lines();
    bool line_passes(std::string_view line) const;

    const TColorMemo& source_;
    TColorMemo& shown_;
    std::unique_ptr<find::LineSearch<colormemo::LineStore>> search_;
    find::SearchMode mode_ = find::SearchMode::show_matching;
    std::int64_t build_end_ = 0;
    std::int64_t next_found_ = 0;  // source number from which found lines are not shown yet
    // The source number of every shown line, front first.
    std::deque<std::int64_t> numbers_;
    // Lines completed while the build runs, or since the last flush, and their numbers.
    std::string pending_bytes_;
    std::vector<std::size_t> pending_ends_;
    std::vector<std::int64_t> pending_numbers_;
    std::vector<colormemo::ArrivalTime> pending_times_;
    QTimer slice_timer_;
    QTimer flush_timer_;
    QElapsedTimer build_timer_;
};

}  // namespace logwin
