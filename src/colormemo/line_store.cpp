// The line store: line bytes in large append-only blocks, located through pages of at most a
// few thousand index entries, so no edit shifts more than one page of the index.

#include "colormemo/line_store.h"

#include "colormemo/text_codec.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace colormemo {

namespace {

// Lines per page as appended; a page that grows past twice this by insertions is split.
constexpr std::size_t page_lines = 1024;
constexpr std::size_t block_bytes = std::size_t{4} << 20;

std::uint64_t make_location(std::size_t block, std::size_t offset)
{
    return (static_cast<std::uint64_t>(block) << 32) | static_cast<std::uint64_t>(offset);
}
std::size_t location_block(std::uint64_t location) { return static_cast<std::size_t>(location >> 32); }
std::size_t location_offset(std::uint64_t location) { return static_cast<std::size_t>(location & 0xFFFFFFFFu); }

std::uint32_t checked_length(std::size_t length)
{
    if (length > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("Line too long for the text view");
    return static_cast<std::uint32_t>(length);
}

}  // namespace

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;

struct FreeBlock {
    void operator()(char* data) const { std::free(data); }
};

// Blocks are aligned to huge pages and offered to the kernel as such: filling a gigabyte of
// log then costs hundreds of page faults instead of hundreds of thousands.
std::unique_ptr<char[], FreeBlock> allocate_block(std::size_t size)
{
    const std::size_t rounded = (size + huge_page - 1) / huge_page * huge_page;
    char* data = static_cast<char*>(std::aligned_alloc(huge_page, rounded));
    if (data == nullptr)
        throw std::bad_alloc();
    madvise(data, rounded, MADV_HUGEPAGE);
    return std::unique_ptr<char[], FreeBlock>(data);
}

}  // namespace

struct LineStore::Block {
    std::unique_ptr<char[], FreeBlock> data;
    std::size_t size = 0;
    std::size_t used = 0;
};

// Two parallel arrays instead of one array of structs: 12 bytes per line, not 16.
struct LineStore::Page {
    std::vector<std::uint64_t> location;
    std::vector<std::uint32_t> length;
    TextOffset bytes = 0;

    std::size_t size() const { return length.size(); }
    // Offset of entry k from the page's first line, breaks counted.
    TextOffset offset_of(std::size_t k) const
    {
        TextOffset sum = 0;
        for (std::size_t i = 0; i < k; ++i)
            sum += length[i];
        return sum + 2 * static_cast<TextOffset>(k);
    }
};

LineStore::LineStore() = default;
LineStore::~LineStore() = default;

std::pair<std::size_t, std::size_t> LineStore::locate(int index) const
{
    if (index < 0 || index >= line_count_)
        throw std::out_of_range("Line index out of range");
    const auto it = std::upper_bound(page_first_line_.begin(), page_first_line_.end(), index);
    const auto page = static_cast<std::size_t>(it - page_first_line_.begin()) - 1;
    return {page, static_cast<std::size_t>(index - page_first_line_[page])};
}

std::size_t LineStore::line_length(int index) const
{
    const auto [page, k] = locate(index);
    return pages_[page]->length[k];
}

std::string_view LineStore::line_view(int index) const
{
    const auto [page, k] = locate(index);
    return bytes_at(pages_[page]->location[k], pages_[page]->length[k]);
}

TextOffset LineStore::text_length() const
{
    if (line_count_ == 0)
        return 0;
    return byte_total_ + 2 * static_cast<TextOffset>(line_count_ - 1);
}

TextOffset LineStore::line_start(int index) const
{
    if (index == line_count_)
        return byte_total_ + 2 * static_cast<TextOffset>(line_count_);
    const auto [page, k] = locate(index);
    return page_first_offset_[page] + pages_[page]->offset_of(k);
}

int LineStore::line_of_offset(TextOffset offset) const
{
    if (line_count_ == 0 || offset <= 0)
        return 0;
    const auto it = std::upper_bound(page_first_offset_.begin(), page_first_offset_.end(), offset);
    const auto page = static_cast<std::size_t>(it - page_first_offset_.begin()) - 1;
    const Page& p = *pages_[page];
    TextOffset start = page_first_offset_[page];
    for (std::size_t k = 0; k < p.size(); ++k) {
        const TextOffset next = start + p.length[k] + 2;
        if (offset < next)
            return page_first_line_[page] + static_cast<int>(k);
        start = next;
    }
    return line_count_ - 1;
}

std::string_view LineStore::bytes_at(std::uint64_t location, std::size_t length) const
{
    if (length == 0)
        return {};
    const Block& block = *blocks_[location_block(location)];
    return {block.data.get() + location_offset(location), length};
}

std::uint64_t LineStore::store_bytes(std::string_view bytes)
{
    if (bytes.empty())
        return 0;
    // A line never straddles blocks, so its bytes are one string_view; a line longer than a
    // block gets a block of its own.
    if (blocks_.empty() || blocks_.back()->size - blocks_.back()->used < bytes.size()) {
        auto block = std::make_unique<Block>();
        block->size = std::max(block_bytes, bytes.size());
        if (block->size > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("Line too long for the text view");
        block->data = allocate_block(block->size);
        blocks_.push_back(std::move(block));
    }
    Block& block = *blocks_.back();
    std::memmove(block.data.get() + block.used, bytes.data(), bytes.size());
    const std::uint64_t location = make_location(blocks_.size() - 1, block.used);
    block.used += bytes.size();
    return location;
}

void LineStore::release_bytes(std::uint64_t location, std::size_t length)
{
    if (length == 0 || blocks_.empty())
        return;
    Block& block = *blocks_.back();
    if (location_block(location) == blocks_.size() - 1 && location_offset(location) + length == block.used)
        block.used -= length;
}

void LineStore::note_columns(std::string_view line)
{
    max_columns_ = std::max(max_columns_, display_columns(line));
}

void LineStore::append_line(std::string_view line)
{
    const std::string_view one[] = {line};
    append_lines(one);
}

void LineStore::append_lines(std::span<const std::string_view> lines)
{
    if (lines.size() > static_cast<std::size_t>(max_lines - line_count_))
        throw std::length_error("The text view is full");
    for (const std::string_view line : lines) {
        const std::uint32_t length = checked_length(line.size());
        if (pages_.empty() || pages_.back()->size() >= page_lines) {
            auto page = std::make_unique<Page>();
            page->location.reserve(page_lines);
            page->length.reserve(page_lines);
            page_first_line_.push_back(line_count_);
            page_first_offset_.push_back(byte_total_ + 2 * static_cast<TextOffset>(line_count_));
            pages_.push_back(std::move(page));
        }
        Page& page = *pages_.back();
        page.location.push_back(store_bytes(line));
        page.length.push_back(length);
        page.bytes += length;
        byte_total_ += length;
        ++line_count_;
        note_columns(line);
    }
}

void LineStore::replace_line(int index, std::string_view text)
{
    const auto [page_index, k] = locate(index);
    Page& page = *pages_[page_index];
    const std::uint32_t new_length = checked_length(text.size());
    const std::uint32_t old_length = page.length[k];
    const std::uint64_t old_location = page.location[k];
    if (new_length <= old_length) {
        if (new_length > 0) {
            Block& block = *blocks_[location_block(old_location)];
            std::memmove(block.data.get() + location_offset(old_location), text.data(), new_length);
        }
        // Shortening a line at the tail of the last block gives its end back.
        release_bytes(old_location + new_length, old_length - new_length);
        if (new_length == 0)
            page.location[k] = 0;
    } else {
        // A line at the tail of the last block grows in place, so completing a fragment
        // line again and again leaves no garbage; any other line moves to the end.
        bool grown = false;
        if (old_length > 0 && location_block(old_location) == blocks_.size() - 1) {
            Block& block = *blocks_.back();
            const std::size_t at = location_offset(old_location);
            if (at + old_length == block.used && at + new_length <= block.size) {
                std::memmove(block.data.get() + at, text.data(), new_length);
                block.used = at + new_length;
                grown = true;
            }
        }
        if (!grown)
            page.location[k] = store_bytes(text);
    }
    page.length[k] = new_length;
    page.bytes += static_cast<TextOffset>(new_length) - static_cast<TextOffset>(old_length);
    byte_total_ += static_cast<TextOffset>(new_length) - static_cast<TextOffset>(old_length);
    note_columns(text);
    renumber_from(page_index + 1);
}

void LineStore::insert_lines(int index, std::span<const std::string_view> lines)
{
    if (index == line_count_) {
        append_lines(lines);
        return;
    }
    if (lines.empty())
        return;
    if (lines.size() > static_cast<std::size_t>(max_lines - line_count_))
        throw std::length_error("The text view is full");
    const auto [page_index, k] = locate(index);
    std::vector<std::uint64_t> locations;
    std::vector<std::uint32_t> lengths;
    locations.reserve(lines.size());
    lengths.reserve(lines.size());
    TextOffset added = 0;
    for (const std::string_view line : lines) {
        lengths.push_back(checked_length(line.size()));
        locations.push_back(store_bytes(line));
        added += static_cast<TextOffset>(line.size());
        note_columns(line);
    }
    Page& page = *pages_[page_index];
    page.location.insert(page.location.begin() + static_cast<std::ptrdiff_t>(k), locations.begin(), locations.end());
    page.length.insert(page.length.begin() + static_cast<std::ptrdiff_t>(k), lengths.begin(), lengths.end());
    page.bytes += added;
    byte_total_ += added;
    line_count_ += static_cast<int>(lines.size());
    split_page(page_index);
    renumber_from(page_index + 1);
}

void LineStore::split_page(std::size_t page_index)
{
    Page& page = *pages_[page_index];
    if (page.size() <= 2 * page_lines)
        return;
    // Cut the tail into fresh pages of page_lines each; the first page keeps the head.
    std::vector<std::unique_ptr<Page>> pieces;
    for (std::size_t from = page_lines; from < page.size(); from += page_lines) {
        const std::size_t to = std::min(page.size(), from + page_lines);
        auto piece = std::make_unique<Page>();
        piece->location.assign(page.location.begin() + static_cast<std::ptrdiff_t>(from),
                               page.location.begin() + static_cast<std::ptrdiff_t>(to));
        piece->length.assign(page.length.begin() + static_cast<std::ptrdiff_t>(from),
                             page.length.begin() + static_cast<std::ptrdiff_t>(to));
        for (const std::uint32_t length : piece->length)
            piece->bytes += length;
        pieces.push_back(std::move(piece));
    }
    page.location.resize(page_lines);
    page.length.resize(page_lines);
    page.location.shrink_to_fit();
    page.length.shrink_to_fit();
    page.bytes = 0;
    for (const std::uint32_t length : page.length)
        page.bytes += length;
    const auto at = static_cast<std::ptrdiff_t>(page_index + 1);
    pages_.insert(pages_.begin() + at, std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end()));
    page_first_line_.insert(page_first_line_.begin() + at, pieces.size(), 0);
    page_first_offset_.insert(page_first_offset_.begin() + at, pieces.size(), 0);
}

void LineStore::erase_lines(int index, int count)
{
    if (count <= 0)
        return;
    if (index < 0 || count > line_count_ - index)
        throw std::out_of_range("Line index out of range");
    auto [page_index, k] = locate(index);
    const std::size_t first_changed = page_index;
    auto remaining = static_cast<std::size_t>(count);
    while (remaining > 0) {
        Page& page = *pages_[page_index];
        const std::size_t n = std::min(remaining, page.size() - k);
        // Walk backwards so a run of lines at the tail of the last block is given back whole.
        for (std::size_t i = k + n; i-- > k;) {
            page.bytes -= page.length[i];
            byte_total_ -= page.length[i];
            release_bytes(page.location[i], page.length[i]);
        }
        page.location.erase(page.location.begin() + static_cast<std::ptrdiff_t>(k),
                            page.location.begin() + static_cast<std::ptrdiff_t>(k + n));
        page.length.erase(page.length.begin() + static_cast<std::ptrdiff_t>(k),
                          page.length.begin() + static_cast<std::ptrdiff_t>(k + n));
        line_count_ -= static_cast<int>(n);
        remaining -= n;
        if (page.size() == 0) {
            pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(page_index));
            page_first_line_.erase(page_first_line_.begin() + static_cast<std::ptrdiff_t>(page_index));
            page_first_offset_.erase(page_first_offset_.begin() + static_cast<std::ptrdiff_t>(page_index));
        } else {
            ++page_index;
        }
        k = 0;
    }
    if (line_count_ == 0) {
        clear();
        return;
    }
    renumber_from(first_changed);
}

void LineStore::delete_last_line()
{
    if (line_count_ == 0)
        throw std::out_of_range("Line index out of range");
    erase_lines(line_count_ - 1, 1);
}

void LineStore::clear()
{
    blocks_.clear();
    pages_.clear();
    page_first_line_.clear();
    page_first_offset_.clear();
    line_count_ = 0;
    byte_total_ = 0;
    max_columns_ = 0;
}

void LineStore::renumber_from(std::size_t page_index)
{
    if (page_index >= pages_.size())
        return;
    int line = 0;
    TextOffset offset = 0;
    if (page_index > 0) {
        const Page& before = *pages_[page_index - 1];
        line = page_first_line_[page_index - 1] + static_cast<int>(before.size());
        offset = page_first_offset_[page_index - 1] + before.bytes + 2 * static_cast<TextOffset>(before.size());
    }
    for (std::size_t p = page_index; p < pages_.size(); ++p) {
        page_first_line_[p] = line;
        page_first_offset_[p] = offset;
        line += static_cast<int>(pages_[p]->size());
        offset += pages_[p]->bytes + 2 * static_cast<TextOffset>(pages_[p]->size());
    }
}

std::size_t LineStore::memory_bytes() const
{
    std::size_t total = blocks_.capacity() * sizeof(void*) + pages_.capacity() * sizeof(void*) +
                        page_first_line_.capacity() * sizeof(int) +
                        page_first_offset_.capacity() * sizeof(TextOffset);
    for (const auto& block : blocks_)
        total += sizeof(Block) + block->size;
    for (const auto& page : pages_)
        total += sizeof(Page) + page->location.capacity() * sizeof(std::uint64_t) +
                 page->length.capacity() * sizeof(std::uint32_t);
    return total;
}

}  // namespace colormemo
