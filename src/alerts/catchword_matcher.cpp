// Catchword matching: the reference scan and the multi-pattern automaton that stands in for it.

#include "alerts/catchword_matcher.h"

#include <hs/hs.h>

#include <algorithm>
#include <unordered_map>

namespace alerts {

std::vector<std::string> split_catchword_lines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const char byte = text[at];
        if (byte != '\r' && byte != '\n') {
            ++at;
            continue;
        }
        lines.emplace_back(text.substr(start, at - start));
        at += (byte == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
        start = at;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

void plain_catchword_scan(std::span<const tAlert> alerts, std::string_view line, std::vector<CatchwordMatch>& out)
{
    for (std::size_t alert = 0; alert < alerts.size(); ++alert) {
        if (!has_plain_catchwords(alerts[alert]))
            continue;
        const std::vector<std::string>& words = alerts[alert].catchwords;
        for (std::size_t entry = 0; entry < words.size(); ++entry)
            if (!words[entry].empty() && line.find(words[entry]) != std::string_view::npos)
                out.push_back({alert, entry});
    }
}

void CatchwordMatcher::compile(std::span<const tAlert> alerts)
{
    literals_build_.cancel();
    literals_.reset();
    text_scan_.clear();
    patterns_.clear();
    pattern_ranks_.clear();
    entries_.clear();
    classes_ = 0;
    table_.clear();
    state_pattern_.clear();
    output_link_.clear();

    std::unordered_map<std::string_view, std::uint32_t> pattern_ids;
    // Views into patterns_ must not move while the map holds them.
    std::size_t word_count = 0;
    for (const tAlert& alert : alerts)
        if (has_plain_catchwords(alert))
            word_count += alert.catchwords.size();
    patterns_.reserve(word_count);

    for (std::size_t alert = 0; alert < alerts.size(); ++alert) {
        if (!has_plain_catchwords(alerts[alert]))
            continue;
        const std::vector<std::string>& words = alerts[alert].catchwords;
        for (std::size_t entry = 0; entry < words.size(); ++entry) {
            if (words[entry].empty())
                continue;
            const auto rank = static_cast<std::uint32_t>(entries_.size());
            entries_.push_back({alert, entry});
            auto known = pattern_ids.find(words[entry]);
            if (known == pattern_ids.end()) {
                patterns_.push_back(words[entry]);
                pattern_ranks_.emplace_back();
                known = pattern_ids.emplace(patterns_.back(), static_cast<std::uint32_t>(patterns_.size() - 1)).first;
            }
            pattern_ranks_[known->second].push_back(rank);
        }
    }
    stamp_.assign(patterns_.size(), 0);
    generation_ = 0;
    if (!patterns_.empty() && !build_automaton()) {
        classes_ = 0;
        table_.clear();
        state_pattern_.clear();
        output_link_.clear();
    }
    // A word with a line feed could span two lines of a text.
    if (patterns_.empty() || hs_valid_platform() != HS_SUCCESS ||
        std::any_of(patterns_.begin(), patterns_.end(), [](const std::string& word) { return word.find('\n') != std::string::npos; }))
        return;
    // Hyperscan takes tens of milliseconds for a thousand words: the automaton alone searches
    // meanwhile.
    literals_build_.start([words = patterns_] {
        std::vector<const char*> texts;
        std::vector<std::size_t> lengths;
        std::vector<unsigned> ids;
        for (const std::string& word : words) {
            texts.push_back(word.data());
            lengths.push_back(word.size());
            ids.push_back(static_cast<unsigned>(ids.size()));
        }
        const std::vector<unsigned> flags(words.size(), 0);
        hs_database_t* database = nullptr;
        hs_compile_error_t* error = nullptr;
        if (hs_compile_lit_multi(texts.data(), flags.data(), ids.data(), lengths.data(), static_cast<unsigned>(words.size()),
                                 HS_MODE_BLOCK, nullptr, &database, &error) != HS_SUCCESS) {
            hs_free_compile_error(error);
            return std::unique_ptr<HyperscanDatabase>();
        }
        auto literals = std::make_unique<HyperscanDatabase>(database);
        return *literals ? std::move(literals) : nullptr;
    });
}

bool CatchwordMatcher::prescan(std::string_view text)
{
    text_scan_.clear();
    literals_build_.deliver_if_done(literals_);
    return literals_ && text_scan_.scan(*literals_, text);
}

void CatchwordMatcher::wait_for_text_scan()
{
    literals_build_.deliver(literals_);
}

bool CatchwordMatcher::build_automaton()
{
    // Bytes that occur in no pattern all behave alike, so they share class 0.
    byte_class_.fill(0);
    std::size_t total_bytes = 0;
    for (const std::string& pattern : patterns_) {
        total_bytes += pattern.size();
        for (const char byte : pattern)
            byte_class_[static_cast<unsigned char>(byte)] = 1;
    }
    std::uint16_t next_class = 1;
    for (std::uint16_t& byte_class : byte_class_)
        if (byte_class != 0)
            byte_class = next_class++;
    const std::size_t classes = next_class;
    const std::size_t max_states = total_bytes + 1;
    if (max_states > table_limit_ / sizeof(std::uint32_t) / classes || max_states * classes >= output_flag)
        return false;
    classes_ = classes;

    // The trie: rows of classes_ entries, no_state where there is no child yet.
    table_.reserve(max_states * classes_);
    table_.assign(classes_, no_state);
    state_pattern_.assign(1, no_pattern);
    for (std::uint32_t id = 0; id < patterns_.size(); ++id) {
        std::uint32_t state = 0;
        for (const char byte : patterns_[id]) {
            const std::size_t slot = state * classes_ + byte_class_[static_cast<unsigned char>(byte)];
            if (table_[slot] == no_state) {
                table_[slot] = static_cast<std::uint32_t>(state_pattern_.size());
                table_.resize(table_.size() + classes_, no_state);
                state_pattern_.push_back(no_pattern);
            }
            state = table_[slot];
        }
        state_pattern_[state] = static_cast<std::int32_t>(id);
    }
    const std::size_t states = state_pattern_.size();

    // Breadth first, so a state's fallback (its longest proper suffix in the trie) is complete
    // before the state itself: missing children become the fallback's transitions.
    std::vector<std::uint32_t> fallback(states, 0);
    output_link_.assign(states, no_state);
    std::vector<std::uint32_t> queue;
    queue.reserve(states);
    queue.push_back(0);
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::uint32_t state = queue[head];
        const std::uint32_t suffix = fallback[state];
        if (state != 0)
            output_link_[state] = state_pattern_[suffix] != no_pattern ? suffix : output_link_[suffix];
        for (std::size_t byte_class = 0; byte_class < classes_; ++byte_class) {
            std::uint32_t& next = table_[state * classes_ + byte_class];
            const std::uint32_t via_suffix = state == 0 ? 0 : table_[suffix * classes_ + byte_class];
            if (next == no_state) {
                next = via_suffix;
            } else {
                fallback[next] = via_suffix;
                queue.push_back(next);
            }
        }
    }

    // Entries become row offsets (state * classes_), which spares the search a multiplication
    // per byte; the state limit above keeps them below output_flag.
    for (std::uint32_t& next : table_) {
        const bool output = state_pattern_[next] != no_pattern || output_link_[next] != no_state;
        next = static_cast<std::uint32_t>(next * classes_) | (output ? output_flag : 0);
    }

    // Two bytes that begin no pattern, the first not being a whole pattern itself, leave the
    // automaton in its root when it starts there; the search skips such places.
    pair_starts_.assign(std::size_t{1} << 16, false);
    for (const std::string& pattern : patterns_) {
        const auto first = static_cast<unsigned char>(pattern[0]);
        if (pattern.size() == 1) {
            for (std::size_t second = 0; second < 256; ++second)
                pair_starts_[first << 8 | second] = true;
        } else {
            pair_starts_[first << 8 | static_cast<unsigned char>(pattern[1])] = true;
        }
    }
    return true;
}

void CatchwordMatcher::note_found(std::uint32_t pattern)
{
    stamp_[pattern] = generation_;
    found_.push_back(pattern);
}

void CatchwordMatcher::collect(std::uint32_t state)
{
    // A pattern already seen in this line was seen with all its suffix patterns, so the walk
    // along the suffixes stops there.
    if (state_pattern_[state] == no_pattern)
        state = output_link_[state];
    while (state != no_state) {
        const auto pattern = static_cast<std::uint32_t>(state_pattern_[state]);
        if (stamp_[pattern] == generation_)
            return;
        note_found(pattern);
        state = output_link_[state];
    }
}

std::span<const CatchwordMatch> CatchwordMatcher::find(std::string_view line)
{
    matches_.clear();
    found_.clear();
    if (patterns_.empty())
        return {};
    if (++generation_ == 0) {
        std::fill(stamp_.begin(), stamp_.end(), 0);
        generation_ = 1;
    }

    if (text_scan_.holds(line)) {
        text_patterns_.clear();
        text_scan_.patterns_in(line, text_patterns_);
        for (const std::uint32_t id : text_patterns_)
            if (stamp_[id] != generation_)
                note_found(id);
    } else if (classes_ == 0) {
        for (std::uint32_t id = 0; id < patterns_.size(); ++id)
            if (line.find(patterns_[id]) != std::string_view::npos)
                note_found(id);
    } else {
        const std::uint32_t* table = table_.data();
        const std::uint16_t* byte_class = byte_class_.data();
        const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
        const std::size_t size = line.size();
        std::uint32_t row = 0;
        for (std::size_t at = 0; at < size; ++at) {
            if (row == 0) {
                while (at + 1 < size && !pair_starts_[bytes[at] << 8 | bytes[at + 1]])
                    ++at;
            }
            row = table[row + byte_class[bytes[at]]];
            if (row & output_flag) {
                row &= ~output_flag;
                collect(static_cast<std::uint32_t>(row / classes_));
            }
        }
    }
    if (found_.empty())
        return {};

    ranks_.clear();
    for (const std::uint32_t pattern : found_)
        ranks_.insert(ranks_.end(), pattern_ranks_[pattern].begin(), pattern_ranks_[pattern].end());
    if (found_.size() > 1)
        std::sort(ranks_.begin(), ranks_.end());
    for (const std::uint32_t rank : ranks_)
        matches_.push_back(entries_[rank]);
    return matches_;
}

}  // namespace alerts
