// The collection of colour rules: ownership, copying and the alternating recompile.

#include "colormemo/drawrules.h"

namespace colormemo {

TColorRule& TDrawRules::Add()
{
    FItems.push_back(std::make_unique<TColorRule>());
    return *FItems.back();
}

void TDrawRules::Delete(int index)
{
    FItems.erase(FItems.begin() + index);
}

void TDrawRules::Assign(const TDrawRules& source)
{
    if (&source == this)
        return;
    FItems.clear();
    for (const auto& rule : source.FItems)
        Add().Assign(*rule);
}

void TDrawRules::CompileAll()
{
    bool has_entries = false;
    if (FRecompile)
        for (const auto& rule : FItems)
            has_entries = rule->Compile() || has_entries;
    FRecompile = !has_entries;
}

void TDrawRules::ScanAll(TColorPass& pass, std::string_view region, std::int32_t region_start,
                         const TDrawEvent& on_draw)
{
    // By index, with the count read afresh: an OnDraw handler may add rules while the scan
    // runs, and no iterator would survive the vector growing under it.
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        TColorRule& rule = *FItems[i];
        if (rule.Enabled())
            rule.Scan(pass, region, region_start, on_draw);
    }
}

}  // namespace colormemo
