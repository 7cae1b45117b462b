#pragma once
// Which local addresses a listener takes senders on: every address of the machine, IPv4 and
// IPv6 alike, or the loopback addresses only, so that no other computer can send.

#include <cstdint>
#include <vector>

namespace net {

// Opens and binds the descriptors of type (SOCK_STREAM or SOCK_DGRAM) a listener on port takes
// senders with (non-blocking, close-on-exec; a stream one reuses addresses and isn't listening
// yet). The first one is the listener's main descriptor.
//
// Every address: one IPv6 socket on :: that takes IPv4 peers too, or IPv4 on 0.0.0.0 where the
// kernel has no IPv6. Local only: 127.0.0.1, and ::1 beside it where the kernel has IPv6.
// Port 0 gives every descriptor the same port the system chose for the first.
// Raises ESocketError ("bind", or the socket could not be created) and leaves nothing open.
std::vector<int> bind_listening_sockets(int type, bool local_only, uint16_t port);

}  // namespace net
