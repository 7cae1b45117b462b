// Matching one line: plain text through a vector scan for the bytes a match must start and
// end with, regular expressions through PCRE2 with its JIT.

#include "find/pattern.h"

#include "find/case_fold.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

namespace find {

struct Pattern::Regex {
    pcre2_code* code = nullptr;
    pcre2_match_data* match_data = nullptr;
    ~Regex()
    {
        pcre2_match_data_free(match_data);
        pcre2_code_free(code);
    }
};

namespace {

// The byte offset of the character after the one at `pos`.
std::size_t next_char(std::string_view line, std::size_t pos)
{
    return pos + folded_char_at(line, pos).length;
}

}  // namespace

bool Pattern::ProbeSet::holds(unsigned char byte) const
{
    return std::find(std::begin(values), std::end(values), byte) != std::end(values);
}

Pattern::Pattern(std::string_view needle, PatternOptions options)
    : needle_(needle), match_case_(options.match_case)
{
    if (needle_.empty())
        return;
    if (options.regex)
        compile_regex(options.match_case);
    else
        prepare_plain(options.match_case);
}

Pattern::~Pattern() = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;

void Pattern::compile_regex(bool match_case)
{
    const std::uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | (match_case ? 0u : PCRE2_CASELESS);
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(needle_.data()), needle_.size(), flags,
                                         &code, &offset, nullptr);
    if (!compiled) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(code, message, sizeof message);
        error_ = reinterpret_cast<const char*>(message) + std::string(" at ") + std::to_string(offset);
        return;
    }
    regex_ = std::make_unique<Regex>();
    regex_->code = compiled;
    // Without a JIT on this machine pcre2_match interprets the pattern: slower, same matches.
    pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE);
    regex_->match_data = pcre2_match_data_create_from_pattern(compiled, nullptr);
}

void Pattern::prepare_plain(bool match_case)
{
    // The bytes each probe may meet: with case the needle's own; without, those of every case
    // variant of its first and of its last character.
    auto fill = [](ProbeSet& probe, const std::vector<unsigned char>& bytes) {
        std::fill(std::begin(probe.values), std::end(probe.values), bytes.front());
        probe.count = std::min<std::size_t>(bytes.size(), 4);
        std::copy_n(bytes.begin(), probe.count, std::begin(probe.values));
    };
    if (match_case) {
        fill(first_, {static_cast<unsigned char>(needle_.front())});
        fill(last_, {static_cast<unsigned char>(needle_.back())});
        return;
    }
    ascii_needle_ = std::all_of(needle_.begin(), needle_.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    lower_needle_ = needle_;
    for (char& c : lower_needle_)
        c = static_cast<char>(fold_code_point(static_cast<unsigned char>(c)));
    std::vector<std::size_t> starts;
    for (std::size_t pos = 0; pos < needle_.size(); pos = next_char(needle_, pos)) {
        starts.push_back(pos);
        needle_keys_.push_back(folded_char_at(needle_, pos).key);
    }
    auto variant_bytes = [&](std::size_t unit, bool last_byte) {
        const std::uint32_t key = needle_keys_[unit];
        if (key >= stray_byte_key(0))
            return std::vector<unsigned char>{static_cast<unsigned char>(needle_[starts[unit]])};
        std::vector<unsigned char> bytes;
        for (char32_t variant : case_variants(key)) {
            const auto encoded = utf8_bytes(variant);
            const unsigned char byte = last_byte ? encoded.back() : encoded.front();
            if (std::find(bytes.begin(), bytes.end(), byte) == bytes.end())
                bytes.push_back(byte);
        }
        return bytes;
    };
    fill(first_, variant_bytes(0, false));
    fill(last_, variant_bytes(needle_keys_.size() - 1, true));
}

bool Pattern::equal_at(std::string_view line, std::size_t pos) const
{
    if (match_case_)
        return std::memcmp(line.data() + pos, needle_.data(), needle_.size()) == 0;
    if (ascii_needle_) {
        for (std::size_t i = 0; i < lower_needle_.size(); ++i) {
            const auto byte = static_cast<unsigned char>(line[pos + i]);
            if (static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte) != lower_needle_[i])
                return false;
        }
        return true;
    }
    for (std::uint32_t key : needle_keys_) {
        if (pos >= line.size())
            return false;
        const FoldedChar c = folded_char_at(line, pos);
        if (c.key != key)
            return false;
        pos += c.length;
    }
    return true;
}

// The first match from `from` on, looking at `probes` values of each probe (1, 2 or 4).
template <std::size_t probes>
std::optional<Match> Pattern::scan(std::string_view line, std::size_t from) const
{
    const std::size_t n = needle_.size();
    const std::size_t last_start = line.size() - n;
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
    std::size_t pos = from;
#ifdef __SSE2__
    // Sixteen starts at a time: those whose first and last byte could belong to a match.
    struct Spread {
        __m128i values[probes];
    };
    auto spread = [](const ProbeSet& probe) {
        Spread result;
        for (std::size_t i = 0; i < probes; ++i)
            result.values[i] = _mm_set1_epi8(static_cast<char>(probe.values[i]));
        return result;
    };
    const Spread first = spread(first_);
    const Spread last = spread(last_);
    auto any_of = [](__m128i block, const Spread& probe) {
        __m128i hits = _mm_cmpeq_epi8(block, probe.values[0]);
        for (std::size_t i = 1; i < probes; ++i)
            hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, probe.values[i]));
        return hits;
    };
    auto candidates_at = [&](std::size_t at) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + n - 1));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(any_of(head, first), any_of(tail, last))));
    };
    if (last_start - pos >= 15) {
        // Blocks of sixteen starts; the last block overlaps the one before it rather than
        // leaving a tail, its starts already looked at masked out.
        for (;;) {
            const std::size_t block = std::min(pos, last_start - 15);
            for (unsigned candidates = candidates_at(block) >> (pos - block) << (pos - block); candidates != 0;
                 candidates &= candidates - 1) {
                const std::size_t start = block + static_cast<std::size_t>(__builtin_ctz(candidates));
                if (equal_at(line, start))
                    return Match{start, n};
            }
            if (block + 16 > last_start)
                return std::nullopt;
            pos = block + 16;
        }
    }
#endif
    for (; pos <= last_start; ++pos) {
        if (first_.holds(bytes[pos]) && last_.holds(bytes[pos + n - 1]) && equal_at(line, pos))
            return Match{pos, n};
    }
    return std::nullopt;
}

std::optional<Match> Pattern::find_plain(std::string_view line, std::size_t from) const
{
    if (line.size() < needle_.size() || from > line.size() - needle_.size())
        return std::nullopt;
    const std::size_t probes = std::max(first_.count, last_.count);
    if (probes == 1)
        return scan<1>(line, from);
    return probes == 2 ? scan<2>(line, from) : scan<4>(line, from);
}

std::optional<Match> Pattern::find_regex(std::string_view line, std::size_t from) const
{
    const int found = pcre2_match(regex_->code, reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), from, 0,
                                  regex_->match_data, nullptr);
    if (found < 0)
        return std::nullopt;
    const PCRE2_SIZE* range = pcre2_get_ovector_pointer(regex_->match_data);
    return Match{range[0], range[1] - range[0]};
}

std::optional<Match> Pattern::find(std::string_view line, std::size_t from) const
{
    if (needle_.empty() || !valid() || from > line.size())
        return std::nullopt;
    return regex_ ? find_regex(line, from) : find_plain(line, from);
}

std::optional<Match> Pattern::find_last(std::string_view line, std::size_t before) const
{
    before = std::min(before, line.size());
    if (match_case_ && !regex_ && !needle_.empty()) {
        const std::size_t start = line.substr(0, before).rfind(needle_);
        return start == std::string_view::npos ? std::nullopt : std::optional<Match>(Match{start, needle_.size()});
    }
    // Matches without case or of an expression may be of any length: walk them from the start.
    std::optional<Match> last;
    for (std::size_t pos = 0; pos < before;) {
        const auto match = find(line, pos);
        if (!match || match->start >= before)
            break;
        if (match->end() <= before)
            last = match;
        pos = next_char(line, match->start);
    }
    return last;
}

std::size_t Pattern::count(std::string_view line, std::size_t before) const
{
    std::size_t matches = 0;
    for (std::size_t pos = 0; pos <= line.size();) {
        const auto match = find(line, pos);
        if (!match || match->start >= before)
            break;
        ++matches;
        if (match->length > 0)
            pos = match->end();
        else if (match->start < line.size())
            pos = next_char(line, match->start);
        else
            break;
    }
    return matches;
}

}  // namespace find
