// Line assembly: one pass over each chunk, one append per chunk, fragments kept per connection.

#include "channel/line_assembly.h"

#include <utility>
#include <vector>

namespace channel {

namespace {

// A fragment this long stops keeping a copy of its bytes (see Fragment::text).
constexpr std::size_t copy_limit = std::size_t{64} << 10;

std::int64_t end_number(const LineTarget& target) { return target.first_line_number() + target.line_count(); }

}  // namespace

void LineAssembly::Fragment::add(std::string_view bytes)
{
    length += bytes.size();
    if (!text_kept)
        return;
    if (length < copy_limit) {
        text.append(bytes);
    } else {
        std::string().swap(text);
        text_kept = false;
    }
}

void LineAssembly::add_received_text(ConnectionKey connection, std::string_view chunk, LineTarget& target)
{
    chunk = chunk.substr(0, chunk.find('\0'));
    if (chunk.empty())
        return;
    if (end_number(target) != known_end_)
        forget_line_positions();

    // The connection's fragment leaves the table while the chunk is handled and goes back only
    // if a line is still open at the end: a failed alert check drops it with the rest of the chunk.
    std::optional<Fragment> open;
    if (auto found = fragments_.find(connection); found != fragments_.end()) {
        open = std::move(found->second);
        fragments_.erase(found);
    } else if (left_open_) {
        open = std::move(left_open_);
        left_open_.reset();
    }

    std::vector<std::string_view> appends;
    // A completed line that couldn't be added to its shown fragment; at most one per chunk,
    // since only the first line of a chunk can continue a fragment.
    std::string joined;
    bool append_attempted = false;
    try {
        std::size_t pos = 0;
        for (std::size_t lf = chunk.find('\n'); lf != std::string_view::npos; lf = chunk.find('\n', pos)) {
            const std::string_view piece = chunk.substr(pos, lf - pos);
            pos = lf + 1;
            if (open) {
                // The alert check sees the whole line once, before it is shown complete.
                const int was_shown = shown_at(*open, target);
                // The whole line: the view holds it unless part of it was cleared from the view.
                const bool from_copy = was_shown < 0 || (open->cleared > 0 && open->text_kept);
                const std::size_t hidden = from_copy && open->text_kept ? open->cleared : 0;
                std::string line;
                if (!from_copy)
                    line = target.line_view(was_shown);
                else if (was_shown >= 0)
                    line = open->text;  // still needed to recognise the shown line below
                else
                    line = std::move(open->text);
                line.append(piece);
                target.check_line(line);
                // The check's actions may have run an event loop that changed the view.
                const int shown = was_shown >= 0 ? shown_at(*open, target) : -1;
                if (shown >= 0) {
                    target.extend_line(shown, piece);  // even empty: the line completes now
                    target.line_completed(target.first_line_number() + shown);
                } else {
                    joined = std::move(line);
                    appends.push_back(std::string_view(joined).substr(hidden));
                }
                open.reset();
            } else if (!piece.empty()) {
                target.check_line(piece);
                appends.push_back(piece);
            }
        }

        const std::string_view tail = chunk.substr(pos);
        if (!tail.empty()) {
            const int shown = open ? shown_at(*open, target) : -1;
            if (shown >= 0) {
                target.extend_line(shown, tail);
                open->add(tail);
            } else {
                // Shown again as a new line: all of it while a copy is kept, else from here on.
                if (!open || !open->text_kept)
                    open.emplace();
                open->add(tail);
                open->number = -1;  // the last line of the append below
                appends.push_back(open->text_kept ? std::string_view(open->text).substr(open->cleared) : tail);
            }
        }

        append_attempted = true;
        if (!appends.empty()) {
            const std::int64_t first_number = end_number(target);
            target.append_lines(appends);
            // The last line appended stays open when it is the chunk's unfinished tail.
            const bool tail_open = open.has_value() && open->number < 0;
            const auto completed = static_cast<std::int64_t>(appends.size()) - (tail_open ? 1 : 0);
            for (std::int64_t line = 0; line < completed; ++line)
                target.line_completed(first_number + line);
        }
    } catch (...) {
        // Show what passed the check before the failing line; the view's own failure to append
        // is not retried.
        if (!append_attempted && !appends.empty()) {
            try {
                target.append_lines(appends);
            } catch (...) {
            }
        }
        known_end_ = end_number(target);
        throw;
    }

    if (open) {
        if (open->number < 0)
            open->number = end_number(target) - 1;
        fragments_.insert_or_assign(connection, std::move(*open));
    }
    known_end_ = end_number(target);
}

void LineAssembly::connection_closed(ConnectionKey connection)
{
    const auto found = fragments_.find(connection);
    if (found == fragments_.end())
        return;
    // An older fragment left behind stays a line of its own; only the newest is continued.
    left_open_ = std::move(found->second);
    fragments_.erase(found);
}

void LineAssembly::reset()
{
    fragments_.clear();
    left_open_.reset();
}

int LineAssembly::shown_at(const Fragment& fragment, const LineTarget& target) const
{
    if (fragment.number < 0)
        return -1;
    const std::int64_t index = fragment.number - target.first_line_number();
    if (index < 0 || index >= target.line_count())
        return -1;  // dropped from the front, or gone
    const std::string_view line = target.line_view(static_cast<int>(index));
    if (line.size() != fragment.length - fragment.cleared ||
        (fragment.text_kept && line != std::string_view(fragment.text).substr(fragment.cleared)))
        return -1;
    return static_cast<int>(index);
}

void LineAssembly::view_cleared()
{
    const auto clear = [](Fragment& fragment) {
        fragment.cleared = fragment.length;
        fragment.number = -1;
    };
    for (auto& entry : fragments_)
        clear(entry.second);
    if (left_open_)
        clear(*left_open_);
}

void LineAssembly::forget_line_positions()
{
    for (auto& entry : fragments_)
        entry.second.number = -1;
    if (left_open_)
        left_open_->number = -1;
}

}  // namespace channel
