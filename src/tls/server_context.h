#pragma once
// What a window's TLS listener serves: its certificate and key, the protocol versions and
// options, and how it checks who sends.

#include "tls/fingerprints.h"

#include <openssl/types.h>

#include <memory>
#include <string>
#include <vector>

namespace tls {

// How a sender is checked: not at all, by a certificate a CA signed, or by a certificate
// whose fingerprint is listed (its chain not checked against any CA).
enum class SenderCheck : std::uint8_t { anon, ca, fingerprint };

struct ServerSettings {
    std::string certificate_file;  // PEM chain, the server's own certificate first
    std::string key_file;          // PEM; refused when other users can read it
    SenderCheck sender_check = SenderCheck::anon;
    std::string ca_file;                    // PEM, for SenderCheck::ca
    std::vector<Fingerprint> fingerprints;  // for SenderCheck::fingerprint
};

// TLS 1.2 to 1.3, no renegotiation, no compression, the server's cipher order. Sessions made
// from a context keep what they need of it: the context may go before them.
class ServerContext {
public:
    // On failure error() says why, and native() is null.
    explicit ServerContext(const ServerSettings& settings);
    ~ServerContext();
    ServerContext(ServerContext&& other) noexcept;
    ServerContext& operator=(ServerContext&& other) noexcept;
    ServerContext(const ServerContext&) = delete;
    ServerContext& operator=(const ServerContext&) = delete;

    bool ok() const { return context_ != nullptr; }
    const std::string& error() const { return error_; }
    SSL_CTX* native() const { return context_; }

private:
    SSL_CTX* context_ = nullptr;
    std::string error_;
};

}  // namespace tls
