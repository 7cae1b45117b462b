// A server session on a socket the channel owns. Its bytes go out with send(MSG_NOSIGNAL): a
// sender that hangs up while we answer must end its connection, not the program by SIGPIPE.

#include "tls/server_session.h"

#include "tls/openssl_error.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace tls {

namespace {

int send_without_signal(BIO* bio, const char* data, int size)
{
    int fd = -1;
    BIO_get_fd(bio, &fd);
    BIO_clear_retry_flags(bio);
    const auto sent = static_cast<int>(::send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL));
    if (sent < 0 && BIO_sock_should_retry(sent) != 0)
        BIO_set_retry_write(bio);
    return sent;
}

// OpenSSL's socket BIO with its write replaced.
const BIO_METHOD* socket_method()
{
    static BIO_METHOD* const method = [] {
        const BIO_METHOD* socket = BIO_s_socket();
        BIO_METHOD* own = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
        if (own != nullptr) {
            BIO_meth_set_write(own, send_without_signal);
            BIO_meth_set_read(own, BIO_meth_get_read(socket));
            BIO_meth_set_ctrl(own, BIO_meth_get_ctrl(socket));
            BIO_meth_set_create(own, BIO_meth_get_create(socket));
            BIO_meth_set_destroy(own, BIO_meth_get_destroy(socket));
        }
        return own;
    }();
    return method;
}

// Verification errors that mean the chain does not lead to the CA.
bool is_chain_error(long verify_result)
{
    switch (verify_result) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return true;
    default:
        return false;
    }
}

std::string handshake_failed(const std::string& why)
{
    return "TLS handshake failed: " + why;
}

// What a failed call's SSL_get_error and the error queue say, for a connection that ends.
std::string io_failure(int ssl_error)
{
    if (ssl_error == SSL_ERROR_SYSCALL && ERR_peek_last_error() == 0)
        return errno != 0 ? std::strerror(errno) : "connection closed";
    if (ssl_error == SSL_ERROR_ZERO_RETURN)
        return "connection closed";
    return take_error_reason("unknown error");
}

// Why a handshake failed, in the words the window shows.
std::string refusal(int ssl_error, long verify_result)
{
    const unsigned long error = ERR_peek_last_error();
    const bool from_tls = ERR_GET_LIB(error) == ERR_LIB_SSL;
    if (from_tls && ERR_GET_REASON(error) == SSL_R_PEER_DID_NOT_RETURN_A_CERTIFICATE)
        return "no certificate";
    if (!from_tls || ERR_GET_REASON(error) != SSL_R_CERTIFICATE_VERIFY_FAILED)
        return handshake_failed(io_failure(ssl_error));
    if (verify_result == X509_V_ERR_APPLICATION_VERIFICATION)
        return "fingerprint not listed";
    if (is_chain_error(verify_result))
        return "certificate not signed by the CA";
    return handshake_failed(X509_verify_cert_error_string(verify_result));
}

}  // namespace

ServerSession::ServerSession(const ServerContext& context, int fd) : ssl_(SSL_new(context.native()))
{
    BIO* bio = ssl_ != nullptr ? BIO_new(socket_method()) : nullptr;
    if (bio == nullptr) {
        state_ = StepStatus::failed;
        reason_ = handshake_failed(take_error_reason("out of memory"));
        return;
    }
    BIO_set_fd(bio, fd, BIO_NOCLOSE);
    SSL_set_bio(ssl_, bio, bio);
    // An idle connection keeps no record buffers.
    SSL_set_mode(ssl_, SSL_MODE_RELEASE_BUFFERS);
    SSL_set_accept_state(ssl_);
}

ServerSession::~ServerSession()
{
    if (state_ == StepStatus::done)
        SSL_shutdown(ssl_);
    SSL_free(ssl_);
    ERR_clear_error();
}

StepResult ServerSession::step()
{
    if (state_ == StepStatus::done || state_ == StepStatus::failed)
        return {state_, reason_};
    ERR_clear_error();
    errno = 0;
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        state_ = StepStatus::done;
        return {state_, {}};
    }
    const int ssl_error = SSL_get_error(ssl_, result);
    if (ssl_error == SSL_ERROR_WANT_READ || ssl_error == SSL_ERROR_WANT_WRITE)
        return {ssl_error == SSL_ERROR_WANT_READ ? StepStatus::want_read : StepStatus::want_write, {}};
    state_ = StepStatus::failed;
    reason_ = refusal(ssl_error, SSL_get_verify_result(ssl_));
    ERR_clear_error();
    return {state_, reason_};
}

ReadResult ServerSession::read(std::span<char> buffer)
{
    if (state_ != StepStatus::done)
        return {ReadStatus::failed, 0, false, state_ == StepStatus::failed ? reason_ : "TLS handshake not finished"};
    ERR_clear_error();
    errno = 0;
    std::size_t got = 0;
    if (buffer.empty() || SSL_read_ex(ssl_, buffer.data(), buffer.size(), &got) == 1)
        return {ReadStatus::data, got, false, {}};
    const int ssl_error = SSL_get_error(ssl_, 0);
    switch (ssl_error) {
    case SSL_ERROR_WANT_READ:
        return {ReadStatus::would_block, 0, false, {}};
    case SSL_ERROR_WANT_WRITE:
        return {ReadStatus::would_block, 0, true, {}};
    case SSL_ERROR_ZERO_RETURN:
        return {ReadStatus::closed, 0, false, {}};
    default:
        if (ssl_error == SSL_ERROR_SYSCALL && ERR_peek_last_error() == 0 && errno == 0)
            return {ReadStatus::closed, 0, false, {}};
        state_ = StepStatus::failed;
        reason_ = io_failure(ssl_error);
        return {ReadStatus::failed, 0, false, reason_};
    }
}

}  // namespace tls
