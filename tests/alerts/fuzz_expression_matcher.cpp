// libFuzzer target: any bytes as a received line, and as a received text of lines, matched by
// catchword expressions through the prefilter and by PCRE2 alone; the two must agree.

#include "alerts/expression_matcher.h"
#include "find/pattern.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// Expressions of each kind the prefilter meets: literals, classes, case, anchors, back
// references, look-ahead, and one beyond ASCII that PCRE2 takes alone.
alerts::tAlert expression_alert()
{
    alerts::tAlert alert;
    alert.active = true;
    alert.conditions.regex = true;
    // None matches the empty line, so that texts are scanned whole.
    alert.catchwords = {"fail\\d{2}", "(?i)timeout", "^user \\w+ locked$", "(ab|cd)+e", "(\\w)\\1", "x+",
                        "\\bERR\\b", "(?=ab)a", "[^x]{3}z", "c$", "\xc3\xa9t\xc3\xa9"};
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
    // The input as one line, then as a text of lines scanned whole, as a read's lines are.
    static Matchers* const matchers = new Matchers(expression_alert());
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check(*matchers, text);
    matchers->matcher.prescan(text);
    std::size_t begin = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos; begin = end + 1, end = text.find('\n', begin))
        check(*matchers, text.substr(begin, end - begin));
    check(*matchers, text.substr(begin));
    matchers->matcher.prescan({});
    return 0;
}
