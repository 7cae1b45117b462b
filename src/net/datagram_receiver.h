#pragma once
// A log window's UDP side: takes datagrams on the addresses and port its TCP listener takes
// senders on, reads them in batches on the GUI thread and hands them on with each sender's address.

#include "platform/peer_address.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace net {

struct Datagram {
    // May be empty: a sender can send a datagram without bytes.
    std::string_view bytes;
    platform::PeerAddress sender;
};

// Non-blocking sockets watched on the event loop of the GUI thread, no threads. Each read event
// takes what waits, batch by batch, until a budget is spent, so painting and input get their
// turn during a flood; the sockets stay readable and the next turn takes the rest.
class DatagramReceiver : public QObject {
    Q_OBJECT

public:
    // The most bytes a datagram is handed on with: every UDP payload fits (IPv4 carries at most
    // 65,507, IPv6 65,527). A longer one, only an IPv6 jumbogram could be, arrives cut to this.
    static constexpr std::size_t max_datagram = 65535;

    explicit DatagramReceiver(QObject* parent = nullptr);
    ~DatagramReceiver() override;

    // Binds UDP on the low 16 bits of port (0: the system chooses) on the addresses a
    // TServerSocket with local_only listens on, and starts reading. Raises ESocketError with the
    // listener's messages (bind failures, an open receiver) and then leaves nothing open.
    void open(std::int32_t port, bool local_only);
    // Closes the sockets; nothing is delivered afterwards. May be called from on_datagrams.
    void close();
    bool is_open() const noexcept { return !sockets_.empty(); }

    // The bound descriptors, the first the main one: for reading their addresses or options.
    std::vector<int> socket_handles() const;

    // Datagrams the kernel dropped since open because the receive buffer was full (or they
    // failed its checks), as of the end of the last read event.
    std::int64_t dropped() const noexcept { return dropped_; }

    // Called with each batch one receive took, in arrival order; the views are valid during the
    // call. The handler may close or destroy the receiver; while it runs a nested event loop,
    // reading waits until it returns (the kernel buffers meanwhile and counts what it drops).
    std::function<void(std::span<const Datagram> batch)> on_datagrams;

signals:
    // dropped() grew; raised once per read event at most.
    void dropped_changed();

private:
    struct Socket;
    struct Batch;

    void read_ready(Socket& socket);
    void read_pending(Socket& socket);
    // Hands a batch to on_datagrams; false when the handler closed or destroyed the receiver.
    bool deliver(std::span<const Datagram> batch);

    std::vector<std::unique_ptr<Socket>> sockets_;
    // Kept from the first open on; a running handler holds it too, so its views outlive a close
    // or the receiver itself.
    std::shared_ptr<Batch> batch_;
    std::int64_t dropped_ = 0;
    // Counts closes, so code that ran a handler can tell whether the sockets it read are gone.
    std::uint64_t closes_ = 0;
    bool delivering_ = false;
    // A socket became readable inside a handler's nested loop and waits for the handler to return.
    bool held_back_ = false;
    // Expires with this object, so code that ran a handler can tell whether it still exists.
    std::shared_ptr<char> alive_;
};

}  // namespace net
