#pragma once
// Readiness of a listener's connections from one epoll descriptor, which alone is watched on
// the event loop. A notifier per connection makes every turn of the loop poll every connection
// held: with a thousand of them (idle, or hostile ones that never finish a handshake) that
// costs the busy sender's reads more than reading does.

#include <cstdint>
#include <memory>
#include <unordered_map>

class QSocketNotifier;

namespace net {

class TCustomWinSocket;

class ReadinessSet {
public:
    ReadinessSet();
    ~ReadinessSet();
    ReadinessSet(const ReadinessSet&) = delete;
    ReadinessSet& operator=(const ReadinessSet&) = delete;

    // What `socket`, on descriptor `handle`, wants to be told of from now on; neither forgets it
    // (an error or hang-up is reported only to a socket that reads or waits to write).
    void watch(TCustomWinSocket& socket, int handle, bool read, bool write);
    // Must be called before the descriptor is closed.
    void forget(int handle);

private:
    struct Entry {
        TCustomWinSocket* socket;
        std::uint32_t events;
        // Tells a descriptor closed and reused within one batch of readiness from its old one.
        std::uint32_t generation;
    };
    void dispatch();
    // The entry still registered for the descriptor and generation a readiness was for.
    const Entry* current(int handle, std::uint32_t generation) const;

    int epoll_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unordered_map<int, Entry> entries_;
    std::uint32_t generations_ = 0;
};

}  // namespace net
