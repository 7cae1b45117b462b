// Compiling a colour rule's key lists and scanning text with the compiled tables.

#include "colormemo/colorrule.h"

#include "colormemo/colorpass.h"
#include "platform/int_conversion.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

namespace colormemo {

namespace {

constexpr TColor clWhite = 0xFFFFFF;

// Trimming drops every byte up to and including the blank, control characters too.
std::string_view trim(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equal_ignoring_case(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_upper(x) == ascii_upper(y); });
}

bool is_word_char(char c)
{
    return c == '@' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::int32_t to_pos(std::int64_t offset)
{
    return static_cast<std::int32_t>(offset);
}

// Keyword chains: 4096 by the low six bits of a keyword's first two bytes, then 256 for
// one-byte keywords. Letters of either case and digits spread well; keywords sharing a chain
// only cost a comparison more.
constexpr std::size_t PairBuckets = 4096;

std::size_t pair_bucket(char first, char second)
{
    return ((static_cast<std::size_t>(static_cast<unsigned char>(first)) & 0x3F) << 6) |
           (static_cast<std::size_t>(static_cast<unsigned char>(second)) & 0x3F);
}

std::size_t byte_bucket(char first)
{
    return PairBuckets + static_cast<unsigned char>(first);
}

struct NamedColor {
    std::string_view name;
    TColor value;
};

constexpr NamedColor named_colors[] = {
    {"BLACK", 0x000000},  {"MAROON", 0x000080}, {"GREEN", 0x008000}, {"OLIVE", 0x008080},
    {"NAVY", 0x800000},   {"PURPLE", 0x800080}, {"TEAL", 0x808000},  {"GRAY", 0x808080},
    {"SILVER", 0xC0C0C0}, {"RED", 0x0000FF},    {"LIME", 0x00FF00},  {"YELLOW", 0x00FFFF},
    {"BLUE", 0xFF0000},   {"FUCHSIA", 0xFF00FF}, {"AQUA", 0xFFFF00}, {"WHITE", 0xFFFFFF},
};

}  // namespace

TColor ParseKeyColor(std::string_view text)
{
    std::string value(trim(text).substr(0, 10));
    std::transform(value.begin(), value.end(), value.begin(), ascii_upper);
    for (const NamedColor& named : named_colors)
        if (value == named.name)
            return named.value;

    if (const auto hash = value.find('#'); hash != std::string::npos)
        value.erase(hash, 1);
    // Digits are always hexadecimal, whether or not the writer put the "$" in front.
    if (value.find('$') == std::string::npos)
        value.insert(0, 1, '$');
    std::int32_t number = 0;
    if (!platform::try_str_to_int(value, number))
        return clWhite;
    const auto rgb = static_cast<std::uint32_t>(number);
    return (rgb & 0x00FF00u) | ((rgb & 0x0000FFu) << 16) | ((rgb & 0xFF0000u) >> 16);
}

int keyword_index(const TStringList& list, std::string_view word)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (equal_ignoring_case(list[i], word))
            return static_cast<int>(i);
    return -1;
}

bool add_keyword(TStringList& list, std::string_view word)
{
    if (keyword_index(list, word) >= 0)
        return false;
    list.emplace_back(word);
    return true;
}

bool blank_keyword(TStringList& list, std::string_view word)
{
    const int index = keyword_index(list, word);
    if (index < 0)
        return false;
    list[static_cast<std::size_t>(index)].clear();
    return true;
}

void TColorRule::Assign(const TColorRule& source)
{
    if (&source == this)
        return;
    FKeyDrawingType = source.FKeyDrawingType;
    FZOrder = source.FZOrder;
    FKeyMaxHeight = source.FKeyMaxHeight;
    FKeyCase = source.FKeyCase;
    FEnabled = source.FEnabled;
    FPartWord = source.FPartWord;
    FDefKeyColor = source.FDefKeyColor;
    FKeyBrushColor = source.FKeyBrushColor;
    SetKeywords(source.FKeywords);
    SetKeyLineEndLst(source.FKeyLineEndLst);
    SetKeyBegEndLst(source.FKeyBegEndLst);
    // The begin/end list is set last and leaves its entries in the shared pair table; a
    // line-end rule needs its own entries there, as the source has them.
    if (FKeyDrawingType == dtBeginLineEnd)
        compile_line_end(FKeyLineEndLst);
}

void TColorRule::SetKeywords(const TStringList& value)
{
    compile_keywords(value);
    if (&value != &FKeywords)
        FKeywords = value;
}

void TColorRule::SetKeyBegEndLst(const TStringList& value)
{
    compile_begin_end(value);
    if (&value != &FKeyBegEndLst)
        FKeyBegEndLst = value;
}

void TColorRule::SetKeyLineEndLst(const TStringList& value)
{
    compile_line_end(value);
    if (&value != &FKeyLineEndLst)
        FKeyLineEndLst = value;
}

bool TColorRule::Compile()
{
    compile_begin_end(FKeyBegEndLst);
    if (FKeyDrawingType == dtKeyShow)
        compile_keywords(FKeywords);
    if (FKeyDrawingType == dtBeginLineEnd)
        compile_line_end(FKeyLineEndLst);
    return !FKeyBegEndLst.empty() || (FKeyDrawingType == dtKeyShow && !FKeywords.empty()) ||
           (FKeyDrawingType == dtBeginLineEnd && !FKeyLineEndLst.empty());
}

TColor TColorRule::entry_color(std::string_view color_part) const
{
    return trim(color_part).empty() ? FDefKeyColor : ParseKeyColor(color_part);
}

void TColorRule::compile_keywords(const TStringList& list)
{
    FKeySearchStr = "*";
    FKeys.clear();
    FColorTable.fill(0);
    std::size_t filled = 0;
    std::uint8_t previous_code = 0;
    for (const std::string& entry : list) {
        if (trim(entry).empty())
            continue;
        const std::string_view text = entry;
        const auto semicolon = text.find(';');
        const std::string_view key = text.substr(0, semicolon);
        const std::string_view color_part = semicolon == std::string_view::npos ? "" : text.substr(semicolon + 1);
        // A "*" inside a key would read as the end of that key in the compiled string.
        if (trim(key).empty() || key.find('*') != std::string_view::npos)
            continue;

        const TColor color = entry_color(color_part);
        std::uint8_t code = previous_code;
        const auto slot = std::find(FColorTable.begin(), FColorTable.begin() + filled, color);
        if (slot != FColorTable.begin() + filled) {
            code = static_cast<std::uint8_t>(slot - FColorTable.begin() + 1);
        } else if (filled < ColorTableSize) {
            FColorTable[filled++] = color;
            code = static_cast<std::uint8_t>(filled);
        }
        previous_code = code;

        const std::size_t offset = FKeySearchStr.size();
        FKeySearchStr += key;
        if (!FKeyCase)
            std::transform(FKeySearchStr.begin() + static_cast<std::ptrdiff_t>(offset), FKeySearchStr.end(),
                           FKeySearchStr.begin() + static_cast<std::ptrdiff_t>(offset), ascii_upper);
        FKeys.push_back({offset, key.size(), code});
        FKeySearchStr += "*+";
        FKeySearchStr += static_cast<char>(code);
        FKeySearchStr += '*';
    }
    index_keywords();
}

void TColorRule::index_keywords()
{
    FKeyHeads.assign(FKeys.empty() ? 0 : PairBuckets + 256, 0);
    FKeyNext.assign(FKeys.size(), 0);
    for (std::size_t k = 0; k < FKeys.size(); ++k) {
        const char* key = FKeySearchStr.data() + FKeys[k].Offset;
        std::uint32_t& head = FKeyHeads[FKeys[k].Length == 1 ? byte_bucket(key[0]) : pair_bucket(key[0], key[1])];
        FKeyNext[k] = head;
        head = static_cast<std::uint32_t>(k + 1);
    }
}

void TColorRule::clear_key_pairs()
{
    if (FKeyPairs.empty())
        FKeyPairs.resize(KeyPairCount);
    else
        std::fill(FKeyPairs.begin(), FKeyPairs.end(), TKeyPair{});
}

void TColorRule::compile_begin_end(const TStringList& list)
{
    clear_key_pairs();
    for (std::size_t i = 0; i < std::min(list.size(), KeyPairCount); ++i) {
        const std::string_view entry = list[i];
        const auto first = entry.find(';');
        if (first == std::string_view::npos || first == 0)
            continue;
        const std::string_view rest = entry.substr(first + 1);
        const auto second = rest.find(';');
        const std::string_view color_part = second == std::string_view::npos ? "" : rest.substr(second + 1);
        TKeyPair& pair = FKeyPairs[i];
        pair.BeginKey = entry.substr(0, std::min(first, KeyPairKeyLength));
        pair.EndKey = rest.substr(0, std::min(second, KeyPairKeyLength));
        pair.KeyColor = entry_color(color_part);
    }
}

void TColorRule::compile_line_end(const TStringList& list)
{
    clear_key_pairs();
    for (std::size_t i = 0; i < std::min(list.size(), KeyPairCount); ++i) {
        const std::string_view entry = list[i];
        const auto first = entry.find(';');
        std::string_view key = entry;
        std::string_view color_part;
        if (first != std::string_view::npos && first >= 1) {
            key = entry.substr(0, first);
            color_part = entry.substr(first + 1);
        } else if (entry.starts_with(";;")) {
            // A line-end key may itself be ";": written ";;colour".
            key = ";";
            color_part = entry.substr(2);
        }
        TKeyPair& pair = FKeyPairs[i];
        pair.BeginKey = key.substr(0, KeyPairKeyLength);
        pair.KeyColor = entry_color(color_part);
    }
}

void TColorRule::Scan(TColorPass& pass, std::string_view region, std::int32_t region_start, const TDrawEvent& on_draw)
{
    switch (FKeyDrawingType) {
    case dtKeyShow:
        scan_keywords(pass, region, region_start);
        break;
    case dtBeginEnd:
        scan_key_pairs(pass, region, region_start, false);
        break;
    case dtBeginLineEnd:
        scan_key_pairs(pass, region, region_start, true);
        break;
    case dtEventDraw:
        scan_event(pass, region, region_start, on_draw);
        break;
    }
}

void TColorRule::scan_keywords(TColorPass& pass, std::string_view region, std::int64_t region_start)
{
    if (FKeySearchStr.size() < 3)
        return;
    std::string_view text = region;
    if (!FKeyCase) {
        FUpperText.assign(region);
        std::transform(FUpperText.begin(), FUpperText.end(), FUpperText.begin(), ascii_upper);
        text = FUpperText;
    }

    // Every keyword is matched left to right on its own, an occurrence overlapping its own
    // previous one being skipped; walking the text once and keeping per keyword where its next
    // occurrence may start finds exactly those occurrences.
    FNextFree.assign(FKeys.size(), 0);
    FHits.clear();
    auto try_key = [&](std::uint32_t chain, std::size_t at) {
        for (; chain != 0; chain = FKeyNext[chain - 1]) {
            const std::size_t k = chain - 1;
            const TCompiledKey& compiled = FKeys[k];
            if (at < FNextFree[k] || compiled.Length > text.size() - at ||
                std::memcmp(text.data() + at, FKeySearchStr.data() + compiled.Offset, compiled.Length) != 0)
                continue;
            FHits.emplace_back(static_cast<std::uint32_t>(k), at);
            FNextFree[k] = at + compiled.Length;
        }
    };
    const bool one_byte_keys = std::any_of(FKeys.begin(), FKeys.end(), [](const TCompiledKey& k) { return k.Length == 1; });
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (one_byte_keys)
            try_key(FKeyHeads[byte_bucket(text[at])], at);
        if (at + 1 < text.size())
            try_key(FKeyHeads[pair_bucket(text[at], text[at + 1])], at);
    }

    // Descriptors go out keyword by keyword in list order, each keyword's in text order, since
    // at equal priority the merge lets the later descriptor win.
    FHitStart.assign(FKeys.size() + 1, 0);
    for (const auto& hit : FHits)
        ++FHitStart[hit.first + 1];
    std::partial_sum(FHitStart.begin(), FHitStart.end(), FHitStart.begin());
    FHitOrder.resize(FHits.size());
    for (const auto& hit : FHits)
        FHitOrder[FHitStart[hit.first]++] = hit.second;  // leaves FHitStart[k] at the end of k's group

    std::size_t hit = 0;
    for (std::size_t k = 0; k < FKeys.size(); ++k) {
        const TColor color = FColorTable[FKeys[k].Code - 1u];
        for (; hit < FHitStart[k]; ++hit) {
            const std::size_t found = FHitOrder[hit];
            const std::size_t after = found + FKeys[k].Length;
            const bool counts = FPartWord || ((found == 0 || !is_word_char(text[found - 1])) &&
                                              (after == text.size() || !is_word_char(text[after])));
            if (counts)
                pass.Add({to_pos(region_start + static_cast<std::int64_t>(found)),
                          to_pos(region_start + static_cast<std::int64_t>(after) - 1), color, FZOrder, true});
        }
    }
}

void TColorRule::scan_key_pairs(TColorPass& pass, std::string_view region, std::int64_t region_start,
                                bool to_line_end)
{
    std::size_t usable = 0;
    while (usable < FKeyPairs.size() && !FKeyPairs[usable].BeginKey.empty())
        ++usable;
    if (usable == 0)
        return;

    // Where each begin key occurs next; a key found beyond the current position stays valid,
    // so the region is searched about once per key rather than once per run.
    std::array<std::size_t, KeyPairCount> next{};
    for (std::size_t slot = 0; slot < usable; ++slot)
        next[slot] = region.find(FKeyPairs[slot].BeginKey);

    std::size_t pos = 0;
    while (pos < region.size()) {
        std::size_t begin = std::string_view::npos;
        std::size_t chosen = 0;
        for (std::size_t slot = 0; slot < usable; ++slot) {
            if (next[slot] != std::string_view::npos && next[slot] < pos)
                next[slot] = region.find(FKeyPairs[slot].BeginKey, pos);
            // Strictly earlier only: at the same position the lower slot wins.
            if (next[slot] < begin) {
                begin = next[slot];
                chosen = slot;
            }
        }
        if (begin == std::string_view::npos)
            return;
        const TKeyPair& pair = FKeyPairs[chosen];

        std::size_t after = 0;  // one past the last coloured byte
        if (to_line_end) {
            // A key that starts at the line break gives an empty run, which the merge ignores.
            after = std::min(region.find("\r\n", begin), region.size());
            pos = after + 1;
        } else {
            if (pair.EndKey.empty())
                return;
            const std::size_t end = region.find(pair.EndKey, begin + 1);
            if (end == std::string_view::npos)
                return;
            after = end + pair.EndKey.size();
            pos = end + 1;
        }
        pass.Add({to_pos(region_start + static_cast<std::int64_t>(begin)),
                  to_pos(region_start + static_cast<std::int64_t>(after) - 1), pair.KeyColor, FZOrder, false});
    }
}

void TColorRule::scan_event(TColorPass& pass, std::string_view region, std::int64_t region_start,
                            const TDrawEvent& on_draw)
{
    if (!on_draw || pass.EventBuf().empty())
        return;
    std::fill(pass.EventBuf().begin(), pass.EventBuf().end(), TKeyDescr{});
    std::int32_t items_count = 0;
    on_draw(*this, region, pass.EventBuf(), items_count);

    // A handler that claims more entries than the buffer holds gets only the buffer's.
    const std::span<const TKeyDescr> items = pass.EventBuf();
    const auto count = std::min(static_cast<std::size_t>(std::max(items_count, 0)), items.size());
    const std::int64_t region_end = region_start + static_cast<std::int64_t>(region.size());
    for (std::size_t i = 0; i < count; ++i) {
        const TKeyDescr& item = items[i];
        if (item.StartPos == KeyPosFree || item.EndPos == KeyPosFree || item.EndPos < item.StartPos)
            continue;
        // The handler saw only the region; offsets outside it are kept out of the merge, where
        // nothing could be drawn for them.
        const std::int64_t first = std::max(region_start + item.StartPos, region_start);
        const std::int64_t last = std::min(region_start + item.EndPos, region_end - 1);
        if (first > last)
            continue;
        pass.Add({to_pos(first), to_pos(last), item.KeyColor, item.KeyZOrder != 0 ? item.KeyZOrder : FZOrder,
                  false});
    }
}

}  // namespace colormemo
