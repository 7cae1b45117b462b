// Catchword expressions: a Hyperscan prefilter over all of them, PCRE2 for the answer.

#include "alerts/expression_matcher.h"

#include "find/pattern.h"
#include "lines/text_codec.h"

#include <hs/hs.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace alerts {

namespace {

// Find's regular expressions are caseless without match_case; an alert's expression says
// (?i) itself when case shall not count.
constexpr find::PatternOptions expression_options{.match_case = true, .regex = true};

// Hyperscan reads its UTF-8 mode's input as valid UTF-8; other lines are asked of PCRE2 alone.
bool valid_utf8(std::string_view line)
{
    std::size_t at = 0;
    // Most log lines are ASCII: eight bytes at a time until the first that isn't.
    for (; at + 8 <= line.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, line.data() + at, sizeof word);
        if ((word & 0x8080808080808080ull) != 0)
            break;
    }
    while (at < line.size()) {
        if (static_cast<unsigned char>(line[at]) < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = lines::char_length(line, at);
        if (length == 1)
            return false;
        at += length;
    }
    return true;
}

// Expressions the prefilter can stand in for. Hyperscan's caseless matching and its classes
// know ASCII where PCRE2 in UTF mode knows Unicode, so an expression with other characters,
// or that names them by code point or property, would be missed on lines PCRE2 matches.
bool prefilter_can_take(const std::string& expression)
{
    if (expression.find('\0') != std::string::npos)
        return false;
    if (std::any_of(expression.begin(), expression.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return false;
    for (const char* escape : {"\\x{", "\\o{", "\\p", "\\P", "\\N{", "\\X", "\\C", "\\u"})
        if (expression.find(escape) != std::string::npos)
            return false;
    return true;
}

}  // namespace

std::optional<std::string> expression_error(std::string_view expression)
{
    const find::Pattern pattern(expression, expression_options);
    if (pattern.valid())
        return std::nullopt;
    return pattern.error();
}

struct ExpressionMatcher::Expression {
    find::Pattern pattern;
    CatchwordMatch where;
};

struct ExpressionMatcher::Prefilter {
    HyperscanDatabase line;
    // The same expressions for a text of many lines, a match reported at each end; empty when
    // one of them can't be scanned so (it may match the empty line, or sees past a line's ends).
    HyperscanDatabase text;
    // Hyperscan's id of each expression it scans is its place in expressions_; these are the
    // places of the others.
    std::vector<std::uint32_t> unfiltered;
};

namespace {

// The expressions compiled for Hyperscan with flags; none when one of them fails (the index of
// that one in failed, or -1 when Hyperscan names none).
HyperscanDatabase compile_expressions(const std::vector<const char*>& texts, const std::vector<unsigned>& ids,
                                      unsigned flags, int& failed)
{
    const std::vector<unsigned> all_flags(texts.size(), flags);
    hs_database_t* database = nullptr;
    hs_compile_error_t* error = nullptr;
    failed = -1;
    if (hs_compile_multi(texts.data(), all_flags.data(), ids.data(), static_cast<unsigned>(texts.size()), HS_MODE_BLOCK,
                         nullptr, &database, &error) == HS_SUCCESS)
        return HyperscanDatabase(database);
    failed = error->expression;
    hs_free_compile_error(error);
    return {};
}

// Whether an expression means the same on a line alone as on that line in a text of lines: ^
// and $ hold at each line's ends then, but what looks at the subject's ends or behind a match
// would see the neighbouring line.
bool sees_only_its_line(const char* expression)
{
    for (const char* escape : {"\\A", "\\z", "\\Z", "\\G", "(?<"})
        if (std::strstr(expression, escape) != nullptr)
            return false;
    return true;
}

}  // namespace

std::unique_ptr<ExpressionMatcher::Prefilter> ExpressionMatcher::build_prefilter(const std::vector<std::string>& expressions)
{
    if (hs_valid_platform() != HS_SUCCESS)
        return nullptr;
    auto prefilter = std::make_unique<Prefilter>();
    std::vector<const char*> texts;
    std::vector<unsigned> ids;
    for (std::size_t index = 0; index < expressions.size(); ++index) {
        if (prefilter_can_take(expressions[index])) {
            texts.push_back(expressions[index].c_str());
            ids.push_back(static_cast<unsigned>(index));
        } else {
            prefilter->unfiltered.push_back(static_cast<std::uint32_t>(index));
        }
    }
    // Each expression Hyperscan can't take, even as a prefilter, leaves the set, and the rest
    // are compiled again.
    while (!texts.empty()) {
        int failed = -1;
        prefilter->line = compile_expressions(
            texts, ids, HS_FLAG_PREFILTER | HS_FLAG_SINGLEMATCH | HS_FLAG_UTF8 | HS_FLAG_ALLOWEMPTY, failed);
        if (prefilter->line) {
            std::sort(prefilter->unfiltered.begin(), prefilter->unfiltered.end());
            // No expression may match the empty line for a text: it would be reported at every
            // place of it.
            if (std::all_of(texts.begin(), texts.end(), sees_only_its_line))
                prefilter->text = compile_expressions(texts, ids, HS_FLAG_PREFILTER | HS_FLAG_UTF8 | HS_FLAG_MULTILINE,
                                                      failed);
            return prefilter;
        }
        if (failed < 0 || static_cast<std::size_t>(failed) >= texts.size())
            return nullptr;
        prefilter->unfiltered.push_back(ids[static_cast<std::size_t>(failed)]);
        texts.erase(texts.begin() + failed);
        ids.erase(ids.begin() + failed);
    }
    // Nothing to scan for: every expression is PCRE2's alone.
    return nullptr;
}

bool ExpressionMatcher::prescan(std::string_view text)
{
    text_scan_.clear();
    if (expressions_.empty())
        return false;
    build_.deliver_if_done(prefilter_);
    return prefilter_ && valid_utf8(text) && text_scan_.scan(prefilter_->text, text);
}

ExpressionMatcher::ExpressionMatcher() = default;
ExpressionMatcher::~ExpressionMatcher() = default;

void ExpressionMatcher::compile(std::span<const tAlert> alerts)
{
    build_.cancel();
    prefilter_.reset();
    text_scan_.clear();
    expressions_.clear();
    std::vector<std::string> texts;
    for (std::size_t alert = 0; alert < alerts.size(); ++alert) {
        if (!alerts[alert].active || !alerts[alert].conditions.regex)
            continue;
        const std::vector<std::string>& words = alerts[alert].catchwords;
        for (std::size_t entry = 0; entry < words.size(); ++entry) {
            if (words[entry].empty())
                continue;
            find::Pattern pattern(words[entry], expression_options);
            if (!pattern.valid())
                continue;
            expressions_.push_back({std::move(pattern), {alert, entry}});
            texts.push_back(words[entry]);
        }
    }
    // Hyperscan takes tens of milliseconds for a hundred expressions, too long for the thread
    // that receives and draws: PCRE2 alone matches meanwhile.
    if (!texts.empty())
        build_.start([texts = std::move(texts)] { return build_prefilter(texts); });
}

void ExpressionMatcher::wait_for_prefilter()
{
    build_.deliver(prefilter_);
}

std::size_t ExpressionMatcher::unfiltered() const
{
    return prefilter_ ? prefilter_->unfiltered.size() : expressions_.size();
}

void ExpressionMatcher::find(std::string_view line, std::vector<CatchwordMatch>& out)
{
    if (expressions_.empty())
        return;
    build_.deliver_if_done(prefilter_);
    if (text_scan_.holds(line)) {
        // A match in the line ends in it; one that ends there but began on an earlier line
        // only costs its confirmation.
        candidates_.clear();
        candidates_.insert(candidates_.end(), prefilter_->unfiltered.begin(), prefilter_->unfiltered.end());
        text_scan_.patterns_in(line, candidates_);
        confirm(line, out);
        return;
    }
    // Hyperscan takes no empty block, and a block's length is an unsigned int.
    if (!prefilter_ || line.empty() || line.size() > UINT_MAX || !valid_utf8(line)) {
        for (const Expression& expression : expressions_)
            if (expression.pattern.matches(line))
                out.push_back(expression.where);
        return;
    }
    candidates_.clear();
    candidates_.insert(candidates_.end(), prefilter_->unfiltered.begin(), prefilter_->unfiltered.end());
    const auto note = [](unsigned id, unsigned long long, unsigned long long, unsigned, void* context) -> int {
        static_cast<std::vector<std::uint32_t>*>(context)->push_back(id);
        return 0;
    };
    hs_scan(prefilter_->line.database(), line.data(), static_cast<unsigned>(line.size()), 0, prefilter_->line.scratch(),
            note, &candidates_);
    confirm(line, out);
}

void ExpressionMatcher::confirm(std::string_view line, std::vector<CatchwordMatch>& out)
{
    if (candidates_.empty())
        return;
    // Matches go in expression order, each once, whichever order the prefilter reported them in.
    std::sort(candidates_.begin(), candidates_.end());
    candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
    for (const std::uint32_t index : candidates_)
        if (expressions_[index].pattern.matches(line))
            out.push_back(expressions_[index].where);
}

}  // namespace alerts
