#pragma once
// Test helpers: addresses of this machine a sender could connect to (loopback and not, IPv4 and
// IPv6, written as text), blocking connections to them, and what a listener's descriptors hold.

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

#include <arpa/inet.h>
#include <dirent.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace local_addresses {

// "127.0.0.1" or "::1" with port, as a socket address of the right family and length.
struct SocketAddress {
    SocketAddress(const std::string& text, unsigned short port)
    {
        auto* ipv4 = reinterpret_cast<sockaddr_in*>(&storage);
        auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&storage);
        if (::inet_pton(AF_INET, text.c_str(), &ipv4->sin_addr) == 1) {
            ipv4->sin_family = AF_INET;
            ipv4->sin_port = htons(port);
            length = sizeof *ipv4;
        } else {
            ::inet_pton(AF_INET6, text.c_str(), &ipv6->sin6_addr);
            ipv6->sin6_family = AF_INET6;
            ipv6->sin6_port = htons(port);
            length = sizeof *ipv6;
        }
    }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }

    sockaddr_storage storage{};
    socklen_t length = 0;
};

// The port a descriptor is bound to.
inline std::uint16_t bound_port(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    // The port sits at the same place in both families' addresses.
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

// Descriptors this process holds, so a test can tell that a failure left none open.
inline int open_descriptors()
{
    int count = 0;
    DIR* folder = ::opendir("/proc/self/fd");
    while (::readdir(folder) != nullptr)
        ++count;
    ::closedir(folder);
    return count;
}

// A blocking connect, as a log sender makes it: the connected descriptor, or -errno.
inline int connect_to(const std::string& address, unsigned short port)
{
    const SocketAddress target(address, port);
    const int handle = ::socket(target.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(handle, target.get(), target.length) == 0)
        return handle;
    const int error = errno;
    ::close(handle);
    return -error;
}

// Whether a listener on port takes a connection at address; the attempt is closed again.
inline bool accepts_at(const std::string& address, unsigned short port)
{
    const int handle = connect_to(address, port);
    if (handle >= 0)
        ::close(handle);
    return handle >= 0;
}

// True where the kernel has IPv6: ::1 can be bound.
inline bool has_ipv6()
{
    const SocketAddress loopback("::1", 0);
    const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool bound = probe >= 0 && ::bind(probe, loopback.get(), loopback.length) == 0;
    ::close(probe);
    return bound;
}

// An address of an interface of this machine that is up and isn't loopback, IPv4 first
// (link-local IPv6 is left out: it needs an interface named with it). Nothing when there is none.
inline std::optional<std::string> non_loopback_address()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<std::string> found;
    for (const int family : {AF_INET, AF_INET6}) {
        for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != family || (entry->ifa_flags & IFF_UP) == 0
                || (entry->ifa_flags & IFF_LOOPBACK) != 0)
                continue;
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            const void* raw = family == AF_INET ? static_cast<const void*>(&ipv4->sin_addr)
                                                : static_cast<const void*>(&ipv6->sin6_addr);
            if (family == AF_INET6 && IN6_IS_ADDR_LINKLOCAL(static_cast<const in6_addr*>(raw)))
                continue;
            char text[INET6_ADDRSTRLEN] = {};
            found = ::inet_ntop(family, raw, text, sizeof text);
        }
    }
    ::freeifaddrs(list);
    return found;
}

}  // namespace local_addresses
