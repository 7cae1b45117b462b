// Binding, batch reading and drop counting of a log window's UDP sockets.

#include "net/datagram_receiver.h"

#include "net/listen_addresses.h"
#include "net/socket_errors.h"
#include "platform/error_report.h"

#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <optional>
#include <utility>

#include <linux/sock_diag.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

// Datagrams one receive call takes.
constexpr unsigned batch_size = 64;
// What one read event may take before the event loop gets its turn: a flood must not freeze the
// window, and the kernel buffer holds what waits meanwhile.
constexpr int datagrams_per_event = 2048;
constexpr auto time_per_event = std::chrono::milliseconds(4);
// Bursts of a busy sender outrun the GUI thread for a moment; a large buffer carries them over.
constexpr int receive_buffer_bytes = 32 * 1024 * 1024;
// How long reading pauses after a failed receive, so an error that stays can't spin the loop.
constexpr int failure_pause_ms = 100;

void ask_for_large_receive_buffer(int handle)
{
    // Forcing passes the system's limit (net.core.rmem_max) but needs CAP_NET_ADMIN; without it
    // the kernel gives what the limit allows.
    if (::setsockopt(handle, SOL_SOCKET, SO_RCVBUFFORCE, &receive_buffer_bytes, sizeof receive_buffer_bytes) != 0)
        ::setsockopt(handle, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes, sizeof receive_buffer_bytes);
}

// What the socket dropped since it was made, modulo 2^32. Each datagram can carry the count too
// (SO_RXQ_OVFL), but only as it stood when that datagram was queued: drops after the last one
// would stay hidden until another arrived.
std::optional<std::uint32_t> drop_count(int handle)
{
    std::array<std::uint32_t, SK_MEMINFO_VARS> info{};
    socklen_t length = sizeof info;
    if (::getsockopt(handle, SOL_SOCKET, SO_MEMINFO, info.data(), &length) != 0 ||
        length < (SK_MEMINFO_DROPS + 1) * sizeof(std::uint32_t))
        return std::nullopt;
    return info[SK_MEMINFO_DROPS];
}

}  // namespace

struct DatagramReceiver::Socket {
    Socket(int bound, DatagramReceiver& owner)
        : handle(bound), notifier(static_cast<qintptr>(bound), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier,
                         [this, &owner] { owner.read_ready(*this); });
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket()
    {
        // The notifier must leave the event loop before its descriptor is closed (and maybe reused).
        notifier.setEnabled(false);
        ::close(handle);
    }

    const int handle;
    QSocketNotifier notifier;
    // The kernel's cumulative count as last read; it starts at 0 with the socket.
    std::uint32_t drops_seen = 0;
};

// The buffers of one receive call, set up once and reused for every call.
struct DatagramReceiver::Batch {
    Batch()
        // Not cleared: pages only the rare large datagram reaches are never touched.
        : bytes(std::make_unique_for_overwrite<char[]>(batch_size * max_datagram))
    {
        for (unsigned index = 0; index < batch_size; ++index) {
            vectors[index] = {bytes.get() + index * max_datagram, max_datagram};
            msghdr& header = headers[index].msg_hdr;
            header.msg_name = &senders[index];
            header.msg_iov = &vectors[index];
            header.msg_iovlen = 1;
        }
    }

    // Datagrams waiting on handle, at most one batch: their count, or -1 with errno.
    int receive(int handle)
    {
        // The kernel shortens these to what each sender's address used.
        for (unsigned index = 0; index < batch_size; ++index)
            headers[index].msg_hdr.msg_namelen = sizeof senders[index];
        return ::recvmmsg(handle, headers.data(), batch_size, MSG_DONTWAIT, nullptr);
    }

    std::span<const Datagram> take(unsigned count)
    {
        for (unsigned index = 0; index < count; ++index) {
            const msghdr& header = headers[index].msg_hdr;
            // The kernel never reports more than the buffer held; the bound stands anyway.
            datagrams[index].bytes = {static_cast<const char*>(vectors[index].iov_base),
                                      std::min<std::size_t>(headers[index].msg_len, max_datagram)};
            datagrams[index].sender = header.msg_namelen >= sizeof(sa_family_t)
                ? platform::PeerAddress::from_socket_address(*reinterpret_cast<const sockaddr*>(&senders[index]))
                : platform::PeerAddress{};
        }
        return {datagrams.data(), count};
    }

    std::unique_ptr<char[]> bytes;
    std::array<mmsghdr, batch_size> headers{};
    std::array<iovec, batch_size> vectors{};
    std::array<sockaddr_storage, batch_size> senders{};
    std::array<Datagram, batch_size> datagrams{};
};

DatagramReceiver::DatagramReceiver(QObject* parent) : QObject(parent), alive_(std::make_shared<char>('\0')) {}

DatagramReceiver::~DatagramReceiver() = default;

void DatagramReceiver::open(std::int32_t port, bool local_only)
{
    if (is_open())
        throw ESocketError(kCannotListenOnOpenSocket);
    if (!batch_)
        batch_ = std::make_shared<Batch>();
    const std::vector<int> handles = bind_listening_sockets(SOCK_DGRAM, local_only, static_cast<std::uint16_t>(port));
    dropped_ = 0;
    for (const int handle : handles) {
        ask_for_large_receive_buffer(handle);
        sockets_.push_back(std::make_unique<Socket>(handle, *this));
    }
}

void DatagramReceiver::close()
{
    ++closes_;
    held_back_ = false;
    sockets_.clear();
}

std::vector<int> DatagramReceiver::socket_handles() const
{
    std::vector<int> handles;
    for (const auto& socket : sockets_)
        handles.push_back(socket->handle);
    return handles;
}

void DatagramReceiver::read_ready(Socket& socket)
{
    if (delivering_) {
        // Inside a handler's nested loop: the batch buffers still hold what the handler looks at.
        socket.notifier.setEnabled(false);
        held_back_ = true;
        return;
    }
    platform::guarded([&] { read_pending(socket); }, platform::ErrorSource::Network);
}

void DatagramReceiver::read_pending(Socket& socket)
{
    const std::weak_ptr<char> alive = alive_;
    const std::uint64_t closes = closes_;
    const std::shared_ptr<Batch> batch = batch_;
    const std::int64_t dropped_before = dropped_;
    const auto deadline = std::chrono::steady_clock::now() + time_per_event;
    int failure = 0;
    for (int taken = 0; taken < datagrams_per_event && std::chrono::steady_clock::now() < deadline;) {
        const int count = batch->receive(socket.handle);
        if (count < 0) {
            failure = errno;
            break;
        }
        if (!deliver(batch->take(static_cast<unsigned>(count))))
            return;
        taken += count;
        if (static_cast<unsigned>(count) < batch_size)
            break;  // read empty
    }
    if (const auto drops = drop_count(socket.handle)) {
        // Unsigned, so the difference stays right when the count wraps.
        dropped_ += static_cast<std::uint32_t>(*drops - socket.drops_seen);
        socket.drops_seen = *drops;
    }
    if (dropped_ > dropped_before) {
        emit dropped_changed();
        if (alive.expired() || closes != closes_)
            return;
    }
    if (failure == 0 || failure == EAGAIN || failure == EWOULDBLOCK || failure == EINTR)
        return;
    socket.notifier.setEnabled(false);
    QTimer::singleShot(failure_pause_ms, &socket.notifier,
                       [&notifier = socket.notifier] { notifier.setEnabled(true); });
    throw ESocketError(socket_api_error_message(failure, "recvmmsg"), failure);
}

bool DatagramReceiver::deliver(std::span<const Datagram> batch)
{
    if (!on_datagrams)
        return true;
    const std::weak_ptr<char> alive = alive_;
    const std::uint64_t closes = closes_;
    delivering_ = true;
    const auto resume = qScopeGuard([&] {
        if (alive.expired())
            return;
        delivering_ = false;
        if (std::exchange(held_back_, false)) {
            for (const auto& socket : sockets_)
                socket->notifier.setEnabled(true);
        }
    });
    // A copy, so a handler that replaces itself doesn't destroy the callable that runs.
    const auto handler = on_datagrams;
    handler(batch);
    return !alive.expired() && closes == closes_;
}

}  // namespace net
