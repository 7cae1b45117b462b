// The refusal ring and the reasons' texts.

#include "channel/refusals.h"

#include <algorithm>

namespace channel {

QString reason_text(const Refusal& refusal)
{
    switch (refusal.reason) {
    case RefusalReason::not_accepted:
        return QStringLiteral("not in Accept from");
    case RefusalReason::too_many_connections:
        return QStringLiteral("too many connections");
    case RefusalReason::unfinished_budget:
        return QStringLiteral("too much unfinished text");
    case RefusalReason::tls:
        return refusal.detail;
    }
    return {};
}

namespace {

// Where the refusal numbered `number` (from 0, over every refusal so far) lies in the ring.
std::size_t slot(std::int64_t number)
{
    return static_cast<std::size_t>(number % static_cast<std::int64_t>(Refusals::kept));
}

}  // namespace

void Refusals::add(const Refusal& refusal)
{
    ring_[slot(count_)] = refusal;
    ++count_;
}

std::vector<Refusal> Refusals::newest_first() const
{
    std::vector<Refusal> refusals;
    for (std::int64_t number = count_ - 1; number >= std::max<std::int64_t>(0, count_ - std::int64_t{kept}); --number)
        refusals.push_back(ring_[slot(number)]);
    return refusals;
}

}  // namespace channel
