#pragma once
// Line assembly: turns the byte chunks a log window receives into lines, joining the pieces of
// a line that arrives in several chunks. No I/O and no widgets; the log channel supplies a LineTarget.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace channel {

// What line assembly needs of the log's lines and the alert check. The log channel implements it.
class LineTarget {
public:
    virtual int line_count() const = 0;
    // The number of line 0 in a count that never goes back: it grows by the lines dropped from
    // the front (a scrollback limit) or cleared, so a line keeps its number while it is shown.
    virtual std::int64_t first_line_number() const = 0;
    // The bytes of line `index` (0 <= index < line_count()), valid until the next edit.
    virtual std::string_view line_view(int index) const = 0;
    // One edit: the lines become the new last lines, in order. Old lines may be dropped from
    // the front meanwhile.
    virtual void append_lines(std::span<const std::string_view> lines) = 0;
    // Appends bytes to the end of line `index`; with no bytes, the line's line feed came.
    virtual void extend_line(int index, std::string_view bytes) = 0;
    // The alert check of a completed line, run before the line is shown; may throw.
    virtual void check_line(std::string_view line) = 0;
    // The line numbered `number` (see first_line_number) is shown complete now.
    virtual void line_completed(std::int64_t number) = 0;

protected:
    ~LineTarget() = default;
};

// Lines are assembled per connection, so two senders writing at once never splice their lines
// together. A connection's unfinished line (its fragment) is shown at once as a line of its own
// and completed in place when its line feed arrives; only completed lines reach the alert check.
// A fragment left by a connection that closed is continued by the next connection that sends
// anything, so a sender that writes one line over several short connections still gets one line.
class LineAssembly {
public:
    // Identifies a connection for as long as it is open (the window uses the connection's address).
    using ConnectionKey = const void*;

    // Handles one received chunk of `connection`. The chunk ends at its first zero byte. Empty
    // lines are dropped, except that a line feed completes an open fragment. The chunk's lines
    // are shown in one append; a fragment that continues or completes a line already shown is
    // added to the end of that line, unless the line no longer holds what was shown there (the
    // user edited the view), in which case the text is appended as a new line instead. Each
    // chunk costs time in proportion to its own size, however long the open line has grown.
    // When the alert check throws, the lines checked before are shown, the rest of the chunk
    // and the connection's open fragment are dropped, and the exception goes on to the caller.
    void add_received_text(ConnectionKey connection, std::string_view chunk, LineTarget& target);

    // The connection closed: its open fragment, if any, becomes the one the next chunk continues.
    void connection_closed(ConnectionKey connection);
    // Every connection is gone at once (the listener was closed); open fragments stay as shown.
    void reset();
    // The user emptied the view: what open fragments showed is gone, and the bytes that follow
    // start a new line. The alert check still sees each line whole (a fragment's start only
    // while it is short enough for a copy to be kept).
    void view_cleared();

    // Some fragment is shown whose line feed hasn't arrived yet.
    bool last_line_open() const { return !fragments_.empty() || left_open_.has_value(); }

private:
    struct Fragment {
        std::int64_t number = -1;  // the line showing it (see first_line_number); -1: not shown
        std::size_t length = 0;    // bytes received so far of the unfinished line
        // Those bytes while the line is short, to tell whether the user edited the shown line
        // and to show it again if so. A long line is recognised by its length alone: a copy
        // would double the memory the longest lines take.
        std::string text;
        bool text_kept = true;
        // Bytes at the line's start that the view no longer shows, since it was cleared.
        std::size_t cleared = 0;

        void add(std::string_view bytes);
    };

    // The line index showing `fragment`, or -1 when it is not shown (any more) as received.
    int shown_at(const Fragment& fragment, const LineTarget& target) const;
    void forget_line_positions();

    std::unordered_map<ConnectionKey, Fragment> fragments_;
    // The fragment of a connection that closed in the middle of a line.
    std::optional<Fragment> left_open_;
    // The number the line after the view's last line had after our last edit. Lines dropped
    // from the front keep it; any other number means lines were inserted or removed by
    // someone else, so the remembered line numbers may point at other lines.
    std::int64_t known_end_ = 0;
};

}  // namespace channel
