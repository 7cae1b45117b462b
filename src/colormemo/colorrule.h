#pragma once
// One colour rule: its published settings and key lists, the lookup tables compiled from the
// lists, and the scan that turns what it finds in a stretch of text into colour descriptors.

#include "colormemo/keydescr.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace colormemo {

class TColorPass;
class TColorRule;

enum TKeyDrawingType : std::uint8_t {
    dtKeyShow = 0,       // every occurrence of each keyword
    dtEventDraw = 1,     // stretches supplied by the memo's OnDraw handler
    dtBeginEnd = 2,      // from a begin key through the next matching end key
    dtBeginLineEnd = 3,  // from a begin key to the end of its line
};

// The rules' key lists: plain string lists that callers may also edit in place.
using TStringList = std::vector<std::string>;

// The memo's OnDraw event. FromPos is the scanned region; the handler fills the first entries
// of A (zero-filled) with StartPos/EndPos counted from the region's first byte, KeyColor and
// optionally KeyZOrder (0 = the rule's ZOrder), and sets ItemsCount to how many it filled.
using TDrawEvent = std::function<void(TColorRule& Sender, std::string_view FromPos, std::span<TKeyDescr> A,
                                      std::int32_t& ItemsCount)>;

inline constexpr std::size_t ColorTableSize = 41;  // distinct keyword colours per rule
inline constexpr std::size_t KeyPairCount = 40;    // begin/end or line-end entries per rule
inline constexpr std::size_t KeyPairKeyLength = 6;

// One compiled begin/end or line-end entry.
struct TKeyPair {
    std::string BeginKey;  // empty: this slot and all after it are unusable
    std::string EndKey;    // always empty for line-end entries
    TColor KeyColor = 0;
};

// A colour name of the sixteen basic HTML colours, or a hexadecimal RRGGBB number written bare,
// after "#" or after "$"; anything else gives white.
TColor ParseKeyColor(std::string_view text);

// The edits the log window makes to the keyword list of its highlight rule. Entries compare
// equal ignoring ASCII letter case; blanked entries keep their place and colour nothing.
int keyword_index(const TStringList& list, std::string_view word);  // -1 when absent
bool add_keyword(TStringList& list, std::string_view word);         // appends unless present
bool blank_keyword(TStringList& list, std::string_view word);       // empties the first equal entry

class TColorRule {
public:
    TColorRule() = default;
    TColorRule(const TColorRule&) = delete;
    TColorRule& operator=(const TColorRule&) = delete;

    // Copies the drawing settings and, through their setters, the three lists. IntChar and
    // KeySelColor stay as they are.
    void Assign(const TColorRule& source);

    std::uint8_t ZOrder() const { return FZOrder; }
    void SetZOrder(std::uint8_t value) { FZOrder = value; }
    const std::string& IntChar() const { return FIntChar; }
    void SetIntChar(std::string value) { FIntChar = std::move(value); }

    // The lists themselves: edits made through these references are picked up at the next
    // Compile. The setters compile the given list at once and then copy it.
    TStringList& Keywords() { return FKeywords; }
    const TStringList& Keywords() const { return FKeywords; }
    void SetKeywords(const TStringList& value);
    TStringList& KeyBegEndLst() { return FKeyBegEndLst; }
    const TStringList& KeyBegEndLst() const { return FKeyBegEndLst; }
    void SetKeyBegEndLst(const TStringList& value);
    TStringList& KeyLineEndLst() { return FKeyLineEndLst; }
    const TStringList& KeyLineEndLst() const { return FKeyLineEndLst; }
    void SetKeyLineEndLst(const TStringList& value);

    // Lines a coloured stretch may span; the memo reads it from the first rule only.
    std::int32_t KeyMaxHeight() const { return FKeyMaxHeight; }
    void SetKeyMaxHeight(std::int32_t value) { FKeyMaxHeight = value; }
    TKeyDrawingType KeyDrawingType() const { return FKeyDrawingType; }
    void SetKeyDrawingType(TKeyDrawingType value) { FKeyDrawingType = value; }
    // Takes effect on the keywords at the next compile.
    bool KeyCase() const { return FKeyCase; }
    void SetKeyCase(bool value) { FKeyCase = value; }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }
    bool PartWord() const { return FPartWord; }
    void SetPartWord(bool value) { FPartWord = value; }
    TColor DefKeyColor() const { return FDefKeyColor; }
    void SetDefKeyColor(TColor value) { FDefKeyColor = value; }
    TColor KeySelColor() const { return FKeySelColor; }
    void SetKeySelColor(TColor value) { FKeySelColor = value; }
    TColor KeyBrushColor() const { return FKeyBrushColor; }
    void SetKeyBrushColor(TColor value) { FKeyBrushColor = value; }

    // Rebuilds the tables from the lists; true when the rule has entries for its kind.
    bool Compile();

    // Appends this rule's descriptors for region, the memo text from offset region_start up to
    // (not including) region_start + region.size(). Event-drawn rules ask on_draw, handing it
    // the pass's event buffer.
    void Scan(TColorPass& pass, std::string_view region, std::int32_t region_start,
              const TDrawEvent& on_draw = {});

    // The compiled tables as the last compile left them. The keyword string is "*" followed by
    // key, "*+", the one-byte colour code (1-41, slot code - 1 of ColorTable) and "*" per keyword.
    const std::string& KeySearchStr() const { return FKeySearchStr; }
    const std::array<TColor, ColorTableSize>& ColorTable() const { return FColorTable; }
    // KeyPairCount slots once a pair list was compiled, none before.
    std::span<const TKeyPair> KeyPairs() const { return FKeyPairs; }

private:
    struct TCompiledKey {
        std::size_t Offset;  // of the key in FKeySearchStr
        std::size_t Length;
        std::uint8_t Code;
    };

    void compile_keywords(const TStringList& list);
    void compile_begin_end(const TStringList& list);
    void compile_line_end(const TStringList& list);
    void clear_key_pairs();
    TColor entry_color(std::string_view color_part) const;

    void index_keywords();
    void scan_keywords(TColorPass& pass, std::string_view region, std::int64_t region_start);
    void scan_key_pairs(TColorPass& pass, std::string_view region, std::int64_t region_start, bool to_line_end);
    void scan_event(TColorPass& pass, std::string_view region, std::int64_t region_start, const TDrawEvent& on_draw);

    std::uint8_t FZOrder = 0;
    std::string FIntChar;
    TStringList FKeywords;
    TStringList FKeyBegEndLst;
    TStringList FKeyLineEndLst;
    std::int32_t FKeyMaxHeight = 1;
    TKeyDrawingType FKeyDrawingType = dtBeginEnd;
    bool FKeyCase = false;
    bool FEnabled = true;
    bool FPartWord = false;
    TColor FDefKeyColor = 0x000000FF;
    TColor FKeySelColor = 0x0000FFFF;
    TColor FKeyBrushColor = 0x80000005;

    std::string FKeySearchStr;
    std::vector<TCompiledKey> FKeys;  // where each keyword of FKeySearchStr sits, for the scan
    // The keywords chained by their first two bytes (one-byte keywords by that byte), so one
    // walk over the region finds the occurrences of all of them: entries are key index + 1.
    std::vector<std::uint32_t> FKeyHeads;
    std::vector<std::uint32_t> FKeyNext;
    // Scan scratch, kept so passes reuse its storage.
    std::vector<std::size_t> FNextFree;  // per keyword: first offset its next occurrence may start at
    std::vector<std::pair<std::uint32_t, std::size_t>> FHits;  // keyword, offset; in text order
    std::vector<std::size_t> FHitStart;  // per keyword: where its offsets begin in FHitOrder
    std::vector<std::size_t> FHitOrder;  // the offsets of FHits grouped by keyword
    std::array<TColor, ColorTableSize> FColorTable{};
    std::vector<TKeyPair> FKeyPairs;
    std::string FUpperText;  // upper-cased copy of the region; kept so passes reuse its storage
};

}  // namespace colormemo
