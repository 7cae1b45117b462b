#pragma once
// Saving lines of a line store to a file, in slices of a few milliseconds on the thread that
// owns the store. Slices and not a thread of its own: lines keep arriving while the file is
// written, and the store's appends and front drops would pull the lines from under a reader
// on another thread; between slices the store may change freely. Only the disk work, which
// touches no store, runs on a thread (FileSink).

#include "find/line_sequence.h"
#include "logsave/file_sink.h"

#include <QString>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace logsave {

using find::LineSequence;

// A byte of a line; the line by its number (first_line_number() based).
struct TextPlace {
    std::int64_t line = 0;
    std::size_t byte = 0;
};

inline const QString dropped_lines_error = QStringLiteral("The window dropped its oldest lines before they were saved.");
inline const QString cancelled_error = QStringLiteral("The save was cancelled.");

template <LineSequence Lines>
class LogWriter {
public:
    using Clock = std::chrono::steady_clock;

    // Whole lines numbered [from, to), a line feed after each.
    static LogWriter lines(const Lines& store, const QString& file_name, std::int64_t from, std::int64_t to)
    {
        return LogWriter(store, file_name, {from, 0}, {to - 1, whole_line}, true);
    }
    // The text from one place up to (not including) another, line breaks as line feeds.
    static LogWriter text(const Lines& store, const QString& file_name, TextPlace from, TextPlace to)
    {
        return LogWriter(store, file_name, from, to, false);
    }

    LogWriter(LogWriter&&) = default;

    // Something to write before each line written from its start (an arrival time, say):
    // `prefix` puts it into `out` for the line numbered `number`.
    using LinePrefix = std::function<void(std::int64_t number, std::string& out)>;
    void set_line_prefix(LinePrefix prefix) { prefix_ = std::move(prefix); }

    // Gathers lines until `deadline` passes, the writing thread is behind, or every line is
    // handed over; true once the save has ended, committed or failed.
    bool step(Clock::time_point deadline)
    {
        disk_behind_ = false;
        if (sink_ && next_ <= end_.line && !sink_->finished())
            gather(deadline);
        if (sink_ && next_ > end_.line && !finishing_) {
            sink_->finish();
            finishing_ = true;
        }
        if (sink_ && sink_->finished() && !sink_->error().isEmpty())
            fail(sink_->error());
        return ended();
    }

    // Stops the save: no file under the name, an old one there left as it was. Once every
    // byte is handed over the file is being committed, which can't be undone half way: the
    // save then goes on to its end.
    void cancel()
    {
        if (!ended() && !finishing_)
            fail(cancelled_error);
    }

    // The last step ended for the writing thread, which is behind or commits the file: the
    // next one is worth taking only after a moment.
    bool waiting_for_disk() const { return sink_ && (disk_behind_ || finishing_); }

    // The file is complete under its name.
    bool done() const { return ended() && !failed(); }
    bool failed() const { return !sink_; }
    // Why the save failed: the system's reason, or one of the errors above.
    QString error() const { return error_; }

    std::int64_t lines_total() const { return std::max<std::int64_t>(0, end_.line - begin_.line + 1); }
    std::int64_t lines_done() const { return std::clamp<std::int64_t>(next_ - begin_.line, 0, lines_total()); }
    std::uint64_t bytes_written() const { return sink_ ? sink_->bytes_written() : 0; }

private:
    static constexpr std::size_t whole_line = static_cast<std::size_t>(-1);
    static constexpr std::size_t batch_lines = 256;
    // The clock is read after this many bytes, and a long line is copied in pieces of this
    // size: a few tens of microseconds of copying.
    static constexpr std::size_t check_bytes = std::size_t{64} << 10;

    LogWriter(const Lines& store, const QString& file_name, TextPlace begin, TextPlace end, bool line_feed_after_last)
        : store_(&store), sink_(std::make_unique<FileSink>(file_name)), begin_(begin), end_(end),
          line_feed_after_last_(line_feed_after_last), next_(begin.line)
    {
    }

    // A sink that finished with an error is one step() away from failing.
    bool ended() const { return !sink_ || (finishing_ && sink_->finished() && sink_->error().isEmpty()); }

    void fail(const QString& reason)
    {
        error_ = reason;
        // The temporary file goes with the sink.
        sink_.reset();
    }

    // Stops early when the save failed, the writing thread is behind or the deadline passed;
    // then the next step goes on where this one stopped, in the middle of a line if need be.
    void gather(Clock::time_point deadline)
    {
        const std::int64_t first = store_->first_line_number();
        if (next_ < first) {
            fail(dropped_lines_error);
            return;
        }
        std::size_t since_check = 0;
        while (next_ <= end_.line) {
            const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(end_.line - next_ + 1, batch_lines));
            const std::size_t count = store_->line_views(static_cast<int>(next_ - first), std::span(batch_).first(wanted));
            if (count == 0) {
                // The lines to save are gone from the end: the store was cleared or cut.
                fail(dropped_lines_error);
                return;
            }
            for (std::size_t i = 0; i < count; ++i, ++next_) {
                std::string_view line = batch_[i];
                if (next_ == end_.line)
                    line = line.substr(0, std::min(end_.byte, line.size()));
                const bool from_start = next_ != begin_.line || begin_.byte == 0;
                if (next_ == begin_.line)
                    line.remove_prefix(std::min(begin_.byte, line.size()));
                std::string_view prefix;
                if (prefix_ && from_start) {
                    prefix_(next_, prefix_text_);
                    prefix = prefix_text_;
                }
                // A long line goes in pieces, a full buffer to the writing thread in the middle
                // of it and the rest into the next: so a line of any length costs a slice no
                // more than its time, and memory no more than the buffers.
                while (!put_line(prefix, line, next_ != end_.line || line_feed_after_last_)) {
                    if (sink_->room() == 0 && !sink_->hand_over()) {
                        disk_behind_ = true;
                        return;
                    }
                    if (Clock::now() >= deadline)
                        return;
                }
                since_check += line.size() + 16;
            }
            if (since_check >= check_bytes) {
                since_check = 0;
                if (Clock::now() >= deadline)
                    return;
            }
        }
    }

    // Puts a line's prefix, text and line feed into the sink's buffer from line_done_ on, as
    // far as the buffer takes them and check_bytes at most, so that the caller gets to look at
    // the clock; true once all of it is in.
    bool put_line(std::string_view prefix, std::string_view text, bool line_feed)
    {
        FileSink& sink = *sink_;
        const std::size_t budget = std::min(sink.room(), check_bytes);
        if (line_done_ == 0 && prefix.size() + text.size() + 1 <= budget) {
            sink.append(prefix);
            sink.append(text);
            if (line_feed)
                sink.append("\n");
            return true;
        }
        std::size_t skip = line_done_;
        std::size_t left = budget;
        for (std::string_view piece : {prefix, text, line_feed ? std::string_view("\n") : std::string_view()}) {
            const std::size_t skipped = std::min(skip, piece.size());
            piece.remove_prefix(skipped);
            skip -= skipped;
            const std::size_t taken = std::min(piece.size(), left);
            sink.append(piece.substr(0, taken));
            line_done_ += taken;
            left -= taken;
            if (taken < piece.size())
                return false;
        }
        line_done_ = 0;
        return true;
    }

    const Lines* store_;
    std::unique_ptr<FileSink> sink_;
    TextPlace begin_;
    TextPlace end_;
    bool line_feed_after_last_;
    std::int64_t next_;  // number of the next line to gather
    std::size_t line_done_ = 0;  // bytes of that line's prefix, text and line feed gathered
    bool disk_behind_ = false;
    bool finishing_ = false;
    QString error_;
    std::array<std::string_view, batch_lines> batch_{};
    LinePrefix prefix_;
    std::string prefix_text_;
};

}  // namespace logsave
