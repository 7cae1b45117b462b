#pragma once
// Which catchword expressions of a log window's active alerts match a received line. Each is
// PCRE2 over UTF-8 that tolerates invalid bytes (as the find bar's expressions are), and PCRE2
// decides every match. One expression after the other costs too much for a hundred of them on
// every line, so Hyperscan first scans the line once for all of them in prefilter mode, which
// never misses a match but may report one that isn't: only those are then asked of PCRE2.
// Expressions that name characters beyond ASCII are PCRE2's alone, as are lines that aren't
// valid UTF-8 (Hyperscan's UTF-8 mode reads only valid UTF-8).
// Plain C++ on bytes, no widgets.

#include "alerts/background_build.h"
#include "alerts/catchword_matcher.h"
#include "alerts/hyperscan_text.h"
#include "alerts/talert.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace alerts {

// Why the expression can't be used, as "missing closing parenthesis at 7"; none when it can.
std::optional<std::string> expression_error(std::string_view expression);

class ExpressionMatcher {
public:
    ExpressionMatcher();
    ~ExpressionMatcher();

    // Takes the non-empty catchwords of the active alerts whose catchwords are expressions; an
    // expression that doesn't compile never matches. Keeps copies, as CatchwordMatcher does.
    void compile(std::span<const tAlert> alerts);
    bool empty() const { return expressions_.empty(); }

    // Appends the matching entries of line, alert by alert in collection order, entries in list
    // order.
    void find(std::string_view line, std::vector<CatchwordMatch>& out);
    // The lines found next lie in text, which stays as it is until the next prescan, separated
    // by line feeds: one scan of it costs less than one scan a line. Lines elsewhere are
    // scanned alone. An empty text ends it. True when the text was scanned whole.
    bool prescan(std::string_view text);

    // The prefilter is built on a thread of its own; until it is there, every expression is
    // asked of PCRE2. This waits for it.
    void wait_for_prefilter();
    // How many expressions are asked of PCRE2 on every line, the prefilter unable to take them.
    std::size_t unfiltered() const;

private:
    struct Expression;
    struct Prefilter;

    // The prefilter of expressions; null when this machine can't have one or none can be
    // prefiltered.
    static std::unique_ptr<Prefilter> build_prefilter(const std::vector<std::string>& expressions);

    // PCRE2 decides the candidates for line.
    void confirm(std::string_view line, std::vector<CatchwordMatch>& out);

    std::vector<Expression> expressions_;
    std::unique_ptr<Prefilter> prefilter_;
    BackgroundBuild<Prefilter> build_;
    TextScan text_scan_;
    // Per line: the expressions the prefilter reported, and the unfiltered ones.
    std::vector<std::uint32_t> candidates_;
};

}  // namespace alerts
