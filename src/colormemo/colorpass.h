#pragma once
// The state of one colouring pass, owned by the memo and reused from pass to pass: the
// descriptor list, the extent of what was appended, the event buffer for OnDraw handlers and
// the merge cells; and the merge that turns the descriptors into runs.

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
    // but do not widen: a single "no end" value would otherwise make the merge cover 2^31 cells.
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

    struct TMergeCell {
        TColor Color;
        std::uint8_t Priority;
        bool IsKey;
        bool Claimed;
    };

    TKeyDescrList FKeyDescrs;
    std::int32_t FMinPos = -1;
    std::int32_t FMaxPos = -1;
    std::vector<TKeyDescr> FEventBuf;
    std::vector<TMergeCell> FCells;
};

// Lays every descriptor of the pass onto one cell per offset (higher KeyZOrder wins, the later
// descriptor at equal KeyZOrder) and writes the maximal stretches of equal cells back into the
// list as runs, ordered by position, followed by a free entry when the list has room for one.
// Cost is proportional to MaxPos - MinPos, so callers keep their descriptors near the region.
void MergeRuns(TColorPass& pass);

}  // namespace colormemo
