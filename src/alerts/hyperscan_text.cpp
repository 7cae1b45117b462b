// Hyperscan databases, and texts scanned once for their lines.

#include "alerts/hyperscan_text.h"

#include <hs/hs.h>

#include <algorithm>
#include <climits>

namespace alerts {

HyperscanDatabase::HyperscanDatabase(hs_database_t* database) : database_(database)
{
    if (database_ != nullptr && hs_alloc_scratch(database_, &scratch_) != HS_SUCCESS) {
        hs_free_database(database_);
        database_ = nullptr;
        scratch_ = nullptr;
    }
}

HyperscanDatabase::~HyperscanDatabase()
{
    hs_free_scratch(scratch_);
    hs_free_database(database_);
}

HyperscanDatabase::HyperscanDatabase(HyperscanDatabase&& other) noexcept
    : database_(std::exchange(other.database_, nullptr)), scratch_(std::exchange(other.scratch_, nullptr))
{
}

HyperscanDatabase& HyperscanDatabase::operator=(HyperscanDatabase&& other) noexcept
{
    std::swap(database_, other.database_);
    std::swap(scratch_, other.scratch_);
    return *this;
}

bool TextScan::scan(const HyperscanDatabase& database, std::string_view text)
{
    clear();
    if (!database || text.empty() || text.size() > UINT_MAX)
        return false;
    // Each report costs a call; a pattern found nearly everywhere would make the scan dearer than
    // scanning line by line, which is then done instead.
    struct Reports {
        std::vector<std::pair<std::size_t, std::uint32_t>>& ends;
        std::size_t budget;
    } reports{ends_, text.size() / 4 + 256};
    const auto note = [](unsigned id, unsigned long long, unsigned long long to, unsigned, void* context) -> int {
        auto& found = *static_cast<Reports*>(context);
        if (found.ends.size() >= found.budget)
            return 1;
        found.ends.emplace_back(static_cast<std::size_t>(to), id);
        return 0;
    };
    if (hs_scan(database.database(), text.data(), static_cast<unsigned>(text.size()), 0, database.scratch(), note,
                &reports) != HS_SUCCESS) {
        ends_.clear();
        return false;
    }
    std::sort(ends_.begin(), ends_.end());
    text_ = text;
    return true;
}

void TextScan::clear()
{
    text_ = {};
    ends_.clear();
}

void TextScan::patterns_in(std::string_view line, std::vector<std::uint32_t>& out) const
{
    // A match in the line ends after one of its bytes; one that ends there but began on an
    // earlier line is a prefilter's guess at most.
    const auto begin = static_cast<std::size_t>(line.data() - text_.data());
    for (auto end = std::lower_bound(ends_.begin(), ends_.end(), std::pair{begin + 1, std::uint32_t{0}});
         end != ends_.end() && end->first <= begin + line.size(); ++end)
        out.push_back(end->second);
}

}  // namespace alerts
