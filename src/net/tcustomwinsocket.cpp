// Descriptor handling shared by the listening socket and its connections.

#include "net/tcustomwinsocket.h"

#include "net/readiness_set.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <exception>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

// How long accepting pauses when the process has no descriptor left for a new connection.
constexpr int accept_retry_ms = 100;
// The most connections one accept readiness takes. Each is read as it is accepted (some tens of
// microseconds for a short sender); a turn that took a whole full queue, thousands, would hold
// the GUI thread for a fifth of a second or more. The listening socket stays readable, so the next
// turn takes the next ones, after painting and input.
constexpr std::size_t accept_batch = 128;

}  // namespace

TCustomWinSocket::TCustomWinSocket(int handle, ReadinessSet* readiness)
    : handle_(handle), connected_(handle != -1), readiness_(readiness)
{
}

TCustomWinSocket::~TCustomWinSocket()
{
    close_silently();
}

platform::PeerAddress TCustomWinSocket::RemoteAddress() const
{
    return RemoteAddressOf(handle_);
}

platform::PeerAddress TCustomWinSocket::RemoteAddressOf(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (handle < 0 || ::getpeername(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return platform::PeerAddress::from_socket_address(reinterpret_cast<const sockaddr&>(address));
}

int32_t TCustomWinSocket::AvailableByteCount()
{
    return ReadBytes(nullptr, -1);
}

int32_t TCustomWinSocket::ReadBytes(void* buffer, int32_t count)
{
    if (count == -1 && connected_) {
        int pending = 0;
        if (::ioctl(handle_, FIONREAD, &pending) != 0 || pending < 0)
            return 0;
        return pending;
    }
    if (!connected_)
        return 0;

    const int handle = handle_;
    // A negative count or a missing buffer can only mean "nothing"; never hand recv a bogus length.
    const std::size_t length = (buffer != nullptr && count > 0) ? static_cast<std::size_t>(count) : 0;
    char none = 0;
    const ssize_t received = ::recv(handle, length > 0 ? buffer : &none, length, MSG_DONTWAIT);
    const int code = errno;
    received_ = true;
    resume_reads();
    if (received >= 0)
        return static_cast<int32_t>(received);
    if (code == EAGAIN || code == EWOULDBLOCK || code == EINTR)
        return -1;

    if (const int32_t error_code = close_after_error(handle, ekReceive, code); error_code != 0)
        throw ESocketError(socket_api_error_message(error_code, "recv"));
    return -1;
}

std::string TCustomWinSocket::ReadAvailableText()
{
    const int32_t pending = AvailableByteCount();
    std::string text(static_cast<std::size_t>(pending > 0 ? pending : 0), '\0');
    const int32_t received = ReadBytes(text.data(), pending);
    // Only bytes that really arrived: padding up to the queried count would feed NULs to the log.
    text.resize(static_cast<std::size_t>(received > 0 ? received : 0));
    return text;
}

void TCustomWinSocket::close_socket(int handle)
{
    if (handle == -1 || handle != handle_)
        return;
    stop_watching();
    std::exception_ptr failure;
    try {
        notify(snDisconnect);
    } catch (...) {
        // The descriptor is closed even when a disconnect handler fails; it would leak otherwise.
        failure = std::current_exception();
    }
    // A nested loop inside the handler may already have torn the object down.
    if (handle_ == handle) {
        ::close(handle);
        handle_ = -1;
        connected_ = false;
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TCustomWinSocket::close_silently()
{
    stop_watching();
    if (handle_ != -1)
        ::close(handle_);  // the descriptor is released whatever close reports; never retry it
    handle_ = -1;
    connected_ = false;
}

int32_t TCustomWinSocket::close_after_error(int handle, TErrorEvent kind, int32_t code)
{
    // Linux keeps reporting a failed socket as readable: a handler's nested loop must not be
    // told about this failure again.
    stop_watching();
    report_error(kind, code);
    close_socket(handle);
    return code;
}

void TCustomWinSocket::start_watching()
{
    watching_ = true;
    if (readiness_ != nullptr) {
        update_readiness();
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(handle_), QSocketNotifier::Read);
    const int handle = handle_;
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this, handle] { read_ready(handle); });
}

void TCustomWinSocket::ReadWhenWritable()
{
    // Kept while watching waits to start (a connection read at once as it is accepted).
    if (!connected_ || readiness_ == nullptr)
        return;
    write_wanted_ = true;
    update_readiness();
}

void TCustomWinSocket::report_writable(int handle)
{
    write_wanted_ = false;
    update_readiness();
    write_ready(handle);
}

void TCustomWinSocket::write_ready(int) {}

void TCustomWinSocket::update_readiness()
{
    if (watching_)
        readiness_->watch(*this, handle_, !reads_suspended_, write_wanted_);
}

void TCustomWinSocket::start_deferred_watching()
{
    if (!watching_deferred_)
        return;
    watching_deferred_ = false;
    if (connected_)
        start_watching();
}

void TCustomWinSocket::stop_watching()
{
    watching_deferred_ = false;
    // Watching must stop before the descriptor is closed (and maybe reused).
    if (watching_ && readiness_ != nullptr)
        readiness_->forget(handle_);
    watching_ = false;
    write_wanted_ = false;
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_.reset();
    }
    reads_suspended_ = false;
}

void TCustomWinSocket::suspend_reads()
{
    if (!watching_ || reads_suspended_)
        return;
    reads_suspended_ = true;
    if (readiness_ != nullptr)
        update_readiness();
    else
        notifier_->setEnabled(false);
}

void TCustomWinSocket::resume_reads()
{
    if (!reads_suspended_)
        return;
    reads_suspended_ = false;
    if (readiness_ != nullptr)
        update_readiness();
    else
        notifier_->setEnabled(true);
}

std::vector<int> TCustomWinSocket::accept_waiting()
{
    std::vector<int> accepted;
    while (accepted.size() < accept_batch) {
        const int client_handle = ::accept4(handle_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client_handle >= 0) {
            accepted.push_back(client_handle);
            continue;
        }
        if (notifier_ && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)) {
            suspend_reads();
            // Tied to the notifier: a descriptor no longer watched (closed, or listening anew) drops it.
            QTimer::singleShot(accept_retry_ms, notifier_.get(), [this] { resume_reads(); });
        }
        break;
    }
    return accepted;
}

}  // namespace net
