#pragma once
// One accepted connection of a listening TServerWinSocket.

#include "net/tcustomwinsocket.h"

#include <memory>

namespace net {

class TServerWinSocket;

// Created and listed by its TServerWinSocket. Shared ownership lets a running handler keep the
// object valid even when a nested modal loop removes it from the list meanwhile.
class TServerClientWinSocket final : public TCustomWinSocket,
                                     public std::enable_shared_from_this<TServerClientWinSocket> {
    struct Key {
        explicit Key() = default;
    };

public:
    TServerClientWinSocket(Key, int handle, TServerWinSocket& server);
    ~TServerClientWinSocket() override;

    // The listening object this connection belongs to; nullptr once it has been removed from its list.
    TServerWinSocket* ServerWinSocket() const noexcept { return server_; }

private:
    friend class TServerWinSocket;

    // Offers what the peer sent before it was accepted, and its close if that came too, as
    // readiness would; the connection is watched on the event loop only if it is still open.
    void read_pending_then_watch();

    void notify(TSocketNotification kind) override;
    void report_error(TErrorEvent kind, int32_t& code) override;
    void read_ready(int handle) override;
    void write_ready(int handle) override;

    // Raises snRead and tracks whether the handler read anything.
    void dispatch_read();
    void finish_read(bool outer_received);
    // Unlinks from the listener: no further events, descriptor closed.
    void detach();

    TServerWinSocket* server_;
    // Read handlers of this connection currently running (more than one only in nested loops).
    int reading_depth_ = 0;
    // Closed; its listener destroys it on a later turn of the loop.
    bool destruction_requested_ = false;
};

}  // namespace net
