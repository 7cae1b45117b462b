// The epoll descriptor, its notifier, and the connections' readiness handed out in batches.

#include "net/readiness_set.h"

#include "net/tcustomwinsocket.h"

#include <QSocketNotifier>

#include <array>

#include <sys/epoll.h>
#include <unistd.h>

namespace net {

namespace {

// Connections served per turn of the event loop; the descriptor stays readable for the rest,
// so painting and input get their turn in between.
constexpr int batch = 64;

std::uint64_t key(int handle, std::uint32_t generation)
{
    return (std::uint64_t{generation} << 32) | static_cast<std::uint32_t>(handle);
}

}  // namespace

ReadinessSet::ReadinessSet() : epoll_(::epoll_create1(EPOLL_CLOEXEC))
{
    if (epoll_ < 0)
        throw ESocketError(socket_api_error_message(errno, "epoll_create1"));
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(epoll_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { dispatch(); });
}

ReadinessSet::~ReadinessSet()
{
    notifier_.reset();
    ::close(epoll_);
}

void ReadinessSet::watch(TCustomWinSocket& socket, int handle, bool read, bool write)
{
    const std::uint32_t events = (read ? std::uint32_t{EPOLLIN} : 0) | (write ? std::uint32_t{EPOLLOUT} : 0);
    if (events == 0) {
        forget(handle);
        return;
    }
    const auto found = entries_.find(handle);
    epoll_event change{};
    change.events = events;
    if (found != entries_.end() && found->second.socket == &socket) {
        if (found->second.events == events)
            return;
        found->second.events = events;
        change.data.u64 = key(handle, found->second.generation);
        ::epoll_ctl(epoll_, EPOLL_CTL_MOD, handle, &change);
        return;
    }
    forget(handle);
    const Entry entry{&socket, events, ++generations_};
    change.data.u64 = key(handle, entry.generation);
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, handle, &change) == 0)
        entries_.emplace(handle, entry);
}

void ReadinessSet::forget(int handle)
{
    if (entries_.erase(handle) != 0)
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, handle, nullptr);
}

const ReadinessSet::Entry* ReadinessSet::current(int handle, std::uint32_t generation) const
{
    const auto found = entries_.find(handle);
    return found != entries_.end() && found->second.generation == generation ? &found->second : nullptr;
}

void ReadinessSet::dispatch()
{
    std::array<epoll_event, batch> ready{};
    const int count = ::epoll_wait(epoll_, ready.data(), batch, 0);
    // A handler may close or add connections, even in a nested loop that dispatches again: each
    // readiness is checked against what is registered when its turn comes.
    for (int index = 0; index < count; ++index) {
        const std::uint64_t data = ready[static_cast<std::size_t>(index)].data.u64;
        const std::uint32_t events = ready[static_cast<std::size_t>(index)].events;
        const int handle = static_cast<int>(static_cast<std::uint32_t>(data));
        const auto generation = static_cast<std::uint32_t>(data >> 32);
        const Entry* entry = current(handle, generation);
        if (entry != nullptr && (entry->events & EPOLLOUT) != 0 && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) != 0)
            entry->socket->report_writable(handle);
        entry = current(handle, generation);
        if (entry != nullptr && (entry->events & EPOLLIN) != 0 && (events & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0)
            entry->socket->read_ready(handle);
    }
}

}  // namespace net
