#pragma once
// The TCP listener a log window owns: listens on one port of every local address (or of the
// loopback addresses only) and hands each batch of arriving bytes to its owner through events
// raised on the GUI thread.

#include "net/socket_errors.h"
#include "net/tcustomwinsocket.h"
#include "net/tserverclientwinsocket.h"
#include "net/tserverwinsocket.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace net {

// Events about one connection. Sender is the listening object (Socket()), not the component;
// Socket is the connection. A connection's address stays the same for its lifetime, so it can
// key per-connection state; it is valid at least until the handler it was passed to returns.
using TSocketNotifyEvent = std::function<void(TServerWinSocket& Sender, TCustomWinSocket& Socket)>;
// ErrorCode may be set to 0 to suppress the "Asynchroner Socket-Fehler" / "recv" exception.
using TSocketErrorEvent = std::function<void(TServerWinSocket& Sender, TCustomWinSocket& Socket,
                                             TErrorEvent ErrorEvent, int32_t& ErrorCode)>;
// OnListen and OnAccept: Sender is the component; Socket the listening object or the new connection.
using TServerSocketNotifyEvent = std::function<void(TServerSocket& Sender, TCustomWinSocket& Socket)>;

// Non-blocking only: no threads, every event comes from the Qt event loop of the GUI thread,
// one at a time in the order the OS reported it. Nested modal loops inside a handler keep
// dispatching events, also for the connection whose handler is running.
class TServerSocket : public QObject {
    Q_OBJECT

public:
    explicit TServerSocket(QObject* parent = nullptr);
    ~TServerSocket() override;

    // Listening state. true: listen on every IPv4 and IPv6 address (or the loopback ones, see
    // LocalOnly) with the system's longest accept queue (SOMAXCONN); raises ESocketError and
    // stays false (no descriptor left open) on failure. false: destroys every connection (last
    // first, no OnClientDisconnect) and closes the listening sockets.
    bool Active() const noexcept { return active_; }
    void SetActive(bool value);

    // Only the low 16 bits reach the socket (65536 -> a system-chosen port, 70000 -> 4464, -1 -> 65535).
    // A different value while active raises ESocketError and keeps the old one.
    int32_t Port() const noexcept { return port_; }
    void SetPort(int32_t value);

    // A service name looked up for "tcp"; when non-empty it replaces Port (unknown name: port 0).
    const std::string& Service() const noexcept { return service_; }
    void SetService(const std::string& value);

    // Only senders on this computer may connect: the loopback addresses 127.0.0.1 and ::1 are
    // listened on instead of every address. A different value while active raises ESocketError.
    bool LocalOnly() const noexcept { return local_only_; }
    void SetLocalOnly(bool value);

    // The listening object with the connection list; it exists as long as the component.
    TServerWinSocket& Socket() noexcept { return *server_socket_; }
    const TServerWinSocket& Socket() const noexcept { return *server_socket_; }

    TServerSocketNotifyEvent OnListen;
    TServerSocketNotifyEvent OnAccept;
    TSocketNotifyEvent OnClientConnect;
    // Raised once when a connection closes (the peer's orderly close, its reset, or a failed
    // receive), before its descriptor is closed and after every byte that came before the close
    // was offered to OnClientRead; after OnClientError when the close was an error.
    TSocketNotifyEvent OnClientDisconnect;
    // Raised while the connection has unread bytes; the handler reads them with ReadAvailableText.
    TSocketNotifyEvent OnClientRead;
    // Raised once on a later loop turn after a connection is accepted (nothing is ever sent), if
    // set when the connection is accepted.
    TSocketNotifyEvent OnClientWrite;
    TSocketErrorEvent OnClientError;
    // Asked with the sender of each accepted connection before anything else happens with it;
    // false closes the connection at once: no other event is raised for it and nothing of it is
    // kept. Unset: every connection is taken.
    std::function<bool(const platform::PeerAddress& sender)> OnAdmit;

private:
    friend class TServerWinSocket;

    // What the listening socket was set up with can't change under it.
    template <typename Value>
    void change_while_inactive(Value& field, const Value& value);

    bool active_ = false;
    int32_t port_ = 0;
    std::string service_;
    bool local_only_ = false;
    std::unique_ptr<TServerWinSocket> server_socket_;
};

}  // namespace net
