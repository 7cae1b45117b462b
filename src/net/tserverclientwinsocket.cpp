// Reading side of one accepted connection: turns readiness into OnClientRead, the peer's close
// into OnClientDisconnect and a reset into the connection's error followed by its close.

#include "net/tserverclientwinsocket.h"

#include "net/tserverwinsocket.h"
#include "platform/error_report.h"

#include <cerrno>

#include <sys/socket.h>

namespace net {

TServerClientWinSocket::TServerClientWinSocket(Key, int handle, TServerWinSocket& server)
    : TCustomWinSocket(handle, server.readiness_.get()), server_(&server)
{
}

TServerClientWinSocket::~TServerClientWinSocket() = default;

void TServerClientWinSocket::notify(TSocketNotification kind)
{
    if (server_ != nullptr)
        server_->client_notify(*this, kind);
}

void TServerClientWinSocket::report_error(TErrorEvent kind, int32_t& code)
{
    if (server_ != nullptr)
        server_->client_error(*this, kind, code);
}

void TServerClientWinSocket::read_pending_then_watch()
{
    // A sender that connects, writes a line and closes has mostly done all three by the time it
    // is accepted. Read at once, in accept order, such a connection never costs a watch on the
    // event loop (registering one is linear in the descriptors watched) nor further loop turns.
    // A handler that runs a nested loop meanwhile gets the watch started inside it by the
    // listener, so the connection goes on being served there.
    const std::shared_ptr<TServerClientWinSocket> self = shared_from_this();
    defer_watching();
    read_ready(handle_);
    // Everything read and nobody watching yet: the close may be waiting right behind the bytes.
    if (watching_deferred() && connected_ && AvailableByteCount() == 0)
        read_ready(handle_);
    start_deferred_watching();
}

void TServerClientWinSocket::read_ready(int handle)
{
    // Handlers may run nested loops that remove this connection from its list; it must stay
    // valid until they have returned here.
    const std::shared_ptr<TServerClientWinSocket> self = shared_from_this();
    if (reading_depth_ > 0 && !received_) {
        // This connection's handler opened a nested loop before reading: calling it again for the
        // same bytes would nest without end. The next receive lets readiness through again.
        suspend_reads();
        return;
    }
    platform::guarded(
        [&] {
            if (handle != handle_ || !connected_)
                return;
            if (AvailableByteCount() == 0) {
                // Nothing unread: the readiness is the peer's close, an error, or nothing at all.
                // The close is seen only here, so every byte before it has been offered already.
                char probe = 0;
                const ssize_t peeked = ::recv(handle, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
                if (peeked == 0) {
                    close_socket(handle);
                    return;
                }
                if (peeked < 0) {
                    const int code = errno;
                    if (code == EAGAIN || code == EWOULDBLOCK || code == EINTR)
                        return;
                    // A reset: reported once, then closed and forgotten like a peer's close. Kept
                    // open it would hold a descriptor until the window closes.
                    if (const int32_t error_code = close_after_error(handle, ekDisconnect, code); error_code != 0)
                        throw ESocketError(async_socket_error_message(error_code));
                    return;
                }
            }
            dispatch_read();
        },
        platform::ErrorSource::Network);
}

void TServerClientWinSocket::write_ready(int handle)
{
    const std::shared_ptr<TServerClientWinSocket> self = shared_from_this();
    platform::guarded(
        [&] {
            if (handle == handle_ && connected_)
                dispatch_read();
        },
        platform::ErrorSource::Network);
}

void TServerClientWinSocket::dispatch_read()
{
    const bool outer_received = received_;
    received_ = false;
    ++reading_depth_;
    try {
        notify(snRead);
    } catch (...) {
        finish_read(outer_received);
        throw;
    }
    finish_read(outer_received);
}

void TServerClientWinSocket::finish_read(bool outer_received)
{
    --reading_depth_;
    // A handler that left the bytes unread is not called again for them until something reads;
    // level-triggered readiness would otherwise call it in a busy loop.
    if (!received_)
        suspend_reads();
    received_ = outer_received;
}

void TServerClientWinSocket::detach()
{
    server_ = nullptr;
    close_silently();
}

}  // namespace net
