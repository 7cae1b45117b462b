#pragma once
// Test helpers: loopback connections made with plain blocking sockets (usable from any
// thread), and a check that a child process has been reaped.

#include <QtGlobal>

#include <cerrno>
#include <string_view>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace loopback {

// A port nothing listens on at the moment.
inline quint16 free_port()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

class Sender {
public:
    explicit Sender(quint16 port) : fd(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Sender() { close(fd); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    bool send(std::string_view bytes) const
    {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    // Ends the connection with a reset instead of an orderly close when the sender goes, as
    // when a sending program is killed or its network drops.
    void reset_on_close() const
    {
        const linger abort_on_close{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    }

    // True when the other side has closed the connection: reading finds its end (or its
    // reset, when bytes sent were never read). Doesn't wait.
    bool closed_by_peer() const
    {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0)
            return false;
        char byte = 0;
        const ssize_t read = recv(fd, &byte, 1, MSG_DONTWAIT);
        return read == 0 || (read < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

    // The connection's descriptor, for a protocol spoken over it (TLS).
    int handle() const { return fd; }

    bool connected = false;

private:
    int fd;
};

inline bool accepts_connections(quint16 port)
{
    return Sender(port).connected;
}

// True once nobody can collect pid any more (WNOWAIT leaves a zombie in place).
inline bool reaped(pid_t pid)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
}

}  // namespace loopback
