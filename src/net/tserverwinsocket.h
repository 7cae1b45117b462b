#pragma once
// The listening socket object of a TServerSocket: accepts connections and keeps the list of them.

#include "net/readiness_set.h"
#include "net/tcustomwinsocket.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace net {

class TServerSocket;
class TServerClientWinSocket;

// Owned by its TServerSocket and created with it. It owns the connection list; a connection's
// memory may outlive its place in the list while one of its own handlers is still running.
class TServerWinSocket final : public TCustomWinSocket {
public:
    explicit TServerWinSocket(TServerSocket& component);
    ~TServerWinSocket() override;

    // Number of listed connections, including closed ones awaiting their deferred destruction.
    int32_t ActiveConnections() const noexcept;
    // The connection at index in accept order; nullptr when index is out of range.
    TServerClientWinSocket* Connections(int32_t index) const noexcept;

private:
    friend class TServerSocket;
    friend class TServerClientWinSocket;

    class ExtraListener;

    // Binds every local address, or the loopback addresses only (see bind_listening_sockets), on
    // the service's port if service is non-empty, else on port, and listens with the longest
    // accept queue the system allows. Raises ESocketError; on failure no descriptor is left open.
    void listen(const std::string& service, uint16_t port, bool local_only);
    // Destroys every connection, last first and without events, then closes the listening sockets.
    void close_listener();

    void notify(TSocketNotification kind) override;
    void report_error(TErrorEvent kind, int32_t& code) override;
    void read_ready(int handle) override;
    // Lists and reports, one by one, the connections a listening descriptor accepted. What is
    // left when a handler tears the listener down (or fails) is closed unreported.
    void adopt_connections(const std::vector<int>& client_handles);
    void adopt_connection(int client_handle);
    // Lets a nested loop opened while connections are read at accept start watching them.
    void request_deferred_watching();

    // Routing for connections (their notifications and errors reach the component's OnClient* events).
    void client_notify(TServerClientWinSocket& client, TSocketNotification kind);
    void client_error(TServerClientWinSocket& client, TErrorEvent kind, int32_t& code);
    void request_destruction(TServerClientWinSocket& client);
    void destroy_requested_connections();
    void post_write_readiness(TServerClientWinSocket& client);
    // Every connection, last first, without events.
    void destroy_connections();
    // Queues work for a later turn unless work of its kind (its flag says so) is queued already.
    template <typename Work>
    void queue_once(bool& queued, Work work);

    TServerSocket& component_;
    // Where the connections are watched, from listening to closing; it outlives each one's
    // watching.
    std::unique_ptr<ReadinessSet> readiness_;
    std::vector<std::shared_ptr<TServerClientWinSocket>> connections_;
    // Listening descriptors beside the main one (::1 beside 127.0.0.1); their connections join
    // the one list.
    std::vector<std::unique_ptr<ExtraListener>> extra_listeners_;
    // Receiver of deferred requests; destroying it with this object drops whatever is still queued.
    std::unique_ptr<QObject> context_;
    // Whether a destruction of closed connections, or a request to start deferred watching, is queued.
    bool destruction_queued_ = false;
    bool deferred_watching_queued_ = false;
    // Expires with this object, so code that raised an event can tell whether it still exists.
    std::shared_ptr<char> alive_;
};

}  // namespace net
