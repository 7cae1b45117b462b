#pragma once
// Hyperscan for the alert check: a compiled database with its scratch, and a text of many lines
// scanned once, asked line by line afterwards. One scan of a read's lines costs a fraction of a
// scan a line, since each scan has a set-up cost of its own.

#include <hs/hs_common.h>
#include <hs/hs_runtime.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace alerts {

// A database and its scratch; empty when none could be made.
class HyperscanDatabase {
public:
    HyperscanDatabase() = default;
    // Takes the database and gives it a scratch; empty when that fails.
    explicit HyperscanDatabase(hs_database_t* database);
    ~HyperscanDatabase();
    HyperscanDatabase(HyperscanDatabase&& other) noexcept;
    HyperscanDatabase& operator=(HyperscanDatabase&& other) noexcept;
    HyperscanDatabase(const HyperscanDatabase&) = delete;
    HyperscanDatabase& operator=(const HyperscanDatabase&) = delete;

    explicit operator bool() const { return database_ != nullptr; }
    hs_database_t* database() const { return database_; }
    hs_scratch_t* scratch() const { return scratch_; }

private:
    hs_database_t* database_ = nullptr;
    hs_scratch_t* scratch_ = nullptr;
};

// Where, in a text of lines separated by line feeds, the patterns of a database were reported
// to end.
class TextScan {
public:
    // Scans text; false, holding nothing, when the database is empty, the text too long, or the
    // patterns are reported so often that scanning line by line costs less.
    bool scan(const HyperscanDatabase& database, std::string_view text);
    void clear();
    // Whether line lies in the scanned text.
    bool holds(std::string_view line) const
    {
        return !text_.empty() && line.data() >= text_.data() && line.data() + line.size() <= text_.data() + text_.size();
    }
    // Appends the patterns reported to end in line (one that lies in the text), in the order of
    // their ends; a pattern may come more than once.
    void patterns_in(std::string_view line, std::vector<std::uint32_t>& out) const;

private:
    std::string_view text_;
    std::vector<std::pair<std::size_t, std::uint32_t>> ends_;
};

}  // namespace alerts
