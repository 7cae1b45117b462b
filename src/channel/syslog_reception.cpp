// Syslog over UDP and TCP: framing per connection, a batch per read.

#include "channel/syslog_reception.h"

#include "net/datagram_receiver.h"

#include <QDateTime>

#include <algorithm>
#include <cstring>

namespace channel {

namespace {

// A sender counts as heard for this long after its last datagram.
constexpr lines::ArrivalTime heard_for_ms = 60'000;
// The most datagram senders remembered; beyond it the ones not heard for a minute go, and a
// network that makes up more addresses than this within a minute is counted as this many.
constexpr std::size_t max_heard = 65'536;

}  // namespace

std::size_t PeerAddressHash::operator()(const platform::PeerAddress& address) const noexcept
{
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::memcpy(&low, address.bytes.data(), sizeof low);
    std::memcpy(&high, address.bytes.data() + sizeof low, sizeof high);
    return static_cast<std::size_t>((low * 0x9E3779B97F4A7C15ULL) ^ high ^ (high >> 29));
}

SyslogReception::SyslogReception(Deliver deliver, Admit admit)
    : deliver_(std::move(deliver)), admit_(std::move(admit))
{
}

SyslogReception::~SyslogReception() = default;

void SyslogReception::open_datagrams(std::int32_t port, bool local_only)
{
    auto receiver = std::make_unique<net::DatagramReceiver>();
    receiver->on_datagrams = [this](std::span<const net::Datagram> batch) { datagrams_arrived(batch); };
    receiver->open(port, local_only);
    datagrams_ = std::move(receiver);
}

void SyslogReception::close()
{
    datagrams_.reset();
    framings_.clear();
    unfinished_bytes_ = 0;
    heard_.clear();
}

void SyslogReception::datagrams_arrived(std::span<const net::Datagram> batch)
{
    const lines::ArrivalTime time = QDateTime::currentMSecsSinceEpoch();
    messages_.clear();
    senders_.clear();
    for (const net::Datagram& datagram : batch) {
        if (!admit_(datagram.sender))
            continue;
        hear(datagram.sender, time);
        const std::string_view message = syslog_proto::datagram_message(datagram.bytes);
        // An empty datagram carries no message; some senders use one to keep a path open.
        if (message.empty())
            continue;
        messages_.push_back(message);
        senders_.push_back(datagram.sender);
    }
    if (!messages_.empty())
        deliver_(Batch{messages_, senders_, time});
}

void SyslogReception::hear(const platform::PeerAddress& sender, lines::ArrivalTime time)
{
    if (heard_.size() >= max_heard && !heard_.contains(sender)) {
        std::erase_if(heard_, [time](const auto& entry) { return time - entry.second >= heard_for_ms; });
        if (heard_.size() >= max_heard)
            return;
    }
    heard_[sender] = time;
}

template <class Feed>
void SyslogReception::frame(ConnectionKey connection, const platform::PeerAddress& sender, lines::ArrivalTime time,
                            Feed feed)
{
    syslog_proto::StreamFraming& framing = framings_[connection];
    const std::int64_t errors_before = framing.framing_errors();
    unfinished_bytes_ -= framing.buffered_bytes();
    messages_.clear();
    copies_.clear();
    // A message lying whole in the chunk stays there; one completed from earlier chunks is in
    // the framing's buffer, which the chunk's next bytes reuse, so it is copied.
    feed(framing, [this](std::string_view message, std::string_view chunk) {
        const bool in_chunk = !chunk.empty() && message.data() >= chunk.data()
                              && message.data() + message.size() <= chunk.data() + chunk.size();
        if (in_chunk) {
            messages_.push_back(message);
        } else {
            copies_.emplace_back(message);
            messages_.push_back(copies_.back());
        }
    });
    framing_errors_ += framing.framing_errors() - errors_before;
    unfinished_bytes_ += framing.buffered_bytes();
    if (!messages_.empty())
        deliver_(Batch{messages_, std::span(&sender, 1), time});
}

bool SyslogReception::receive(ConnectionKey connection, const platform::PeerAddress& sender, std::string_view chunk,
                              lines::ArrivalTime time)
{
    frame(connection, sender, time, [chunk](syslog_proto::StreamFraming& framing, auto&& keep) {
        framing.feed(chunk, [&](std::string_view message) { keep(message, chunk); });
    });
    if (unfinished_bytes_ <= unfinished_limit_)
        return true;
    // A thousand connections each a little short of the longest message would hold gigabytes.
    forget(connection);
    return false;
}

void SyslogReception::forget(ConnectionKey connection)
{
    if (const auto found = framings_.find(connection); found != framings_.end()) {
        unfinished_bytes_ -= found->second.buffered_bytes();
        framings_.erase(found);
    }
}

void SyslogReception::connection_closed(ConnectionKey connection, const platform::PeerAddress& sender,
                                        lines::ArrivalTime time)
{
    if (!framings_.contains(connection))
        return;
    frame(connection, sender, time, [](syslog_proto::StreamFraming& framing, auto&& keep) {
        framing.finish([&](std::string_view message) { keep(message, std::string_view()); });
    });
    forget(connection);
}

int SyslogReception::datagram_senders(lines::ArrivalTime now) const
{
    return static_cast<int>(
        std::count_if(heard_.begin(), heard_.end(), [now](const auto& entry) { return now - entry.second < heard_for_ms; }));
}

std::int64_t SyslogReception::lost() const
{
    return datagrams_ ? datagrams_->dropped() : 0;
}

}  // namespace channel
