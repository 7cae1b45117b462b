// The line store: line bytes in large mapped blocks, located through pages of at most a few
// thousand index entries, so no edit shifts more than one page of the index. Blocks are counted
// by the lines living in them and unmapped when the last one goes, so dropped or cleared text
// really leaves the process.

#include "lines/line_store.h"

#include "lines/mapped_memory.h"
#include "lines/text_codec.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace lines {

namespace {

// Lines per page as appended; a page that grows past twice this by insertions is split.
constexpr std::size_t page_lines = 1024;
constexpr std::size_t block_bytes = std::size_t{4} << 20;
// A line that has to move to grow, and is at least this long, gets a mapping of its own, which
// then grows by remapping its pages instead of copying them.
constexpr std::size_t own_block_bytes = std::size_t{256} << 10;
// Distance between the column marks of a long line.
constexpr std::size_t mark_spacing = std::size_t{64} << 10;

std::uint64_t make_location(std::uint32_t block, std::size_t offset)
{
    return (static_cast<std::uint64_t>(block) << 32) | static_cast<std::uint64_t>(offset);
}
std::uint32_t location_block(std::uint64_t location) { return static_cast<std::uint32_t>(location >> 32); }
std::size_t location_offset(std::uint64_t location) { return static_cast<std::size_t>(location & 0xFFFFFFFFu); }


std::uint32_t checked_length(std::size_t length)
{
    if (length > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("Line too long for the text view");
    return static_cast<std::uint32_t>(length);
}

}  // namespace

struct LineStore::Block {
    char* data = nullptr;
    std::size_t size = 0;   // bytes mapped
    std::size_t used = 0;   // bytes handed out, from the start
    std::size_t lines = 0;  // lines whose bytes are here
    bool own = false;       // holds one line alone, at offset 0, grown by remapping

    Block() = default;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block()
    {
        if (data != nullptr)
            mapped::unmap(data, size);
    }
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

// Kept for the few lines that grew or are long: room reserved behind the line in a shared
// block, how far its columns are counted, and its column marks.
struct LineStore::LineExtra {
    std::size_t capacity = 0;
    ColumnMark counted;
    std::vector<ColumnMark> marks;
};

LineStore::LineStore() = default;
LineStore::~LineStore() { clear(); }

std::pair<std::size_t, std::size_t> LineStore::locate(int index) const
{
    if (index < 0 || index >= line_count_)
        throw std::out_of_range("Line index out of range");
    const std::int64_t number = line_base_ + index;
    const auto it = std::upper_bound(page_first_line_.begin(), page_first_line_.end(), number);
    const auto page = static_cast<std::size_t>(it - page_first_line_.begin()) - 1;
    return {page, static_cast<std::size_t>(number - page_first_line_[page])};
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

std::size_t LineStore::line_views(int index, std::span<std::string_view> out) const
{
    const std::size_t wanted = std::min(out.size(), static_cast<std::size_t>(std::max(0, line_count_ - index)));
    if (wanted == 0)
        return 0;
    auto [page, k] = locate(index);
    for (std::size_t filled = 0; filled < wanted; ++page, k = 0) {
        const Page& lines = *pages_[page];
        for (; k < lines.size() && filled < wanted; ++k)
            out[filled++] = bytes_at(lines.location[k], lines.length[k]);
    }
    return wanted;
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
    return page_first_offset_[page] - offset_base_ + pages_[page]->offset_of(k);
}

int LineStore::line_of_offset(TextOffset offset) const
{
    if (line_count_ == 0 || offset <= 0)
        return 0;
    const TextOffset absolute = offset + offset_base_;
    const auto it = std::upper_bound(page_first_offset_.begin(), page_first_offset_.end(), absolute);
    const auto page = static_cast<std::size_t>(it - page_first_offset_.begin()) - 1;
    const Page& p = *pages_[page];
    TextOffset start = page_first_offset_[page];
    for (std::size_t k = 0; k < p.size(); ++k) {
        const TextOffset next = start + p.length[k] + 2;
        if (absolute < next)
            return static_cast<int>(page_first_line_[page] - line_base_) + static_cast<int>(k);
        start = next;
    }
    return line_count_ - 1;
}

LineStore::Block& LineStore::block_of(std::uint64_t location) const
{
    return *blocks_[location_block(location) - first_block_];
}

char* LineStore::address_of(std::uint64_t location) const
{
    return block_of(location).data + location_offset(location);
}

std::string_view LineStore::bytes_at(std::uint64_t location, std::size_t length) const
{
    if (length == 0)
        return {};
    return {address_of(location), length};
}

std::uint64_t LineStore::store_bytes(std::string_view bytes, std::size_t room)
{
    auto next_id = [&] { return static_cast<std::uint32_t>(first_block_ + blocks_.size()); };
    if (room >= own_block_bytes) {
        auto block = std::make_unique<Block>();
        block->size = mapped::round_up(room, mapped::system_page);
        block->data = mapped::map(block->size, true);
        block->used = bytes.size();
        block->lines = 1;
        block->own = true;
        std::memcpy(block->data, bytes.data(), bytes.size());
        const std::uint32_t id = next_id();
        blocks_.push_back(std::move(block));
        return make_location(id, 0);
    }
    Block* tail = tail_block_ < 0 ? nullptr : blocks_[static_cast<std::size_t>(tail_block_ - first_block_)].get();
    if (tail == nullptr || tail->size - tail->used < room) {
        if (tail != nullptr && tail->lines == 0)
            free_block(static_cast<std::uint32_t>(tail_block_));
        std::unique_ptr<Block> block = std::move(spare_);
        if (block == nullptr) {
            block = std::make_unique<Block>();
            block->size = block_bytes;
            block->data = mapped::map(block->size, true);
        }
        tail_block_ = next_id();
        tail = block.get();
        blocks_.push_back(std::move(block));
    }
    std::memcpy(tail->data + tail->used, bytes.data(), bytes.size());
    const std::uint64_t location = make_location(static_cast<std::uint32_t>(tail_block_), tail->used);
    tail->used += room;
    ++tail->lines;
    return location;
}

std::uint64_t LineStore::store_line(std::string_view line)
{
    if (line.empty())
        return 0;
    const std::uint64_t location = store_bytes(line, line.size());
    // A line just stored has nothing kept about it yet; only a long one starts its marks.
    if (line.size() < long_line_bytes)
        max_columns_ = std::max<std::int64_t>(max_columns_, display_columns(line));
    else
        note_columns(location, line);
    return location;
}

void LineStore::unlink(std::uint64_t location, std::size_t length)
{
    if (length == 0)
        return;
    std::size_t reserved = length;
    if (!extras_.empty()) {
        if (const auto found = extras_.find(location); found != extras_.end()) {
            reserved = std::max(reserved, found->second.capacity);
            extras_.erase(found);
        }
    }
    const std::uint32_t id = location_block(location);
    Block& block = block_of(location);
    // The newest bytes of the tail block are given back, so a last line deleted and appended
    // again and again leaves no garbage.
    if (location_offset(location) + reserved == block.used)
        block.used = location_offset(location);
    if (--block.lines == 0) {
        if (static_cast<std::int64_t>(id) == tail_block_)
            block.used = 0;
        else
            free_block(id);
    }
}

void LineStore::free_block(std::uint32_t id)
{
    std::unique_ptr<Block>& block = blocks_[id - first_block_];
    // One emptied block is kept for the lines to come: under a scrollback limit text is dropped
    // at the front as fast as it arrives, and filling pages that are still mapped costs no page
    // faults, where a fresh block faults in each of its pages (and unmapping one costs as much).
    if (!block->own && spare_ == nullptr) {
        block->used = 0;
        block->lines = 0;
        spare_ = std::move(block);
    }
    block.reset();
    if (static_cast<std::int64_t>(id) == tail_block_)
        tail_block_ = -1;
    while (!blocks_.empty() && blocks_.front() == nullptr) {
        blocks_.pop_front();
        ++first_block_;
    }
}

void LineStore::note_columns(std::uint64_t location, std::string_view line)
{
    auto found = extras_.find(location);
    if (found == extras_.end()) {
        if (line.size() < long_line_bytes) {
            max_columns_ = std::max<std::int64_t>(max_columns_, display_columns(line));
            return;
        }
        found = extras_.emplace(location, LineExtra{}).first;
    }
    LineExtra& extra = found->second;
    if (line.size() >= long_line_bytes && extra.marks.empty())
        extra.marks.push_back({});
    count_columns(line, extra.counted, extra.marks.empty() ? nullptr : &extra.marks, mark_spacing);
    // Bytes of a character still arriving count as a column each: an upper bound is all it takes.
    max_columns_ = std::max<std::int64_t>(max_columns_,
                                          extra.counted.column + static_cast<std::int64_t>(line.size() - extra.counted.byte));
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
            page_first_line_.push_back(line_base_ + line_count_);
            page_first_offset_.push_back(offset_base_ + byte_total_ + 2 * static_cast<TextOffset>(line_count_));
            pages_.push_back(std::move(page));
        }
        Page& page = *pages_.back();
        page.location.push_back(store_line(line));
        page.length.push_back(length);
        page.bytes += length;
        byte_total_ += length;
        ++line_count_;
    }
}

void LineStore::replace_line(int index, std::string_view text)
{
    const auto [page_index, k] = locate(index);
    Page& page = *pages_[page_index];
    const std::uint32_t new_length = checked_length(text.size());
    const std::uint32_t old_length = page.length[k];
    const std::uint64_t old_location = page.location[k];
    if (new_length > 0 && new_length <= old_length && old_length < long_line_bytes) {
        // Rewritten where it stands; a line at the tail of the tail block gives its end back.
        std::memmove(address_of(old_location), text.data(), new_length);
        Block& block = block_of(old_location);
        const bool reserved = !extras_.empty() && extras_.contains(old_location);
        if (!reserved && location_offset(old_location) + old_length == block.used)
            block.used = location_offset(old_location) + new_length;
        if (reserved)
            extras_.erase(old_location);
        note_columns(old_location, text);
    } else if (new_length > old_length && old_length > 0 && text.substr(0, old_length) == bytes_at(old_location, old_length)) {
        // Growing at the end: the same path line assembly takes.
        const std::string added(text.substr(old_length));
        extend_line(index, added);
        return;
    } else {
        // Copied before the old bytes go: `text` may be a view of them.
        const std::uint64_t location = store_line(text);
        unlink(old_location, old_length);
        page.location[k] = location;
    }
    page.length[k] = new_length;
    page.bytes += static_cast<TextOffset>(new_length) - static_cast<TextOffset>(old_length);
    byte_total_ += static_cast<TextOffset>(new_length) - static_cast<TextOffset>(old_length);
    renumber_from(page_index + 1);
}

bool LineStore::grow_in_place(std::uint64_t location, std::size_t old_length, std::size_t new_length)
{
    Block& block = block_of(location);
    if (block.own) {
        if (new_length > block.size) {
            // Half as much again: the pages are moved, not copied, so growing stays cheap, and
            // the slack is mapped but never touched.
            const std::size_t size = mapped::round_up(new_length + new_length / 2, mapped::system_page);
            block.data = mapped::remap(block.data, block.size, size);
            block.size = size;
        }
        block.used = new_length;
        return true;
    }
    const std::size_t at = location_offset(location);
    auto found = extras_.find(location);
    const std::size_t capacity = found != extras_.end() ? std::max(found->second.capacity, old_length) : old_length;
    if (new_length <= capacity)
        return true;
    // The newest bytes of the tail block can grow into its free room.
    if (static_cast<std::int64_t>(location_block(location)) == tail_block_ && at + capacity == block.used &&
        at + new_length <= block.size) {
        block.used = at + new_length;
        if (found != extras_.end())
            found->second.capacity = new_length;
        return true;
    }
    return false;
}

std::uint64_t LineStore::move_to_grow(std::uint64_t location, std::size_t old_length, std::size_t new_length)
{
    const std::size_t room = std::max<std::size_t>(2 * new_length, 256);
    const std::uint64_t moved = store_bytes(bytes_at(location, old_length), room);
    // The line's column count and marks go with it.
    LineExtra extra;
    if (auto found = extras_.find(location); found != extras_.end()) {
        extra = std::move(found->second);
        extras_.erase(found);
    }
    unlink(location, old_length);
    extra.capacity = block_of(moved).own ? 0 : room;
    extras_.insert_or_assign(moved, std::move(extra));
    return moved;
}

void LineStore::extend_line(int index, std::string_view bytes)
{
    const auto [page_index, k] = locate(index);
    if (bytes.empty())
        return;
    Page& page = *pages_[page_index];
    const std::size_t old_length = page.length[k];
    const std::size_t new_length = old_length + bytes.size();
    const std::uint32_t length = checked_length(new_length);
    std::uint64_t location = page.location[k];
    if (old_length == 0) {
        location = store_bytes(bytes, bytes.size());
    } else {
        if (!grow_in_place(location, old_length, new_length))
            location = move_to_grow(location, old_length, new_length);
        std::memcpy(address_of(location) + old_length, bytes.data(), bytes.size());
    }
    if (!extras_.contains(location))
        extras_.emplace(location, LineExtra{});
    note_columns(location, bytes_at(location, new_length));
    page.location[k] = location;
    page.length[k] = length;
    page.bytes += static_cast<TextOffset>(bytes.size());
    byte_total_ += static_cast<TextOffset>(bytes.size());
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
        locations.push_back(store_line(line));
        added += static_cast<TextOffset>(line.size());
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
            unlink(page.location[i], page.length[i]);
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

void LineStore::drop_first_lines(int count)
{
    count = std::clamp(count, 0, line_count_);
    while (count > 0) {
        Page& page = *pages_.front();
        const std::size_t n = std::min(static_cast<std::size_t>(count), page.size());
        TextOffset bytes = 0;
        for (std::size_t i = 0; i < n; ++i) {
            bytes += page.length[i];
            unlink(page.location[i], page.length[i]);
        }
        const TextOffset shift = bytes + 2 * static_cast<TextOffset>(n);
        line_base_ += static_cast<std::int64_t>(n);
        offset_base_ += shift;
        line_count_ -= static_cast<int>(n);
        byte_total_ -= bytes;
        count -= static_cast<int>(n);
        if (n == page.size()) {
            pages_.pop_front();
            page_first_line_.pop_front();
            page_first_offset_.pop_front();
        } else {
            page.location.erase(page.location.begin(), page.location.begin() + static_cast<std::ptrdiff_t>(n));
            page.length.erase(page.length.begin(), page.length.begin() + static_cast<std::ptrdiff_t>(n));
            page.bytes -= bytes;
            page_first_line_.front() += static_cast<std::int64_t>(n);
            page_first_offset_.front() += shift;
        }
    }
    if (line_count_ == 0)
        clear();
}

void LineStore::clear()
{
    // The index of a large store lives in ordinary heap pages, which the allocator keeps for
    // itself unless told to give them back.
    const bool large_index = pages_.size() >= 256;
    line_base_ += line_count_;
    blocks_.clear();
    spare_.reset();
    first_block_ = 0;
    tail_block_ = -1;
    extras_.clear();
    pages_.clear();
    page_first_line_.clear();
    page_first_offset_.clear();
    offset_base_ = 0;
    line_count_ = 0;
    byte_total_ = 0;
    max_columns_ = 0;
    if (large_index)
        malloc_trim(0);
}

void LineStore::renumber_from(std::size_t page_index)
{
    if (page_index >= pages_.size())
        return;
    std::int64_t line = line_base_;
    TextOffset offset = offset_base_;
    if (page_index > 0) {
        const Page& before = *pages_[page_index - 1];
        line = page_first_line_[page_index - 1] + static_cast<std::int64_t>(before.size());
        offset = page_first_offset_[page_index - 1] + before.bytes + 2 * static_cast<TextOffset>(before.size());
    }
    for (std::size_t p = page_index; p < pages_.size(); ++p) {
        page_first_line_[p] = line;
        page_first_offset_[p] = offset;
        line += static_cast<std::int64_t>(pages_[p]->size());
        offset += pages_[p]->bytes + 2 * static_cast<TextOffset>(pages_[p]->size());
    }
}

const LineStore::LineExtra* LineStore::extra_of(int index) const
{
    if (extras_.empty())
        return nullptr;
    const auto [page, k] = locate(index);
    if (pages_[page]->length[k] < long_line_bytes)
        return nullptr;
    const auto found = extras_.find(pages_[page]->location[k]);
    return found == extras_.end() || found->second.marks.empty() ? nullptr : &found->second;
}

ColumnMark LineStore::mark_before_byte(int index, std::size_t byte) const
{
    const LineExtra* extra = extra_of(index);
    if (extra == nullptr)
        return {};
    const auto it = std::upper_bound(extra->marks.begin(), extra->marks.end(), byte,
                                     [](std::size_t b, const ColumnMark& mark) { return b < mark.byte; });
    return *(it - 1);
}

ColumnMark LineStore::mark_before_column(int index, std::int64_t column) const
{
    const LineExtra* extra = extra_of(index);
    if (extra == nullptr)
        return {};
    const auto it = std::upper_bound(extra->marks.begin(), extra->marks.end(), column,
                                     [](std::int64_t c, const ColumnMark& mark) { return c < mark.column; });
    return it == extra->marks.begin() ? ColumnMark{} : *(it - 1);
}

std::size_t LineStore::memory_bytes() const
{
    std::size_t total = blocks_.size() * sizeof(void*) + pages_.size() * sizeof(void*) +
                        page_first_line_.size() * sizeof(std::int64_t) +
                        page_first_offset_.size() * sizeof(TextOffset);
    if (spare_ != nullptr)
        total += sizeof(Block) + spare_->size;
    for (const auto& block : blocks_) {
        if (block == nullptr)
            continue;
        // A line's own block is touched only as far as the line reaches.
        total += sizeof(Block) + (block->own ? mapped::round_up(block->used, mapped::system_page) : block->size);
    }
    for (const auto& page : pages_)
        total += sizeof(Page) + page->location.capacity() * sizeof(std::uint64_t) +
                 page->length.capacity() * sizeof(std::uint32_t);
    for (const auto& entry : extras_)
        total += sizeof(entry) + entry.second.marks.capacity() * sizeof(ColumnMark);
    return total;
}

}  // namespace lines
