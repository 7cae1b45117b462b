#pragma once
// Base of the listener's socket objects: one OS socket watched on the GUI event loop, and the
// reading operations an OnClientRead handler calls on the connection it was given.

#include "net/socket_errors.h"
#include "platform/peer_address.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace net {

class ReadinessSet;

// What a socket object tells its owner (values as the notification kinds are numbered).
enum TSocketNotification {
    snLookup = 0,
    snConnecting = 1,
    snConnect = 2,
    snDisconnect = 3,
    snListen = 4,
    snAccept = 5,
    snWrite = 6,
    snRead = 7,
};

// Which readiness an error code arrived with.
enum TErrorEvent {
    ekGeneral = 0,
    ekSend = 1,
    ekReceive = 2,
    ekConnect = 3,
    ekDisconnect = 4,
    ekAccept = 5,
};

class TCustomWinSocket {
public:
    virtual ~TCustomWinSocket();
    TCustomWinSocket(const TCustomWinSocket&) = delete;
    TCustomWinSocket& operator=(const TCustomWinSocket&) = delete;

    // The OS descriptor this object wraps; -1 when it has none.
    int SocketHandle() const noexcept { return handle_; }
    // True while the descriptor is open (connections from accept on, the listener after listen).
    bool Connected() const noexcept { return connected_; }

    // The peer's address (getpeername); unknown when there is none.
    platform::PeerAddress RemoteAddress() const;
    // The same for a connected descriptor that has no socket object (yet).
    static platform::PeerAddress RemoteAddressOf(int handle);
    // Bytes the OS holds unread (FIONREAD); 0 when not connected or the query fails.
    int32_t AvailableByteCount();
    // One non-blocking receive of at most count bytes. count -1 answers AvailableByteCount instead.
    // Returns the OS result: -1 when nothing could be read yet; 0 when not connected.
    // Any other failure reports ekReceive, closes the connection (OnClientDisconnect, deferred
    // destruction) and raises ESocketError with "recv" unless an OnClientError handler cleared it.
    int32_t ReadBytes(void* buffer, int32_t count);
    // Everything pending at the moment of the call as raw bytes (NUL bytes included, no decoding).
    std::string ReadAvailableText();
    // A handler that receives from SocketHandle() itself (a TLS session does) tells the socket it
    // read, as ReadBytes does, so that readiness goes on being offered.
    void NoteReceived() noexcept { received_ = true; }
    // Such a handler of a connection that also writes there and found the socket full (a TLS
    // handshake's answer) is offered one more read event once the socket takes bytes again,
    // whether or not the peer sent anything meanwhile: a peer that waits for the whole answer
    // sends nothing. Writability is watched only until then: a socket is nearly always
    // writable, and watching it for good would wake the event loop without end.
    void ReadWhenWritable();
    // An orderly close from our side: OnClientDisconnect, then the descriptor closes; the
    // listener destroys the object on a later turn of the loop.
    void Close() { close_socket(handle_); }

protected:
    // handle -1: no OS socket yet (the listener); a valid handle: an accepted connection.
    // readiness: where the descriptor is watched (a listener's connections share one set);
    // null: by a notifier of its own.
    explicit TCustomWinSocket(int handle, ReadinessSet* readiness = nullptr);

    // Routing of notifications and errors to whoever owns this object; report_error may clear code.
    virtual void notify(TSocketNotification kind) = 0;
    virtual void report_error(TErrorEvent kind, int32_t& code) = 0;
    // Called from the event loop when the watched descriptor becomes readable (or errs/hangs up).
    virtual void read_ready(int handle) = 0;
    // Called from the event loop once after ReadWhenWritable, when the descriptor takes bytes.
    virtual void write_ready(int handle);

    // Orderly close of handle if it is still the current one: snDisconnect first, then the OS close.
    // Watching stops before the notification, so a nested loop cannot report the same close twice.
    void close_socket(int handle);
    // Closes without any notification; used when the object is being torn down.
    void close_silently();
    // A connection whose readiness or receive failed with `code`: the error is reported (kind),
    // then the connection closes as if the peer had ended it (snDisconnect, descriptor closed),
    // so a failed connection never holds its descriptor. Returns the code a handler left.
    int32_t close_after_error(int handle, TErrorEvent kind, int32_t code);

    void start_watching();
    void stop_watching();
    // Watching held back while a fresh connection is read at once; start_deferred_watching
    // starts it if it is still held back and the connection open (stop_watching cancels it).
    void defer_watching() { watching_deferred_ = true; }
    bool watching_deferred() const noexcept { return watching_deferred_; }
    void start_deferred_watching();
    // Read readiness held back until the next receive, so a handler is not called again for
    // bytes it has not read yet. Only off the fast path: toggling a notifier costs the event
    // loop a full extra iteration.
    void suspend_reads();
    void resume_reads();
    // Takes the connections waiting on this listening descriptor, until none waits or a batch
    // was taken (a flood of connects can't hold the GUI thread; readiness brings the rest on the
    // next turn). Their new descriptors are non-blocking and close-on-exec. Out of descriptors
    // the peers stay queued and readiness pauses a moment: watching a socket that stays readable
    // would spin the event loop.
    std::vector<int> accept_waiting();

    int handle_ = -1;
    bool connected_ = false;
    // Set by every receive; read handlers save and clear it to learn whether they read.
    bool received_ = false;

private:
    friend class ReadinessSet;

    // The write readiness ReadWhenWritable waits for, reported once.
    void report_writable(int handle);
    // Tells the readiness set what is watched now.
    void update_readiness();

    ReadinessSet* readiness_ = nullptr;
    // Watched, through the readiness set or the notifier.
    bool watching_ = false;
    bool write_wanted_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool reads_suspended_ = false;
    bool watching_deferred_ = false;
};

}  // namespace net
