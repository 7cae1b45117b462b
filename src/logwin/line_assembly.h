#pragma once
// Line assembly: turns the byte chunks a log window receives into lines, joining the pieces of
// a line that arrives in several chunks. No I/O and no widgets; the window supplies a LineTarget.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace logwin {

// What line assembly needs of the text view and the alert check. The log window implements it.
class LineTarget {
public:
    virtual int line_count() const = 0;
    // Whether line `index` exists and holds exactly `text`.
    virtual bool line_holds(int index, std::string_view text) const = 0;
    // One edit: the lines become the new last lines, in order.
    virtual void append_lines(std::span<const std::string_view> lines) = 0;
    virtual void replace_line(int index, std::string_view text) = 0;
    // The alert check of a completed line, run before the line is shown; may throw.
    virtual void check_line(std::string_view line) = 0;

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
    // written into that line, unless the line no longer holds what was shown there (the user
    // edited the view), in which case the text is appended as a new line instead.
    // When the alert check throws, the lines checked before are shown, the rest of the chunk
    // and the connection's open fragment are dropped, and the exception goes on to the caller.
    void add_received_text(ConnectionKey connection, std::string_view chunk, LineTarget& target);

    // The connection closed: its open fragment, if any, becomes the one the next chunk continues.
    void connection_closed(ConnectionKey connection);
    // Every connection is gone at once (the listener was closed); open fragments stay as shown.
    void reset();

    // Some fragment is shown whose line feed hasn't arrived yet.
    bool last_line_open() const { return !fragments_.empty() || left_open_.has_value(); }

private:
    struct Fragment {
        std::string text;  // every byte received so far of the unfinished line
        int line = -1;     // where it is shown; -1 when that is no longer known
    };

    // Completes `open` with `rest`: check, then show in place or queue for appending.
    void complete_line(Fragment& open, std::string_view rest, LineTarget& target);
    bool still_shown(const Fragment& fragment, std::size_t shown_length, const LineTarget& target) const;
    void forget_line_positions();

    std::unordered_map<ConnectionKey, Fragment> fragments_;
    // The fragment of a connection that closed in the middle of a line.
    std::optional<Fragment> left_open_;
    // The view's line count after our last edit. Any other count means lines were inserted or
    // removed by someone else, so the remembered line positions may point at other lines.
    int known_line_count_ = 0;
};

}  // namespace logwin
