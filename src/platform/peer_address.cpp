// Socket addresses to and from the one form lines keep.

#include "platform/peer_address.h"

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {

namespace {

constexpr std::array<std::uint8_t, 12> mapped_prefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool is_mapped_ipv4(const std::array<std::uint8_t, 16>& bytes)
{
    return std::memcmp(bytes.data(), mapped_prefix.data(), mapped_prefix.size()) == 0;
}

}  // namespace

PeerAddress PeerAddress::from_socket_address(const sockaddr& address)
{
    PeerAddress peer;
    if (address.sa_family == AF_INET) {
        sockaddr_in ipv4{};
        std::memcpy(&ipv4, &address, sizeof ipv4);
        std::memcpy(peer.bytes.data(), mapped_prefix.data(), mapped_prefix.size());
        std::memcpy(peer.bytes.data() + mapped_prefix.size(), &ipv4.sin_addr, 4);
        peer.known = true;
    } else if (address.sa_family == AF_INET6) {
        sockaddr_in6 ipv6{};
        std::memcpy(&ipv6, &address, sizeof ipv6);
        std::memcpy(peer.bytes.data(), &ipv6.sin6_addr, peer.bytes.size());
        peer.known = true;
    }
    return peer;
}

std::string PeerAddress::text() const
{
    if (!known)
        return {};
    char buffer[INET6_ADDRSTRLEN] = {};
    if (is_mapped_ipv4(bytes))
        ::inet_ntop(AF_INET, bytes.data() + mapped_prefix.size(), buffer, sizeof buffer);
    else
        ::inet_ntop(AF_INET6, bytes.data(), buffer, sizeof buffer);
    return buffer;
}

}  // namespace platform
