// libFuzzer target: any bytes as a received line, matched by catchword expressions through the
// prefilter and by PCRE2 alone; the two must agree.

#include "alerts/expression_matcher.h"
#include "find/pattern.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// Expressions of each kind the prefilter meets: literals, classes, case, anchors, back
// references, look-ahead, empty matches, and one beyond ASCII that PCRE2 takes alone.
alerts::tAlert expression_alert()
{
    alerts::tAlert alert;
    alert.active = true;
    alert.conditions.regex = true;
    alert.catchwords = {"fail\\d{2}", "(?i)timeout", "^user \\w+ locked$", "(ab|cd)+e", "(\\w)\\1", "x*",
                        "\\bERR\\b", "(?=ab)a", "[^x]{3}z", "\xc3\xa9t\xc3\xa9"};
    return alert;
}

// The matcher of an alert's expressions, and each expression alone.
struct Matchers {
    explicit Matchers(const alerts::tAlert& alert)
    {
        matcher.compile(std::span(&alert, 1));
        matcher.wait_for_prefilter();
        for (const std::string& expression : alert.catchwords)
            alone.emplace_back(expression, find::PatternOptions{.match_case = true, .regex = true});
    }
    alerts::ExpressionMatcher matcher;
    std::vector<find::Pattern> alone;
};

void check(Matchers& matchers, std::string_view line)
{
    std::vector<alerts::CatchwordMatch> found;
    matchers.matcher.find(line, found);
    std::vector<alerts::CatchwordMatch> expected;
    for (std::size_t entry = 0; entry < matchers.alone.size(); ++entry) {
        const find::Pattern& alone = matchers.alone[entry];
        if (!alone.empty() && alone.valid() && alone.matches(line))
            expected.push_back({0, entry});
    }
    if (found != expected)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Matchers* const matchers = new Matchers(expression_alert());
    check(*matchers, std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
