#pragma once
// The text view's line store: the bytes of every line in large blocks plus a paged index of
// line starts, so appending costs the same at any size and no step copies the whole store.
// Lines can be dropped from the front (a scrollback limit), and a line can grow at its end at
// a cost in proportion to what is added, however long it already is.

#include "lines/text_codec.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lines {

// Offsets into the memo text: bytes of the lines with CR LF (two bytes) between lines, the
// way the colouring pass and its rules count them. 64 bits, since a log can outgrow 2 GiB.
using TextOffset = std::int64_t;

class LineStore {
public:
    LineStore();
    ~LineStore();
    LineStore(const LineStore&) = delete;
    LineStore& operator=(const LineStore&) = delete;

    // The longest line count the store takes; appending beyond it raises std::length_error.
    static constexpr int max_lines = 2'000'000'000;
    // Lines at least this long keep column marks, so that the view can lay out the part on
    // screen without reading the line from its start.
    static constexpr std::size_t long_line_bytes = std::size_t{64} << 10;

    int line_count() const { return line_count_; }
    // Byte length of line `index`, without a line break.
    std::size_t line_length(int index) const;
    // The bytes of line `index`. The view stays valid until the next change of the store.
    std::string_view line_view(int index) const;
    std::string line_text(int index) const { return std::string(line_view(index)); }
    // The bytes of the lines from `index` on, as many as `out` holds (fewer at the end of the
    // store); returns how many. Much cheaper per line than line_view for a pass over many
    // lines, which then looks up each line on its own. Valid until the next change.
    std::size_t line_views(int index, std::span<std::string_view> out) const;

    // Bytes of all lines plus two per line break.
    TextOffset text_length() const;
    // Bytes of all lines, line breaks not counted.
    TextOffset byte_total() const { return byte_total_; }
    // Offset of the first byte of line `index`; line_count() gives text_length() + 2 as the
    // start of a line that would follow.
    TextOffset line_start(int index) const;
    // The line holding `offset` (an offset on a line break belongs to the line before it);
    // offsets past the end give the last line, negative ones line 0.
    int line_of_offset(TextOffset offset) const;

    // Appends lines as new last lines, in order.
    void append_lines(std::span<const std::string_view> lines);
    void append_line(std::string_view line);
    // Replaces the bytes of one line.
    void replace_line(int index, std::string_view text);
    // Appends `bytes` (which must not lie in the store) to the end of line `index`. Costs time
    // in proportion to the bytes added: room grows geometrically, and a long line grows in a
    // mapping of its own without being copied.
    void extend_line(int index, std::string_view bytes);
    // Inserts lines before line `index` (index == line_count() appends).
    void insert_lines(int index, std::span<const std::string_view> lines);
    // Removes `count` lines from line `index` on.
    void erase_lines(int index, int count);
    void delete_last_line();
    // Drops the first `count` lines at a cost in proportion to them, not to the store; a block
    // whose lines are all gone goes back to the system at once, but for one kept for the lines
    // to come.
    void drop_first_lines(int count);
    void clear();

    // How many lines were dropped or cleared from the front since the store was made: the
    // number of line 0 in a count that never goes back, so holders of line numbers can tell
    // where their line went.
    std::int64_t first_line_number() const { return line_base_; }

    // The longest line seen, in display columns (tabs expanded), since the store was last
    // empty: an upper bound for the horizontal extent, kept without rescanning the store.
    std::int64_t max_columns() const { return max_columns_; }

    // The last column mark of line `index` at or before `byte`, and the last one at or before
    // `column`; {0, 0} for a line shorter than long_line_bytes.
    ColumnMark mark_before_byte(int index, std::size_t byte) const;
    ColumnMark mark_before_column(int index, std::int64_t column) const;

    // Bytes of memory the store's blocks and index occupy (what has been written to, not what
    // is merely mapped).
    std::size_t memory_bytes() const;

private:
    struct Page;
    struct Block;
    struct LineExtra;

    // Where line `index` lives: its page and its position in that page.
    std::pair<std::size_t, std::size_t> locate(int index) const;
    Block& block_of(std::uint64_t location) const;
    char* address_of(std::uint64_t location) const;
    std::string_view bytes_at(std::uint64_t location, std::size_t length) const;
    // Copies bytes into the blocks with `room` bytes reserved for them (room >= size) and
    // returns their location; the block counts one more line.
    std::uint64_t store_bytes(std::string_view bytes, std::size_t room);
    std::uint64_t store_line(std::string_view line);
    // The line at `location` no longer uses its bytes; a block left without lines is freed.
    void unlink(std::uint64_t location, std::size_t length);
    void free_block(std::uint32_t id);
    bool grow_in_place(std::uint64_t location, std::size_t old_length, std::size_t new_length);
    std::uint64_t move_to_grow(std::uint64_t location, std::size_t old_length, std::size_t new_length);
    void split_page(std::size_t page);
    // Recomputes the pages' first line and first offset from `page` on.
    void renumber_from(std::size_t page);
    // Counts the columns of a line just stored (or grown) for max_columns() and its marks.
    void note_columns(std::uint64_t location, std::string_view line);
    const LineExtra* extra_of(int index) const;

    std::deque<std::unique_ptr<Block>> blocks_;  // block ids from first_block_ on; freed ones are null
    std::unique_ptr<Block> spare_;  // an emptied shared block, taken before mapping a new one
    std::uint32_t first_block_ = 0;
    std::int64_t tail_block_ = -1;  // the block new lines go into, -1 before the first
    std::unordered_map<std::uint64_t, LineExtra> extras_;  // by location

    std::deque<std::unique_ptr<Page>> pages_;
    // Per page: the number of its first line and the offset of its first line, both counted
    // from the store's first line ever (line_base_ and offset_base_ are those of line 0).
    std::deque<std::int64_t> page_first_line_;
    std::deque<TextOffset> page_first_offset_;
    std::int64_t line_base_ = 0;
    TextOffset offset_base_ = 0;
    int line_count_ = 0;
    TextOffset byte_total_ = 0;  // bytes of all lines, breaks not counted
    std::int64_t max_columns_ = 0;
};

}  // namespace lines
