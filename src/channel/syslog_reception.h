#pragma once
// The syslog side of a log channel: UDP datagrams beside the TCP listener's connections, each
// connection framed as RFC 6587 says, and the counts a syslog window shows (senders heard,
// datagrams the kernel lost, framing errors). Whole messages go to the channel in batches.

#include "lines/line_times.h"
#include "platform/peer_address.h"
#include "syslog/framing.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace net {
class DatagramReceiver;
struct Datagram;
}  // namespace net

namespace channel {

struct PeerAddressHash {
    std::size_t operator()(const platform::PeerAddress& address) const noexcept;
};

class SyslogReception {
public:
    // Messages that arrived together, each with its sender (or one sender for all).
    struct Batch {
        std::span<const std::string_view> messages;
        std::span<const platform::PeerAddress> senders;
        lines::ArrivalTime time = lines::no_arrival_time;
    };
    using Deliver = std::function<void(const Batch& batch)>;
    // Asked with each datagram's sender; false drops the datagram unheard.
    using Admit = std::function<bool(const platform::PeerAddress& sender)>;
    using ConnectionKey = const void*;

    // Unfinished messages of every connection together hold at most this many bytes (each
    // connection's alone at most syslog_proto::max_message_bytes).
    static constexpr std::size_t unfinished_budget = 64 * 1024 * 1024;

    SyslogReception(Deliver deliver, Admit admit);
    ~SyslogReception();
    SyslogReception(const SyslogReception&) = delete;
    SyslogReception& operator=(const SyslogReception&) = delete;

    // Receives datagrams on port, on the addresses the TCP listener uses; throws
    // net::ESocketError when it can't.
    void open_datagrams(std::int32_t port, bool local_only);
    // unfinished_budget unless a test wants the limit within reach.
    void set_unfinished_limit(std::size_t bytes) { unfinished_limit_ = bytes; }
    // Stops receiving datagrams and forgets every connection's framing.
    void close();

    // One chunk of a TCP connection, framed by what the connection sent first. False when the
    // chunk's unfinished message took the connections' together past their limit: the messages
    // it completed are delivered, its unfinished one is dropped, and the connection must go.
    bool receive(ConnectionKey connection, const platform::PeerAddress& sender, std::string_view chunk,
                 lines::ArrivalTime time);
    // The connection closed: a message it left unfinished is delivered as it is.
    void connection_closed(ConnectionKey connection, const platform::PeerAddress& sender, lines::ArrivalTime time);

    // Addresses a datagram came from in the minute before `now`.
    int datagram_senders(lines::ArrivalTime now) const;
    // Datagrams the kernel dropped because they came faster than they were read.
    std::int64_t lost() const;
    // Octet counts that were not counts, over every connection so far.
    std::int64_t framing_errors() const { return framing_errors_; }

private:
    void datagrams_arrived(std::span<const net::Datagram> batch);
    void hear(const platform::PeerAddress& sender, lines::ArrivalTime time);
    // The connection's framing goes, with what it held.
    void forget(ConnectionKey connection);
    template <class Feed>
    void frame(ConnectionKey connection, const platform::PeerAddress& sender, lines::ArrivalTime time, Feed feed);

    Deliver deliver_;
    Admit admit_;
    std::unique_ptr<net::DatagramReceiver> datagrams_;
    std::unordered_map<ConnectionKey, syslog_proto::StreamFraming> framings_;
    std::size_t unfinished_limit_ = unfinished_budget;
    // What the framings hold for unfinished messages, together.
    std::size_t unfinished_bytes_ = 0;
    // When each datagram sender was last heard; bounded, so made-up addresses can't grow it.
    std::unordered_map<platform::PeerAddress, lines::ArrivalTime, PeerAddressHash> heard_;
    std::int64_t framing_errors_ = 0;
    // A batch's messages and senders, kept to be reused.
    std::vector<std::string_view> messages_;
    std::vector<platform::PeerAddress> senders_;
    std::deque<std::string> copies_;
};

}  // namespace channel
