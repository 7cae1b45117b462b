#pragma once
// Colour descriptors: what every colouring producer (rules, hot spots, tabs, selection) hands to
// the merge, and the list that holds them from pass to pass.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace colormemo {

// 0x00BBGGRR, top bit set for system colours: the same values as platform::TColor, declared
// here so the rules need no GUI header.
using TColor = std::uint32_t;

// StartPos of a free entry, or of the entry that ends a run list; as EndPos it means "no end".
inline constexpr std::int32_t KeyPosFree = 2147483647;

// One stretch of text in one colour. Offsets count bytes of the memo text with CR LF between
// lines; EndPos is inclusive. A value-initialised record is the zero-filled record an OnDraw
// handler receives.
struct TKeyDescr {
    std::int32_t StartPos = 0;
    std::int32_t EndPos = 0;
    TColor KeyColor = 0;
    std::uint8_t KeyZOrder = 0;  // 0-251 rules; 252-255 the memo's own (hot spots, selection, tabs)
    bool IsKey = false;          // made by a keyword match
};

// The memo's descriptor records. Records are kept from pass to pass and only added when a pass
// needs more than any earlier one; producers append after the entries the pass already filled.
class TKeyDescrList {
public:
    explicit TKeyDescrList(std::size_t room = 100) { FRecords.reserve(room); }

    // Records held, filled or not.
    std::size_t Count() const { return FRecords.size(); }
    // Entries filled in this pass (after a merge: the runs).
    std::size_t Used() const { return FUsed; }

    TKeyDescr& operator[](std::size_t index) { return FRecords[index]; }
    const TKeyDescr& operator[](std::size_t index) const { return FRecords[index]; }

    // Start of a pass: every record becomes free and appending starts again at the first.
    void FreeAll();
    // Writes the next entry, adding a record when all are in use. The reference stays valid
    // until the next append.
    TKeyDescr& Append(const TKeyDescr& descr);

    // The entries before the first free one: after a merge, the runs to draw.
    std::span<const TKeyDescr> Runs() const;

private:
    std::vector<TKeyDescr> FRecords;
    std::size_t FUsed = 0;
};

}  // namespace colormemo
