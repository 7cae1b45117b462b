// Descriptor list upkeep and the merge of a pass's descriptors into non-overlapping runs.

#include "colormemo/colorpass.h"

#include <algorithm>

namespace colormemo {

void TKeyDescrList::FreeAll()
{
    for (TKeyDescr& record : FRecords)
        record.StartPos = KeyPosFree;
    FUsed = 0;
}

TKeyDescr& TKeyDescrList::Append(const TKeyDescr& descr)
{
    if (FUsed == FRecords.size())
        FRecords.push_back(descr);
    else
        FRecords[FUsed] = descr;
    return FRecords[FUsed++];
}

std::span<const TKeyDescr> TKeyDescrList::Runs() const
{
    std::size_t count = 0;
    while (count < FRecords.size() && FRecords[count].StartPos != KeyPosFree)
        ++count;
    return {FRecords.data(), count};
}

namespace {

bool mergeable(const TKeyDescr& descr)
{
    return descr.StartPos != KeyPosFree && descr.EndPos < KeyPosFree && descr.EndPos >= descr.StartPos;
}

}  // namespace

void TColorPass::BeginPass()
{
    FKeyDescrs.FreeAll();
    FMinPos = -1;
    FMaxPos = -1;
}

TKeyDescr& TColorPass::Add(const TKeyDescr& descr)
{
    if (mergeable(descr)) {
        if (FMinPos == -1 || descr.StartPos < FMinPos)
            FMinPos = descr.StartPos;
        if (FMaxPos == -1 || descr.EndPos > FMaxPos)
            FMaxPos = descr.EndPos;
    }
    return FKeyDescrs.Append(descr);
}

void TColorPass::SetColorLimMax(std::int32_t value)
{
    std::vector<TKeyDescr>(static_cast<std::size_t>(std::max(value, 0))).swap(FEventBuf);
}

void MergeRuns(TColorPass& pass)
{
    const std::int64_t lo = pass.FMinPos;
    const std::int64_t hi = pass.FMaxPos;
    TKeyDescrList& list = pass.FKeyDescrs;
    if (lo == -1 || hi < lo) {
        list.FreeAll();
        return;
    }

    // One cell per offset plus the sentinel that ends the last run.
    const auto cell_count = static_cast<std::size_t>(hi - lo + 2);
    if (pass.FCells.size() < cell_count)
        pass.FCells.resize(cell_count);
    auto* const cells = pass.FCells.data();
    std::fill_n(cells, cell_count, TColorPass::TMergeCell{});

    for (std::size_t i = 0; i < list.Used(); ++i) {
        const TKeyDescr& descr = list[i];
        if (!mergeable(descr))
            continue;
        // Descriptors appended without Add may lie outside the recorded extent.
        const std::int64_t from = std::max<std::int64_t>(descr.StartPos, lo);
        const std::int64_t to = std::min<std::int64_t>(descr.EndPos, hi);
        for (std::int64_t pos = from; pos <= to; ++pos) {
            TColorPass::TMergeCell& cell = cells[pos - lo];
            if (cell.Priority <= descr.KeyZOrder)
                cell = {descr.KeyColor, descr.KeyZOrder, descr.IsKey, true};
        }
    }

    // Runs also break between claimed and unclaimed cells: a black, priority-0 run would
    // otherwise look like the cleared cells around it and be lost or spread over the gaps.
    list.FreeAll();
    auto same = [](const TColorPass::TMergeCell& a, const TColorPass::TMergeCell& b) {
        return a.Color == b.Color && a.Priority == b.Priority && a.IsKey == b.IsKey && a.Claimed == b.Claimed;
    };
    std::size_t run_start = 0;
    for (std::size_t i = 1; i < cell_count; ++i) {
        if (same(cells[i], cells[run_start]))
            continue;
        const TColorPass::TMergeCell& run = cells[run_start];
        if (run.Claimed)
            list.Append({static_cast<std::int32_t>(lo + static_cast<std::int64_t>(run_start)),
                         static_cast<std::int32_t>(lo + static_cast<std::int64_t>(i) - 1), run.Color,
                         run.Priority, run.IsKey});
        run_start = i;
    }
}

}  // namespace colormemo
