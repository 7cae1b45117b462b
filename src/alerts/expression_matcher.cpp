// Catchword expressions: a Hyperscan prefilter over all of them, PCRE2 for the answer.

#include "alerts/expression_matcher.h"

#include "find/pattern.h"
#include "lines/text_codec.h"

#include <hs/hs.h>

#include <algorithm>
#include <atomic>
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
    hs_database_t* database = nullptr;
    hs_scratch_t* scratch = nullptr;
    // The same expressions for a text of many lines, a match reported at each end; null when
    // one of them can't be scanned so (it may match the empty line, or sees past a line's ends).
    hs_database_t* text_database = nullptr;
    hs_scratch_t* text_scratch = nullptr;
    // Hyperscan's id of each expression it scans is its place in expressions_; these are the
    // places of the others.
    std::vector<std::uint32_t> unfiltered;
    ~Prefilter()
    {
        hs_free_scratch(text_scratch);
        hs_free_database(text_database);
        hs_free_scratch(scratch);
        hs_free_database(database);
    }
};

std::unique_ptr<ExpressionMatcher::Prefilter> ExpressionMatcher::build_prefilter(const std::vector<std::string>& expressions)
{
    // Each expression Hyperscan can't take, even as a prefilter, leaves the set, and the rest
    // are compiled again.
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
    while (!texts.empty()) {
        const std::vector<unsigned> flags(texts.size(),
                                          HS_FLAG_PREFILTER | HS_FLAG_SINGLEMATCH | HS_FLAG_UTF8 | HS_FLAG_ALLOWEMPTY);
        hs_compile_error_t* error = nullptr;
        if (hs_compile_multi(texts.data(), flags.data(), ids.data(), static_cast<unsigned>(texts.size()), HS_MODE_BLOCK,
                             nullptr, &prefilter->database, &error) == HS_SUCCESS) {
            if (hs_alloc_scratch(prefilter->database, &prefilter->scratch) != HS_SUCCESS)
                return nullptr;
            std::sort(prefilter->unfiltered.begin(), prefilter->unfiltered.end());
            build_text_database(*prefilter, texts, ids);
            return prefilter;
        }
        const int failed = error->expression;
        hs_free_compile_error(error);
        if (failed < 0 || static_cast<std::size_t>(failed) >= texts.size())
            return nullptr;
        prefilter->unfiltered.push_back(ids[static_cast<std::size_t>(failed)]);
        texts.erase(texts.begin() + failed);
        ids.erase(ids.begin() + failed);
    }
    // Nothing to scan for: every expression is PCRE2's alone.
    return nullptr;
}

void ExpressionMatcher::build_text_database(Prefilter& prefilter, const std::vector<const char*>& texts,
                                            const std::vector<unsigned>& ids)
{
    // In a text of lines, ^ and $ must hold at each line's ends; what looks at the subject's
    // ends or behind a match would see the neighbouring line.
    for (const char* text : texts)
        for (const char* escape : {"\\A", "\\z", "\\Z", "\\G", "(?<"})
            if (std::strstr(text, escape) != nullptr)
                return;
    // No expression may match the empty line: it would be reported at every place of the text.
    const std::vector<unsigned> flags(texts.size(), HS_FLAG_PREFILTER | HS_FLAG_UTF8 | HS_FLAG_MULTILINE);
    hs_compile_error_t* error = nullptr;
    if (hs_compile_multi(texts.data(), flags.data(), ids.data(), static_cast<unsigned>(texts.size()), HS_MODE_BLOCK,
                         nullptr, &prefilter.text_database, &error) != HS_SUCCESS) {
        hs_free_compile_error(error);
        prefilter.text_database = nullptr;
        return;
    }
    if (hs_alloc_scratch(prefilter.text_database, &prefilter.text_scratch) != HS_SUCCESS) {
        hs_free_database(prefilter.text_database);
        prefilter.text_database = nullptr;
    }
}

bool ExpressionMatcher::prescan(std::string_view text)
{
    text_ = {};
    text_ends_.clear();
    if (expressions_.empty())
        return false;
    if (build_)
        take_prefilter();
    if (!prefilter_ || prefilter_->text_database == nullptr || text.empty() || text.size() > UINT_MAX ||
        !valid_utf8(text))
        return false;
    // Each report costs a call; an expression that matches nearly everywhere would make the
    // scan dearer than scanning line by line, which is then done instead.
    struct Scan {
        std::vector<std::pair<std::size_t, std::uint32_t>>& ends;
        std::size_t budget;
    } scan{text_ends_, text.size() / 4 + 256};
    const auto note = [](unsigned id, unsigned long long, unsigned long long to, unsigned, void* context) -> int {
        auto& reports = *static_cast<Scan*>(context);
        if (reports.ends.size() >= reports.budget)
            return 1;
        reports.ends.emplace_back(static_cast<std::size_t>(to), id);
        return 0;
    };
    if (hs_scan(prefilter_->text_database, text.data(), static_cast<unsigned>(text.size()), 0,
                prefilter_->text_scratch, note, &scan) != HS_SUCCESS) {
        text_ends_.clear();
        return false;
    }
    std::sort(text_ends_.begin(), text_ends_.end());
    text_ = text;
    return true;
}

// What the builder thread hands over.
struct ExpressionMatcher::Build {
    std::atomic<bool> done{false};
    std::unique_ptr<Prefilter> prefilter;
};

ExpressionMatcher::ExpressionMatcher() = default;

ExpressionMatcher::~ExpressionMatcher()
{
    if (builder_.joinable())
        builder_.join();
}

void ExpressionMatcher::compile(std::span<const tAlert> alerts)
{
    if (builder_.joinable())
        builder_.join();
    build_.reset();
    prefilter_.reset();
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
    if (texts.empty())
        return;
    // Hyperscan takes tens of milliseconds for a hundred expressions, too long for the thread
    // that receives and draws: it builds on its own, and PCRE2 alone matches meanwhile.
    build_ = std::make_shared<Build>();
    builder_ = std::thread([build = build_, texts = std::move(texts)] {
        build->prefilter = build_prefilter(texts);
        build->done.store(true, std::memory_order_release);
    });
}

void ExpressionMatcher::wait_for_prefilter()
{
    if (builder_.joinable())
        builder_.join();
    take_prefilter();
}

void ExpressionMatcher::take_prefilter()
{
    if (!build_ || !build_->done.load(std::memory_order_acquire))
        return;
    if (builder_.joinable())
        builder_.join();
    prefilter_ = std::move(build_->prefilter);
    build_.reset();
}

std::size_t ExpressionMatcher::unfiltered() const
{
    return prefilter_ ? prefilter_->unfiltered.size() : expressions_.size();
}

void ExpressionMatcher::find(std::string_view line, std::vector<CatchwordMatch>& out)
{
    if (expressions_.empty())
        return;
    if (build_)
        take_prefilter();
    if (!text_.empty() && line.data() >= text_.data() && line.data() + line.size() <= text_.data() + text_.size()) {
        find_in_text(line, out);
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
    hs_scan(prefilter_->database, line.data(), static_cast<unsigned>(line.size()), 0, prefilter_->scratch, note,
            &candidates_);
    confirm(line, out);
}

void ExpressionMatcher::find_in_text(std::string_view line, std::vector<CatchwordMatch>& out)
{
    // A match within the line ends in it; one that ends there but began on an earlier line only
    // costs its confirmation.
    const std::size_t begin = static_cast<std::size_t>(line.data() - text_.data());
    candidates_.clear();
    candidates_.insert(candidates_.end(), prefilter_->unfiltered.begin(), prefilter_->unfiltered.end());
    for (auto end = std::lower_bound(text_ends_.begin(), text_ends_.end(), std::pair{begin + 1, std::uint32_t{0}});
         end != text_ends_.end() && end->first <= begin + line.size(); ++end)
        candidates_.push_back(end->second);
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
