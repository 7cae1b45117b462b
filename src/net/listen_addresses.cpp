// Binding a listener's descriptors to every address or to the loopback addresses, falling back to
// IPv4 where the kernel has no IPv6.
//
// Local only takes two sockets, 127.0.0.1 and ::1: an IPv6 socket is bound to one address, ::1
// never receives IPv4 peers, and the one IPv6 address that would (::) receives every other
// computer's too. Checking the peer after accept would be too late: the remote sender's
// connection would already stand. Bound to loopback only, the kernel refuses it outright.

#include "net/listen_addresses.h"

#include "net/socket_errors.h"

#include <cerrno>
#include <optional>
#include <type_traits>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

// Closes what it holds unless handed over, so a failure half-way leaves nothing open.
struct Descriptors {
    Descriptors() = default;
    Descriptors(const Descriptors&) = delete;
    Descriptors& operator=(const Descriptors&) = delete;
    ~Descriptors()
    {
        for (const int handle : handles)
            ::close(handle);
    }
    std::vector<int> release() { return std::exchange(handles, {}); }

    std::vector<int> handles;
};

struct Failure {
    bool creating = false;  // the socket call failed, not the bind
    int code = 0;
};

// EAFNOSUPPORT: the kernel was built or booted without IPv6; EADDRNOTAVAIL: IPv6 is switched off
// on the interfaces, so ::1 (or ::) isn't there to bind.
bool no_ipv6(const Failure& failure)
{
    return failure.code == EAFNOSUPPORT || failure.code == EADDRNOTAVAIL;
}

[[noreturn]] void raise(const Failure& failure)
{
    if (failure.creating)
        throw ESocketError(kCannotCreateSocket, failure.code);
    throw ESocketError(socket_api_error_message(failure.code, "bind"), failure.code);
}

template <typename Address>
std::optional<Failure> open_bound(int type, const Address& address, Descriptors& bound)
{
    const auto* const generic = reinterpret_cast<const sockaddr*>(&address);
    const int handle = ::socket(generic->sa_family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return Failure{true, errno};
    bound.handles.push_back(handle);
    // Lets a port a closed window left in TIME_WAIT be listened on again at once; Linux still
    // refuses a port that another socket listens on. Datagram ports know no TIME_WAIT, and there
    // the option would let a second window bind the same port and take the first one's senders.
    if (type == SOCK_STREAM) {
        const int on = 1;
        ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if constexpr (std::is_same_v<Address, sockaddr_in6>) {
        // The wildcard takes IPv4 peers as well, whatever the system default (bindv6only) says.
        const int v6only = IN6_IS_ADDR_UNSPECIFIED(&address.sin6_addr) ? 0 : 1;
        ::setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
    }
    if (::bind(handle, generic, sizeof address) != 0) {
        const int code = errno;
        ::close(handle);
        bound.handles.pop_back();
        return Failure{false, code};
    }
    return std::nullopt;
}

uint16_t bound_port(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

}  // namespace

std::vector<int> bind_listening_sockets(int type, bool local_only, uint16_t port)
{
    Descriptors bound;
    // With port 0 the first bind lets the system choose; the second must take the same port.
    const auto next_port = [&] { return htons(bound.handles.empty() ? port : bound_port(bound.handles.front())); };
    const auto bind_ipv4 = [&](in_addr_t host) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = next_port();
        address.sin_addr.s_addr = htonl(host);
        if (const auto failure = open_bound(type, address, bound))
            raise(*failure);
    };
    // False where the kernel has no IPv6.
    const auto bind_ipv6 = [&](const in6_addr& host) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = next_port();
        address.sin6_addr = host;
        const auto failure = open_bound(type, address, bound);
        if (failure && !no_ipv6(*failure))
            raise(*failure);
        return !failure;
    };

    if (local_only) {
        bind_ipv4(INADDR_LOOPBACK);
        bind_ipv6(in6addr_loopback);
    } else if (!bind_ipv6(in6addr_any)) {
        bind_ipv4(INADDR_ANY);
    }
    return bound.release();
}

}  // namespace net
