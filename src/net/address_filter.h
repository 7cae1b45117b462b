#pragma once
// Who may send to a window: the addresses and networks of its "Accept from" field, parsed from
// what the user typed and matched against each sender.

#include "platform/peer_address.h"

#include <QString>

#include <array>
#include <cstdint>
#include <variant>
#include <vector>

namespace net {

class AddressFilter {
public:
    // Lets everyone send.
    AddressFilter() = default;

    // Addresses and networks (IPv4 or IPv6, each with an optional prefix length) separated by
    // commas, e.g. "192.168.1.0/24, 10.0.0.5, fd00::/8"; blanks around them and empty entries
    // don't count, and a text without entries lets everyone send. The first malformed entry
    // gives the message naming it instead.
    static std::variant<AddressFilter, QString> parse(const QString& text);
    // Lets nobody send: for a stored text that no longer parses.
    static AddressFilter nobody();

    bool allows(const platform::PeerAddress& sender) const;
    bool allows_everyone() const { return networks_.empty() && !refuses_everyone_; }

private:
    struct Network {
        // IPv4 in its mapped form, as senders arrive; the bits after the prefix are zero.
        std::array<std::uint8_t, 16> bytes{};
        int prefix = 128;
    };

    std::vector<Network> networks_;
    bool refuses_everyone_ = false;
};

}  // namespace net
