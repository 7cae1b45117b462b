#pragma once
// Which catchwords of a log window's active alerts occur in a received line. Plain C++ on
// bytes, no widgets: the alert set compiles a matcher whenever its alerts change.

#include "alerts/background_build.h"
#include "alerts/hyperscan_text.h"
#include "alerts/talert.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace alerts {

// The entries of a catchwords text: a line ends at CR, LF or CR LF; an empty line between two
// line breaks is an empty entry; a break at the very end adds none; blanks stay.
std::vector<std::string> split_catchword_lines(std::string_view text);

// One matching catchword entry: alerts[alert].catchwords[entry].
struct CatchwordMatch {
    std::size_t alert;
    std::size_t entry;
    friend bool operator==(const CatchwordMatch&, const CatchwordMatch&) = default;
};

// The reference scan, one substring search per entry: every non-empty entry of every active
// alert that occurs in line byte for byte (case counts, no word boundaries), alert by alert in
// collection order, entries in list order. Appends to out.
void plain_catchword_scan(std::span<const tAlert> alerts, std::string_view line, std::vector<CatchwordMatch>& out);

// Finds the same matches as plain_catchword_scan, in the same order, with one pass over the
// line however many catchwords there are (an Aho-Corasick automaton over byte classes), or over
// a whole text of lines (Hyperscan's literal matcher). Entries
// that occur in several places share one pattern. A set of catchwords whose transition table
// would outgrow table_limit bytes is searched by the plain scan instead.
class CatchwordMatcher {
public:
    static constexpr std::size_t default_table_limit = std::size_t{32} << 20;

    explicit CatchwordMatcher(std::size_t table_limit = default_table_limit) : table_limit_(table_limit) {}

    // Takes the catchwords of the active alerts; keeps copies, so alerts may change afterwards
    // (the matcher then answers for the alerts as they were).
    void compile(std::span<const tAlert> alerts);

    // The matches of line in the order the alert actions run. Valid until the next find or
    // compile.
    std::span<const CatchwordMatch> find(std::string_view line);

    // The lines found next lie in text, which stays as it is until the next prescan, separated
    // by line feeds: Hyperscan finds the words in all of it at once, for less than the automaton
    // takes line by line. Lines elsewhere are searched alone. An empty text ends it. True when
    // the text was scanned whole.
    bool prescan(std::string_view text);
    // Hyperscan's words are compiled on a thread of their own; this waits for them.
    void wait_for_text_scan();

    bool uses_automaton() const { return classes_ != 0; }
    std::size_t pattern_count() const { return patterns_.size(); }

private:
    static constexpr std::uint32_t output_flag = 0x80000000u;
    static constexpr std::uint32_t no_state = 0xFFFFFFFFu;
    static constexpr std::int32_t no_pattern = -1;

    bool build_automaton();
    void collect(std::uint32_t state);
    void note_found(std::uint32_t pattern);

    std::size_t table_limit_;

    // Distinct non-empty catchwords, and for each the ranks of the entries that hold it; an
    // entry's rank is its place in firing order.
    std::vector<std::string> patterns_;
    std::vector<std::vector<std::uint32_t>> pattern_ranks_;
    std::vector<CatchwordMatch> entries_;  // by rank

    // The automaton; classes_ == 0 when the plain scan is used. Each table entry is the row
    // offset of the next state, with output_flag set when a pattern ends there or at one of its
    // suffix states.
    std::array<std::uint16_t, 256> byte_class_{};
    std::size_t classes_ = 0;
    std::vector<std::uint32_t> table_;
    std::vector<std::int32_t> state_pattern_;   // the pattern ending exactly at a state
    std::vector<std::uint32_t> output_link_;    // next suffix state with a pattern, or no_state
    // Indexed by two bytes, first << 8 | second: a pattern may begin there.
    std::vector<bool> pair_starts_;

    // Per find: patterns seen in this line (stamped with the line's generation), and the result.
    std::vector<std::uint32_t> stamp_;
    std::uint32_t generation_ = 0;
    std::vector<std::uint32_t> found_;
    std::vector<std::uint32_t> ranks_;
    std::vector<CatchwordMatch> matches_;

    BackgroundBuild<HyperscanDatabase> literals_build_;
    std::unique_ptr<HyperscanDatabase> literals_;
    TextScan text_scan_;
    std::vector<std::uint32_t> text_patterns_;
};

}  // namespace alerts
