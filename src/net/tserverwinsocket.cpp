// Listening, accepting and the connection list of the listening socket object.

#include "net/tserverwinsocket.h"

#include "net/listen_addresses.h"
#include "net/tserverclientwinsocket.h"
#include "net/tserversocket.h"
#include "platform/error_report.h"

#include <QObject>
#include <QScopeGuard>

#include <array>
#include <cerrno>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

// Senders that connect, write a line and close (nc per event, logger --tcp) arrive in bursts
// while the GUI thread is busy; a connect the queue has no room for waits a second or more for
// its SYN to be sent again.
constexpr int listen_queue = SOMAXCONN;

uint16_t service_port(const std::string& service)
{
    servent entry{};
    servent* found = nullptr;
    std::array<char, 1024> scratch{};
    if (::getservbyname_r(service.c_str(), "tcp", &entry, scratch.data(), scratch.size(), &found) != 0 ||
        found == nullptr)
        return 0;
    return ntohs(static_cast<uint16_t>(found->s_port));
}

// Calls a copy, so a handler that reassigns its own event does not destroy the running callable.
template <typename Event, typename... Args>
void raise(const Event& event, Args&&... args)
{
    if (event) {
        const Event call = event;
        call(std::forward<Args>(args)...);
    }
}

[[noreturn]] void raise_listen_error()
{
    const int code = errno;
    throw ESocketError(socket_api_error_message(code, "listen"), code);
}

}  // namespace

// A further listening descriptor of the listener; what it accepts is the listener's.
class TServerWinSocket::ExtraListener final : public TCustomWinSocket {
public:
    ExtraListener(int handle, TServerWinSocket& owner) : TCustomWinSocket(handle), owner_(owner) {}

    void listen()
    {
        if (::listen(handle_, listen_queue) != 0)
            raise_listen_error();
        start_watching();
    }

private:
    // It reports nothing of its own: opening and closing are the main descriptor's to report.
    void notify(TSocketNotification) override {}
    void report_error(TErrorEvent, int32_t&) override {}
    void read_ready(int handle) override
    {
        platform::guarded(
            [&] {
                if (handle == handle_ && owner_.Connected())
                    owner_.adopt_connections(accept_waiting());
            },
            platform::ErrorSource::Network);
    }

    TServerWinSocket& owner_;
};

template <typename Work>
void TServerWinSocket::queue_once(bool& queued, Work work)
{
    if (queued)
        return;
    queued = true;
    QMetaObject::invokeMethod(
        context_.get(),
        [&queued, work] {
            queued = false;
            work();
        },
        Qt::QueuedConnection);
}

TServerWinSocket::TServerWinSocket(TServerSocket& component)
    : TCustomWinSocket(-1),
      component_(component),
      context_(std::make_unique<QObject>()),
      alive_(std::make_shared<char>('\0'))
{
}

TServerWinSocket::~TServerWinSocket()
{
    // No events on the way out: connections go silently, last first, then the listening socket.
    destroy_connections();
    close_silently();
}

int32_t TServerWinSocket::ActiveConnections() const noexcept
{
    return static_cast<int32_t>(connections_.size());
}

TServerClientWinSocket* TServerWinSocket::Connections(int32_t index) const noexcept
{
    if (index < 0 || static_cast<std::size_t>(index) >= connections_.size())
        return nullptr;
    return connections_[static_cast<std::size_t>(index)].get();
}

void TServerWinSocket::listen(const std::string& service, uint16_t port, bool local_only)
{
    if (connected_ || handle_ != -1)
        throw ESocketError(kCannotListenOnOpenSocket);

    const std::vector<int> handles =
        bind_listening_sockets(SOCK_STREAM, local_only, service.empty() ? port : service_port(service));
    const int handle = handles.front();
    handle_ = handle;
    for (std::size_t index = 1; index < handles.size(); ++index)
        extra_listeners_.push_back(std::make_unique<ExtraListener>(handles[index], *this));

    const std::weak_ptr<char> alive = alive_;
    try {
        start_watching();
        notify(snListen);
        if (alive.expired() || handle_ != handle)
            return;  // an OnListen handler's nested loop tore the listener down meanwhile
        if (::listen(handle, listen_queue) != 0)
            raise_listen_error();
        for (const auto& extra : extra_listeners_)
            extra->listen();
        // Watched after the listening descriptors, as the connections come after them: a turn
        // of the loop takes new connections, and reads what they brought, before it reads on.
        readiness_ = std::make_unique<ReadinessSet>();
        connected_ = true;
    } catch (...) {
        if (!alive.expired()) {
            extra_listeners_.clear();
            close_socket(handle);
        }
        throw;
    }
}

void TServerWinSocket::close_listener()
{
    destroy_connections();
    readiness_.reset();
    extra_listeners_.clear();
    close_socket(handle_);
}

void TServerWinSocket::notify(TSocketNotification kind)
{
    switch (kind) {
    case snListen:
        component_.active_ = true;
        raise(component_.OnListen, component_, *this);
        break;
    case snDisconnect:
        component_.active_ = false;
        break;
    default:
        break;
    }
}

void TServerWinSocket::report_error(TErrorEvent, int32_t&)
{
    // The component offers no error event for the listening socket: the code always stands.
}

void TServerWinSocket::read_ready(int handle)
{
    platform::guarded(
        [&] {
            if (handle == handle_ && connected_)
                adopt_connections(accept_waiting());
        },
        platform::ErrorSource::Network);
}

void TServerWinSocket::adopt_connections(const std::vector<int>& client_handles)
{
    const std::weak_ptr<char> alive = alive_;
    std::size_t adopted = 0;
    // A descriptor not listed by the time this returns or throws belongs to no one: closed, so
    // its peer sees the end instead of a connection nobody reads.
    const auto close_unadopted = qScopeGuard([&] {
        for (std::size_t index = adopted; index < client_handles.size(); ++index)
            ::close(client_handles[index]);
    });
    // The events of one connection may run a nested loop that deactivates or destroys the listener.
    while (adopted < client_handles.size() && !alive.expired() && connected_) {
        const int handle = client_handles[adopted];
        // Counted as adopted only once asked, so a handler that throws leaves it to the guard.
        const bool admitted = !component_.OnAdmit || component_.OnAdmit(RemoteAddressOf(handle));
        ++adopted;
        if (admitted)
            adopt_connection(handle);
        else
            ::close(handle);
    }
}

void TServerWinSocket::request_deferred_watching()
{
    // Runs inside the first nested loop a handler of a connection being read at accept opens,
    // so that connection goes on being served there; else on the next turn, with nothing left
    // to do. One request serves every connection accepted until it runs.
    queue_once(deferred_watching_queued_, [this] {
        for (const auto& connection : connections_)
            connection->start_deferred_watching();
    });
}

void TServerWinSocket::adopt_connection(int client_handle)
{
    auto client = std::make_shared<TServerClientWinSocket>(TServerClientWinSocket::Key{}, client_handle, *this);
    connections_.push_back(client);
    if (component_.OnClientWrite)
        post_write_readiness(*client);

    const std::weak_ptr<char> alive = alive_;
    client->notify(snConnect);
    if (alive.expired() || client->server_ != this)
        return;
    raise(component_.OnAccept, component_, *client);
    if (alive.expired() || client->server_ != this)
        return;
    request_deferred_watching();
    client->read_pending_then_watch();
}

void TServerWinSocket::client_notify(TServerClientWinSocket& client, TSocketNotification kind)
{
    switch (kind) {
    case snConnect:
        raise(component_.OnClientConnect, *this, client);
        break;
    case snRead:
        raise(component_.OnClientRead, *this, client);
        break;
    case snWrite:
        raise(component_.OnClientWrite, *this, client);
        break;
    case snDisconnect: {
        const std::weak_ptr<char> alive = alive_;
        try {
            raise(component_.OnClientDisconnect, *this, client);
        } catch (...) {
            if (!alive.expired())
                request_destruction(client);
            throw;
        }
        if (!alive.expired())
            request_destruction(client);
        break;
    }
    default:
        break;
    }
}

void TServerWinSocket::client_error(TServerClientWinSocket& client, TErrorEvent kind, int32_t& code)
{
    raise(component_.OnClientError, *this, client, kind, code);
}

void TServerWinSocket::request_destruction(TServerClientWinSocket& client)
{
    // Always a later loop turn, never inside the call that closed the connection. Connections
    // that close meanwhile go with it, in one pass over the list: thousands of short
    // connections closing at once must not cost a search of the list each. A connection that
    // went some other way first (deactivation) is no longer listed and so not found.
    client.destruction_requested_ = true;
    queue_once(destruction_queued_, [this] { destroy_requested_connections(); });
}

void TServerWinSocket::destroy_requested_connections()
{
    // Held here so detaching works on live objects; a running handler may hold one longer still.
    std::vector<std::shared_ptr<TServerClientWinSocket>> leaving;
    std::erase_if(connections_, [&](const std::shared_ptr<TServerClientWinSocket>& connection) {
        if (!connection->destruction_requested_)
            return false;
        leaving.push_back(connection);
        return true;
    });
    for (const auto& connection : leaving)
        connection->detach();
}

void TServerWinSocket::post_write_readiness(TServerClientWinSocket& client)
{
    // A fresh connection can be written to at once; that readiness is reported once, on a later turn.
    std::weak_ptr<TServerClientWinSocket> target = client.weak_from_this();
    QMetaObject::invokeMethod(
        context_.get(),
        [this, target] {
            const auto connection = target.lock();
            if (!connection || connection->server_ != this || !connection->Connected())
                return;
            platform::guarded([&] { connection->notify(snWrite); }, platform::ErrorSource::Network);
        },
        Qt::QueuedConnection);
}

void TServerWinSocket::destroy_connections()
{
    while (!connections_.empty()) {
        // Off the list before detaching; a running handler may hold the object longer still.
        const std::shared_ptr<TServerClientWinSocket> last = std::move(connections_.back());
        connections_.pop_back();
        last->detach();
    }
}

}  // namespace net
