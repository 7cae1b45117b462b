#pragma once
// One accepted connection's TLS, on the channel's own non-blocking socket: the handshake
// stepped as the socket gets ready, then the sender's bytes decrypted. Nothing here blocks or
// closes the socket.

#include "tls/server_context.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tls {

enum class StepStatus : std::uint8_t { want_read, want_write, done, failed };

struct StepResult {
    StepStatus status;
    // When failed: "no certificate", "certificate not signed by the CA", "fingerprint not
    // listed", or "TLS handshake failed: " and OpenSSL's short reason.
    std::string reason;
};

enum class ReadStatus : std::uint8_t { data, would_block, closed, failed };

struct ReadResult {
    ReadStatus status;
    std::size_t bytes = 0;       // with data: how many were put in the buffer
    bool wants_write = false;    // with would_block: the socket must get writable, not readable
    std::string reason;          // with failed
};

class ServerSession {
public:
    // fd: an accepted, non-blocking socket; it stays the caller's and must outlive the session.
    // context must be ok().
    ServerSession(const ServerContext& context, int fd);
    // Frees all the session holds; after a finished handshake it first tries to send the
    // sender a close notice, without waiting.
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Advances the handshake as far as the socket allows. Once done or failed, it stays so.
    StepResult step();
    // After the handshake: decrypted bytes, at most buffer.size() of them. OpenSSL may hold
    // bytes already taken from the socket, so read on until would_block before waiting for the
    // socket, both after step() said done and after data.
    ReadResult read(std::span<char> buffer);

private:
    SSL* ssl_;
    StepStatus state_ = StepStatus::want_read;
    std::string reason_;  // once failed
};

}  // namespace tls
