// libFuzzer target: random rule lists, in-place edits and text go through compile, scan and
// merge; the runs must stay ordered, apart and inside the scanned region.

#include "colormemo/colorpass.h"
#include "colormemo/drawrules.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace colormemo;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

TStringList consume_list(FuzzedDataProvider& data)
{
    TStringList list(data.ConsumeIntegralInRange<std::size_t>(0, 45));
    for (std::string& entry : list)
        entry = data.ConsumeRandomLengthString(48);
    return list;
}

// The compiled keyword string must parse back as "*" then "key*+<code>*" groups.
void check_key_search_str(const std::string& compiled)
{
    check(!compiled.empty() && compiled[0] == '*');
    std::size_t pos = 1;
    while (pos < compiled.size()) {
        const std::size_t star = compiled.find('*', pos);
        check(star != std::string::npos && star > pos && star + 3 < compiled.size());
        check(compiled[star + 1] == '+' && compiled[star + 2] >= 1 && compiled[star + 2] <= 41 &&
              compiled[star + 3] == '*');
        pos = star + 4;
    }
}

bool word_char(char c)
{
    return c == '@' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The keyword scan done the plain way, one left-to-right search per keyword of the compiled
// string; the rule's own scan must append exactly these descriptors.
std::vector<TKeyDescr> plain_keyword_scan(const TColorRule& rule, std::string text, std::int32_t base)
{
    std::vector<TKeyDescr> found;
    const std::string& compiled = rule.KeySearchStr();
    if (compiled.size() < 3)
        return found;
    if (!rule.KeyCase())
        for (char& c : text)
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    for (std::size_t pos = 1; pos < compiled.size();) {
        const std::size_t star = compiled.find('*', pos);
        const std::string key = compiled.substr(pos, star - pos);
        const TColor color = rule.ColorTable()[static_cast<std::size_t>(compiled[star + 2]) - 1];
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + key.size())) {
            const std::size_t after = at + key.size();
            if (rule.PartWord() || ((at == 0 || !word_char(text[at - 1])) && (after == text.size() || !word_char(text[after]))))
                found.push_back({base + static_cast<std::int32_t>(at), base + static_cast<std::int32_t>(after) - 1, color,
                                 rule.ZOrder(), true});
        }
        pos = star + 4;
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    TDrawRules rules;
    const int rule_count = data.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < rule_count; ++i) {
        TColorRule& rule = rules.Add();
        rule.SetKeyDrawingType(static_cast<TKeyDrawingType>(data.ConsumeIntegralInRange(0, 3)));
        rule.SetZOrder(data.ConsumeIntegral<std::uint8_t>());
        rule.SetKeyCase(data.ConsumeBool());
        rule.SetPartWord(data.ConsumeBool());
        rule.SetEnabled(data.ConsumeIntegralInRange(0, 7) != 0);
        rule.SetKeywords(consume_list(data));
        rule.SetKeyBegEndLst(consume_list(data));
        rule.Keywords().push_back(data.ConsumeRandomLengthString(48));  // in place, compiled later
        rule.KeyLineEndLst() = consume_list(data);
    }

    std::vector<TKeyDescr> drawn(data.ConsumeIntegralInRange<std::size_t>(0, 12));
    for (TKeyDescr& item : drawn)
        item = {data.ConsumeIntegral<std::int32_t>(), data.ConsumeIntegral<std::int32_t>(),
                data.ConsumeIntegral<TColor>(), data.ConsumeIntegral<std::uint8_t>(), false};
    const std::int32_t reported = data.ConsumeIntegralInRange(-2, 20);
    const TDrawEvent on_draw = [&](TColorRule&, std::string_view, std::span<TKeyDescr> items, std::int32_t& count) {
        for (std::size_t i = 0; i < drawn.size() && i < items.size(); ++i)
            items[i] = drawn[i];
        count = reported;
    };

    TColorPass pass;
    pass.SetColorLimMax(data.ConsumeIntegralInRange(0, 8));
    const std::int32_t base = data.ConsumeIntegralInRange(0, 1 << 20);
    const std::string text = data.ConsumeRemainingBytesAsString();
    for (int round = 0; round < 3; ++round) {
        rules.CompileAll();
        pass.BeginPass();
        rules.ScanAll(pass, text, base, on_draw);
        MergeRuns(pass);

        std::int64_t previous_end = static_cast<std::int64_t>(base) - 1;
        for (const TKeyDescr& run : pass.Runs()) {
            check(run.StartPos > previous_end && run.StartPos <= run.EndPos);
            check(run.EndPos < static_cast<std::int64_t>(base) + static_cast<std::int64_t>(text.size()));
            previous_end = run.EndPos;
        }
        for (int i = 0; i < rules.Count(); ++i) {
            TColorRule& rule = rules.Items(i);
            check_key_search_str(rule.KeySearchStr());
            if (rule.KeyDrawingType() != dtKeyShow)
                continue;
            TColorPass keyword_pass;
            keyword_pass.BeginPass();
            rule.Scan(keyword_pass, text, base);
            const std::vector<TKeyDescr> expected = plain_keyword_scan(rule, text, base);
            check(keyword_pass.KeyDescrs().Used() == expected.size());
            for (std::size_t d = 0; d < expected.size(); ++d) {
                const TKeyDescr& got = keyword_pass.KeyDescrs()[d];
                check(got.StartPos == expected[d].StartPos && got.EndPos == expected[d].EndPos &&
                      got.KeyColor == expected[d].KeyColor && got.KeyZOrder == expected[d].KeyZOrder && got.IsKey);
            }
        }
        if (rules.Count() > 0 && !rules.Items(0).Keywords().empty())
            rules.Items(0).Keywords().front().clear();
    }
    return 0;
}
