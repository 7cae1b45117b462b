#pragma once
// Test helpers: addresses of this machine a sender could connect to (loopback and not, IPv4 and
// IPv6), and whether a listener takes a connection there.

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace local_addresses {

// A socket address whose port is set when connecting.
struct Host {
    sockaddr_storage address{};

    int family() const { return address.ss_family; }
    socklen_t length() const { return family() == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in); }
    sockaddr_storage with_port(unsigned short port) const
    {
        sockaddr_storage target = address;
        if (family() == AF_INET6)
            reinterpret_cast<sockaddr_in6*>(&target)->sin6_port = htons(port);
        else
            reinterpret_cast<sockaddr_in*>(&target)->sin_port = htons(port);
        return target;
    }
    // "127.0.0.1", "::1": for failure messages.
    std::string text() const
    {
        char buffer[INET6_ADDRSTRLEN] = {};
        const void* raw = family() == AF_INET6
                              ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr)
                              : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&address)->sin_addr);
        ::inet_ntop(family(), raw, buffer, sizeof buffer);
        return buffer;
    }
};

inline Host host_of(const sockaddr* address)
{
    Host host;
    std::memcpy(&host.address, address, address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
    return host;
}

inline Host ipv4_loopback()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return host_of(reinterpret_cast<const sockaddr*>(&address));
}

inline Host ipv6_loopback()
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    return host_of(reinterpret_cast<const sockaddr*>(&address));
}

// True where the kernel has IPv6: ::1 can be bound.
inline bool has_ipv6()
{
    const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    const Host loopback = ipv6_loopback();
    const bool bound = ::bind(probe, reinterpret_cast<const sockaddr*>(&loopback.address), loopback.length()) == 0;
    ::close(probe);
    return bound;
}

// An address of one of this machine's interfaces that is up and isn't loopback, IPv4 first
// (link-local IPv6 is left out: it needs an interface named with it). Nothing when there is none.
inline std::optional<Host> non_loopback_address()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<Host> found;
    for (const int family : {AF_INET, AF_INET6}) {
        for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != family || (entry->ifa_flags & IFF_UP) == 0
                || (entry->ifa_flags & IFF_LOOPBACK) != 0)
                continue;
            if (family == AF_INET6
                && IN6_IS_ADDR_LINKLOCAL(&reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr))
                continue;
            found = host_of(entry->ifa_addr);
        }
    }
    ::freeifaddrs(list);
    return found;
}

// A blocking connection, as a log sender makes it.
class Connection {
public:
    Connection(const Host& host, unsigned short port) : fd(::socket(host.family(), SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const sockaddr_storage target = host.with_port(port);
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), host.length()) == 0;
        if (!connected)
            error = errno;
    }
    ~Connection() { ::close(fd); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool send(const std::string& bytes) const
    {
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    int fd;
    bool connected = false;
    int error = 0;  // errno of a failed connect
};

}  // namespace local_addresses
