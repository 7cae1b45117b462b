#pragma once
// The state of one colouring pass, owned by the memo and reused from pass to pass: the
// descriptor list, the extent of what was appended, the event buffer for OnDraw handlers and
// the merge's scratch lists; and the merge that turns the descriptors into runs.

#include "colormemo/keydescr.h"

#include <cstdint>
#include <span>
#include <vector>

namespace colormemo {

class TColorPass {
public:
    // Start of a pass: all descriptors free, nothing appended yet.
    void BeginPass();

    // Appends a descriptor after those already in the list and widens MinPos/MaxPos by it.
    // Descriptors the merge ignores (free, without end, or ending before they start) are kept
    // but do not widen: a single "no end" value would otherwise stretch the extent to 2^31.
    // The reference stays valid until the next Add.
    TKeyDescr& Add(const TKeyDescr& descr);

    TKeyDescrList& KeyDescrs() { return FKeyDescrs; }
    const TKeyDescrList& KeyDescrs() const { return FKeyDescrs; }

    // Smallest StartPos and largest EndPos appended in this pass; -1 when none.
    std::int32_t MinPos() const { return FMinPos; }
    std::int32_t MaxPos() const { return FMaxPos; }

    // The buffer handed to OnDraw handlers of event-drawn rules; 0 records means no buffer,
    // and then those rules colour nothing. Changing the size drops the old buffer.
    std::int32_t ColorLimMax() const { return static_cast<std::int32_t>(FEventBuf.size()); }
    void SetColorLimMax(std::int32_t value);
    std::span<TKeyDescr> EventBuf() { return FEventBuf; }

    // After the merge: the runs in position order, not overlapping.
    std::span<const TKeyDescr> Runs() const { return FKeyDescrs.Runs(); }

private:
    friend void MergeRuns(TColorPass& pass);

    // A descriptor as the merge sees it: clipped to the extent, with its place in the list,
    // which decides between equal KeyZOrders.
    struct TMergeItem {
        std::int64_t From;
        std::int64_t To;
        std::uint32_t Index;
        TColor Color;
        std::uint8_t Priority;
        bool IsKey;
    };

    TKeyDescrList FKeyDescrs;
    std::int32_t FMinPos = -1;
    std::int32_t FMaxPos = -1;
    std::vector<TKeyDescr> FEventBuf;
    // Merge scratch, kept so that a pass allocates nothing once the lists have grown.
    std::vector<TMergeItem> FItems;
    std::vector<std::uint32_t> FActive;
};

// At every offset the covering descriptor with the highest KeyZOrder wins, the later one at
// equal KeyZOrder; the maximal stretches of equal winners (same colour, KeyZOrder and IsKey,
// not interrupted by uncovered offsets) are written back into the list as runs, ordered by
// position, followed by a free entry when the list has room for one. Cost grows with the number
// of descriptors, not with the distance they span.
void MergeRuns(TColorPass& pass);

}  // namespace colormemo
