#pragma once
// Senders a window turned away: how many, and the last ones with when and why, in a bounded
// ring so a flood of refused senders costs nothing more than the ring.

#include "lines/line_times.h"
#include "platform/peer_address.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace channel {

enum class RefusalReason {
    not_accepted,  // not in the window's "Accept from"
    too_many_connections,
    tls,  // the TLS handshake refused the sender; the refusal's detail says why
    // A syslog connection's unfinished message took the window's together past their budget.
    unfinished_budget,
};

struct Refusal {
    lines::ArrivalTime time = lines::no_arrival_time;
    platform::PeerAddress sender;
    RefusalReason reason = RefusalReason::not_accepted;
    // For tls: "no certificate", "certificate not signed by the CA", "fingerprint not listed"
    // or "TLS handshake failed: " and why.
    QString detail{};
};

// "not in Accept from", "too many connections", "too much unfinished text", or a TLS refusal's
// detail.
QString reason_text(const Refusal& refusal);

class Refusals {
public:
    // The most refusals remembered; older ones only count.
    static constexpr std::size_t kept = 100;

    void add(const Refusal& refusal);
    // Every refusal so far, remembered or not.
    std::int64_t count() const { return count_; }
    // The remembered ones, newest first.
    std::vector<Refusal> newest_first() const;

private:
    std::array<Refusal, kept> ring_{};
    std::int64_t count_ = 0;
};

}  // namespace channel
