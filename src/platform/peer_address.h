#pragma once
// A sender's network address as lines keep it: IPv6, with IPv4 held in its mapped form
// (::ffff:a.b.c.d), so both fit one 16-byte value that compares and hashes as bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct sockaddr;

namespace platform {

struct PeerAddress {
    std::array<std::uint8_t, 16> bytes{};
    // False for lines nobody sent (typed by the user, or from a file).
    bool known = false;

    // The address of an AF_INET or AF_INET6 socket address; unknown for any other family.
    static PeerAddress from_socket_address(const sockaddr& address);
    // "192.168.1.5" for IPv4 and mapped IPv4, "fd00::1" for IPv6, empty when unknown.
    std::string text() const;

    friend bool operator==(const PeerAddress&, const PeerAddress&) = default;
};

}  // namespace platform
