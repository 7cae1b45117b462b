// Line assembly: one pass over each chunk, one append per chunk, fragments kept per connection.

#include "logwin/line_assembly.h"

#include <utility>
#include <vector>

namespace logwin {

void LineAssembly::add_received_text(ConnectionKey connection, std::string_view chunk, LineTarget& target)
{
    chunk = chunk.substr(0, chunk.find('\0'));
    if (chunk.empty())
        return;
    if (target.line_count() != known_line_count_)
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
    // A completed line that couldn't be written in place; at most one per chunk, since only the
    // first line of a chunk can continue a fragment.
    std::string joined;
    bool append_attempted = false;
    try {
        std::size_t pos = 0;
        for (std::size_t lf = chunk.find('\n'); lf != std::string_view::npos; lf = chunk.find('\n', pos)) {
            const std::string_view piece = chunk.substr(pos, lf - pos);
            pos = lf + 1;
            if (open) {
                const std::size_t shown = open->text.size();
                open->text.append(piece);
                target.check_line(open->text);
                if (still_shown(*open, shown, target)) {
                    if (!piece.empty())
                        target.replace_line(open->line, open->text);
                } else {
                    joined = std::move(open->text);
                    appends.push_back(joined);
                }
                open.reset();
            } else if (!piece.empty()) {
                target.check_line(piece);
                appends.push_back(piece);
            }
        }

        const std::string_view tail = chunk.substr(pos);
        if (!tail.empty()) {
            if (open && still_shown(*open, open->text.size(), target)) {
                open->text.append(tail);
                target.replace_line(open->line, open->text);
            } else {
                if (!open)
                    open.emplace();
                open->text.append(tail);
                open->line = -1;  // the last line of the append below
                appends.push_back(open->text);
            }
        }

        append_attempted = true;
        if (!appends.empty())
            target.append_lines(appends);
    } catch (...) {
        // Show what passed the check before the failing line; the view's own failure to append
        // is not retried.
        if (!append_attempted && !appends.empty()) {
            try {
                target.append_lines(appends);
            } catch (...) {
            }
        }
        known_line_count_ = target.line_count();
        throw;
    }

    if (open) {
        if (open->line < 0)
            open->line = target.line_count() - 1;
        fragments_.insert_or_assign(connection, std::move(*open));
    }
    known_line_count_ = target.line_count();
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

bool LineAssembly::still_shown(const Fragment& fragment, std::size_t shown_length, const LineTarget& target) const
{
    return fragment.line >= 0
        && target.line_holds(fragment.line, std::string_view(fragment.text).substr(0, shown_length));
}

void LineAssembly::forget_line_positions()
{
    for (auto& entry : fragments_)
        entry.second.line = -1;
    if (left_open_)
        left_open_->line = -1;
}

}  // namespace logwin
