#pragma once
// The text view's line store: the bytes of every line in large blocks plus a paged index of
// line starts, so appending costs the same at any size and no step copies the whole store.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace colormemo {

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

    int line_count() const { return line_count_; }
    // Byte length of line `index`, without a line break.
    std::size_t line_length(int index) const;
    // The bytes of line `index`. The view stays valid until the next change of the store.
    std::string_view line_view(int index) const;
    std::string line_text(int index) const { return std::string(line_view(index)); }

    // Bytes of all lines plus two per line break.
    TextOffset text_length() const;
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
    // Inserts lines before line `index` (index == line_count() appends).
    void insert_lines(int index, std::span<const std::string_view> lines);
    // Removes `count` lines from line `index` on.
    void erase_lines(int index, int count);
    void delete_last_line();
    void clear();

    // The longest line seen, in display columns (tabs expanded), since the store was last
    // empty: an upper bound for the horizontal extent, kept without rescanning the store.
    int max_columns() const { return max_columns_; }

    // Bytes held by the store's blocks and index (for the benchmarks' accounting).
    std::size_t memory_bytes() const;

private:
    struct Page;
    struct Block;

    // Where line `index` lives: its page and its position in that page.
    std::pair<std::size_t, std::size_t> locate(int index) const;
    // Copies bytes into the blocks and returns their location.
    std::uint64_t store_bytes(std::string_view bytes);
    // Gives back the tail of the last block when these bytes sit there (a deleted last line).
    void release_bytes(std::uint64_t location, std::size_t length);
    std::string_view bytes_at(std::uint64_t location, std::size_t length) const;
    void split_page(std::size_t page);
    void drop_page_if_empty(std::size_t page);
    // Recomputes the pages' first line and first offset from `page` on.
    void renumber_from(std::size_t page);
    void note_columns(std::string_view line);

    std::vector<std::unique_ptr<Block>> blocks_;
    std::vector<std::unique_ptr<Page>> pages_;
    // Per page: its first line and the offset of its first line (pages.size() entries each).
    std::vector<int> page_first_line_;
    std::vector<TextOffset> page_first_offset_;
    int line_count_ = 0;
    TextOffset byte_total_ = 0;  // bytes of all lines, breaks not counted
    int max_columns_ = 0;
};

}  // namespace colormemo
