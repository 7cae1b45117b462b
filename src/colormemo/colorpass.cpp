// Descriptor list upkeep and the merge of a pass's descriptors into non-overlapping runs.

#include "colormemo/colorpass.h"

#include <algorithm>
#include <vector>

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
    using Item = TColorPass::TMergeItem;
    const std::int64_t lo = pass.FMinPos;
    const std::int64_t hi = pass.FMaxPos;
    TKeyDescrList& list = pass.FKeyDescrs;
    std::vector<Item>& items = pass.FItems;
    items.clear();
    if (lo != -1 && hi >= lo) {
        for (std::size_t i = 0; i < list.Used(); ++i) {
            const TKeyDescr& descr = list[i];
            if (!mergeable(descr))
                continue;
            // Descriptors appended without Add may lie outside the recorded extent.
            const std::int64_t from = std::max<std::int64_t>(descr.StartPos, lo);
            const std::int64_t to = std::min<std::int64_t>(descr.EndPos, hi);
            if (from <= to)
                items.push_back({from, to, static_cast<std::uint32_t>(i), descr.KeyColor, descr.KeyZOrder, descr.IsKey});
        }
    }
    // The runs overwrite the descriptors, which from here on live in the items only.
    list.FreeAll();
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.From < b.From; });

    // Sweep from edge to edge, keeping the covering items in a heap whose top is the winner;
    // items that ended stay in it until they come to the top.
    std::vector<std::uint32_t>& active = pass.FActive;
    active.clear();
    const auto loses = [&items](std::uint32_t a, std::uint32_t b) {
        return items[a].Priority != items[b].Priority ? items[a].Priority < items[b].Priority
                                                      : items[a].Index < items[b].Index;
    };
    std::size_t next = 0;  // first item not yet in the heap
    std::int64_t pos = 0;
    while (next < items.size() || !active.empty()) {
        if (active.empty())
            pos = items[next].From;
        for (; next < items.size() && items[next].From <= pos; ++next) {
            active.push_back(static_cast<std::uint32_t>(next));
            std::push_heap(active.begin(), active.end(), loses);
        }
        while (!active.empty() && items[active.front()].To < pos) {
            std::pop_heap(active.begin(), active.end(), loses);
            active.pop_back();
        }
        if (active.empty())
            continue;
        const Item& winner = items[active.front()];
        std::int64_t stop = winner.To + 1;
        if (next < items.size())
            stop = std::min(stop, items[next].From);

        // A stretch right after an equal one continues its run.
        TKeyDescr* const last = list.Used() > 0 ? &list[list.Used() - 1] : nullptr;
        if (last != nullptr && last->EndPos + std::int64_t{1} == pos && last->KeyColor == winner.Color &&
            last->KeyZOrder == winner.Priority && last->IsKey == winner.IsKey)
            last->EndPos = static_cast<std::int32_t>(stop - 1);
        else
            list.Append({static_cast<std::int32_t>(pos), static_cast<std::int32_t>(stop - 1), winner.Color,
                         winner.Priority, winner.IsKey});
        pos = stop;
    }
}

}  // namespace colormemo
