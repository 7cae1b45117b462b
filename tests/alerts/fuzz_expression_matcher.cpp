// libFuzzer target: any bytes as a received line, matched by catchword expressions through the
// prefilter and by PCRE2 alone; the two must agree. Bytes before a first line feed are one more
// expression, so expressions the prefilter can't take are met too.

#include "alerts/expression_matcher.h"
#include "find/pattern.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    alerts::tAlert alert;
    alert.active = true;
    alert.conditions.regex = true;
    alert.catchwords = {"fail\\d{2}", "(?i)timeout", "^user \\w+ locked$", "(ab|cd)+e", "(\\w)\\1", "x*",
                        "\\bERR\\b", "(?=ab)a", "[^x]{3}z", "\xc3\xa9t\xc3\xa9"};
    std::string_view line = input;
    if (const std::size_t feed = input.find('\n'); feed != std::string_view::npos) {
        alert.catchwords.emplace_back(input.substr(0, feed));
        line = input.substr(feed + 1);
    }
    alerts::ExpressionMatcher matcher;
    matcher.compile(std::span(&alert, 1));
    matcher.wait_for_prefilter();
    std::vector<alerts::CatchwordMatch> found;
    matcher.find(line, found);
    std::vector<alerts::CatchwordMatch> expected;
    for (std::size_t entry = 0; entry < alert.catchwords.size(); ++entry) {
        const find::Pattern alone(alert.catchwords[entry], {.match_case = true, .regex = true});
        if (!alone.empty() && alone.valid() && alone.matches(line))
            expected.push_back({0, entry});
    }
    if (found != expected)
        std::abort();
    return 0;
}
