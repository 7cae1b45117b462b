#pragma once
// What the user searches for in a log window, compiled once: plain text (with or without
// regard to case) or a regular expression, matched against the stored bytes of one line at a
// time. Lines are UTF-8 or arbitrary bytes; invalid bytes never stop a search.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace find {

// A match in a line: byte offset and byte length.
struct Match {
    std::size_t start = 0;
    std::size_t length = 0;
    std::size_t end() const { return start + length; }
    friend bool operator==(const Match&, const Match&) = default;
};

struct PatternOptions {
    bool match_case = false;
    bool regex = false;
};

// Plain text matches byte for byte with case; without case characters are compared by
// folded form (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic), so a match is as long as
// the needle, and a stray byte in the needle only matches the same stray byte. A regular
// expression is PCRE2 over UTF-8 that skips invalid bytes, caseless without match_case.
// Not for use from two threads at once: a regular expression keeps its match data.
class Pattern {
public:
    Pattern(std::string_view needle, PatternOptions options);
    ~Pattern();
    Pattern(Pattern&&) noexcept;
    Pattern& operator=(Pattern&&) noexcept;

    // A regular expression that does not compile matches nothing; error() says why, with the
    // offset in the needle ("missing closing parenthesis at 7"). Empty without an error.
    bool valid() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // An empty needle matches nothing.
    bool empty() const { return needle_.empty(); }
    const std::string& needle() const { return needle_; }

    // The first match starting at or after `from`.
    std::optional<Match> find(std::string_view line, std::size_t from = 0) const;
    // Of the matches find() gives from each character of the line, the one starting last
    // among those that lie wholly before `before`: where "find previous" goes from a
    // selection starting at `before`.
    std::optional<Match> find_last(std::string_view line, std::size_t before) const;
    bool matches(std::string_view line) const { return find(line).has_value(); }
    // Every match in the line, one after the other without overlapping; an empty match of a
    // regular expression counts once and the search goes on at the next character. With
    // `before`, only those of them that start before it: a match's place in its line.
    std::size_t count(std::string_view line, std::size_t before = std::string_view::npos) const;

private:
    struct Regex;
    // The bytes a match may have at its first and at its last byte: up to four each, the
    // unused places repeating the first.
    struct ProbeSet {
        std::uint8_t values[4] = {};
        std::size_t count = 1;
        bool holds(unsigned char byte) const;
    };

    void compile_regex(bool match_case);
    void prepare_plain(bool match_case);
    std::optional<Match> find_plain(std::string_view line, std::size_t from) const;
    template <std::size_t probes>
    std::optional<Match> scan(std::string_view line, std::size_t from) const;
    bool equal_at(std::string_view line, std::size_t pos) const;
    std::optional<Match> find_regex(std::string_view line, std::size_t from) const;

    std::string needle_;
    std::string error_;
    bool match_case_ = false;
    std::unique_ptr<Regex> regex_;
    // Plain text: the probes, and without case the folded keys of the needle's characters
    // (or, for an all-ASCII needle, its lower-case bytes).
    ProbeSet first_;
    ProbeSet last_;
    bool ascii_needle_ = false;
    std::string lower_needle_;
    std::vector<std::uint32_t> needle_keys_;
};

}  // namespace find
