#pragma once
// The memo's ordered collection of colour rules and the rhythm in which it recompiles them.

#include "colormemo/colorrule.h"

#include <memory>
#include <string_view>
#include <vector>

namespace colormemo {

class TColorPass;

class TDrawRules {
public:
    TDrawRules() = default;
    TDrawRules(const TDrawRules&) = delete;
    TDrawRules& operator=(const TDrawRules&) = delete;

    // A new rule with every setting at its default, at the end of the collection. The
    // collection owns it; the reference stays valid until the rule is deleted.
    TColorRule& Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    TColorRule& Items(int index) { return *FItems.at(static_cast<std::size_t>(index)); }
    const TColorRule& Items(int index) const { return *FItems.at(static_cast<std::size_t>(index)); }
    void Delete(int index);
    void Clear() { FItems.clear(); }

    // Replaces the rules by copies of the source's rules.
    void Assign(const TDrawRules& source);

    // Called at the start of every colouring pass. When a recompile is due, every rule is
    // compiled; the next pass recompiles only if none of them had entries. Lists edited in place
    // are therefore in effect by the second pass after the edit.
    void CompileAll();

    // Scans the region with every enabled rule, in collection order. Rules an on_draw handler
    // adds meanwhile are scanned in the same pass, after the others.
    void ScanAll(TColorPass& pass, std::string_view region, std::int32_t region_start,
                 const TDrawEvent& on_draw = {});

private:
    std::vector<std::unique_ptr<TColorRule>> FItems;
    bool FRecompile = true;
};

}  // namespace colormemo
