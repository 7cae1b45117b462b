#pragma once
// A loopback sender speaking TLS 1.3 through OpenSSL, as a syslog sender that shows no
// certificate and checks none: what a window that doesn't check its senders meets most. Its
// socket is as loopback::Sender makes it (blocking), so it can send from any thread.

#include "loopback.h"

#include <openssl/ssl.h>

#include <string>
#include <string_view>

namespace loopback {

class TlsSender {
public:
    // Connects; the handshake is left to handshake(), so the socket can be set up first.
    explicit TlsSender(quint16 port) : connection_(port), ssl_(SSL_new(context()))
    {
        SSL_set_fd(ssl_, connection_.handle());
    }
    ~TlsSender() { SSL_free(ssl_); }
    TlsSender(const TlsSender&) = delete;
    TlsSender& operator=(const TlsSender&) = delete;

    // True once the handshake is done. On a socket made non-blocking it returns false while
    // it waits for the server: call it again then, until failed() tells it won't come.
    bool handshake()
    {
        const int result = SSL_connect(ssl_);
        failed_ = result != 1 && SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ
                  && SSL_get_error(ssl_, result) != SSL_ERROR_WANT_WRITE;
        return result == 1;
    }
    bool failed() const { return failed_; }

    bool send(std::string_view bytes) const
    {
        std::size_t written = 0;
        return bytes.empty() || (SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written) == 1 && written == bytes.size());
    }

    const Sender& connection() const { return connection_; }

    // The bytes a sender of this kind opens its handshake with (its ClientHello record), made
    // without a connection.
    static std::string hello()
    {
        SSL* ssl = SSL_new(context());
        BIO* in = BIO_new(BIO_s_mem());
        BIO* out = BIO_new(BIO_s_mem());
        SSL_set_bio(ssl, in, out);
        SSL_connect(ssl);
        char* bytes = nullptr;
        const long size = BIO_get_mem_data(out, &bytes);
        std::string first(bytes, static_cast<std::size_t>(size));
        SSL_free(ssl);
        return first;
    }

private:
    // TLS 1.3 only; a server's certificate chain up to 16 MiB is taken, since a test may make
    // the server's answer larger than what sockets hold.
    static SSL_CTX* context()
    {
        static SSL_CTX* const shared = [] {
            SSL_CTX* made = SSL_CTX_new(TLS_client_method());
            SSL_CTX_set_min_proto_version(made, TLS1_3_VERSION);
            SSL_CTX_set_verify(made, SSL_VERIFY_NONE, nullptr);
            SSL_CTX_set_max_cert_list(made, 16L << 20);
            return made;
        }();
        return shared;
    }

    Sender connection_;
    SSL* ssl_;
    bool failed_ = false;
};

}  // namespace loopback
