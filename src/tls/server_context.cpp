// The server context: versions, options, the certificate and key, and the sender check.

#include "tls/server_context.h"

#include "tls/key_file.h"
#include "tls/openssl_error.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <utility>

namespace tls {

namespace {

// Forward secret suites only for TLS 1.2.
constexpr const char* tls12_ciphers = "ECDHE+AESGCM:ECDHE+CHACHA20:DHE+AESGCM:DHE+CHACHA20:ECDHE+AES:!aNULL:!eNULL";
// TLS 1.3's suites, AES-128 first: its handshake hashes with SHA-256, not SHA-384, and its
// records decrypt in fewer rounds, for a window that takes many connections and much text.
constexpr const char* tls13_suites = "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384";
// A sender's certificate chain is bounded: a peer's bytes are hostile.
constexpr long max_certificate_list_bytes = 64 * 1024;
constexpr int max_verify_depth = 8;

void free_fingerprints(void*, void* pointer, CRYPTO_EX_DATA*, int, long, void*)
{
    delete static_cast<std::vector<Fingerprint>*>(pointer);
}

// Where a context keeps its listed fingerprints: freed with the context, which every session
// made from it holds a reference to.
int fingerprints_index()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, free_fingerprints);
    return index;
}

// Fingerprint check: the sender's own certificate must be listed; the chain above it is not
// looked at. A refusal is marked as the application's, so the session can name it.
int verify_fingerprint(int, X509_STORE_CTX* store)
{
    if (X509_STORE_CTX_get_error_depth(store) > 0)
        return 1;
    const auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    const auto* listed = ssl == nullptr ? nullptr
                                        : static_cast<const std::vector<Fingerprint>*>(
                                              SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), fingerprints_index()));
    X509* certificate = X509_STORE_CTX_get_current_cert(store);
    if (listed != nullptr && certificate != nullptr && is_listed(certificate, *listed)) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
}

bool set_options(SSL_CTX* context)
{
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION | SSL_OP_CIPHER_SERVER_PREFERENCE
                                     | SSL_OP_IGNORE_UNEXPECTED_EOF);
    // No resumption: every connection shows its certificate afresh, and nothing is cached.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_max_cert_list(context, max_certificate_list_bytes);
    return SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1
        && SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION) == 1
        && SSL_CTX_set_cipher_list(context, tls12_ciphers) == 1
        && SSL_CTX_set_ciphersuites(context, tls13_suites) == 1
        && SSL_CTX_set_num_tickets(context, 0) == 1
        && SSL_CTX_set_dh_auto(context, 1) == 1;
}

std::string set_identity(SSL_CTX* context, const ServerSettings& settings)
{
    if (SSL_CTX_use_certificate_chain_file(context, settings.certificate_file.c_str()) != 1)
        return "The certificate file " + settings.certificate_file
            + " cannot be used: " + take_error_reason("no certificate in it") + ".";
    KeyFileResult key = read_key_file(settings.key_file);
    if (!key.key)
        return key.error;
    if (SSL_CTX_use_PrivateKey(context, key.key.get()) != 1 || SSL_CTX_check_private_key(context) != 1)
        return "The key file " + settings.key_file
            + " does not fit the certificate: " + take_error_reason("wrong key") + ".";
    return {};
}

std::string set_sender_check(SSL_CTX* context, const ServerSettings& settings)
{
    constexpr int asked = SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
    switch (settings.sender_check) {
    case SenderCheck::anon:
        SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
        return {};
    case SenderCheck::ca: {
        STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(settings.ca_file.c_str());
        if (names == nullptr || SSL_CTX_load_verify_locations(context, settings.ca_file.c_str(), nullptr) != 1) {
            sk_X509_NAME_pop_free(names, X509_NAME_free);
            return "The CA file " + settings.ca_file + " cannot be used: " + take_error_reason("no certificate in it")
                + ".";
        }
        SSL_CTX_set_client_CA_list(context, names);
        SSL_CTX_set_verify(context, asked, nullptr);
        SSL_CTX_set_verify_depth(context, max_verify_depth);
        return {};
    }
    case SenderCheck::fingerprint:
        if (SSL_CTX_set_ex_data(context, fingerprints_index(), new std::vector<Fingerprint>(settings.fingerprints)) != 1)
            return "Cannot keep the fingerprint list.";
        SSL_CTX_set_verify(context, asked, verify_fingerprint);
        SSL_CTX_set_verify_depth(context, max_verify_depth);
        return {};
    }
    return {};
}

}  // namespace

ServerContext::ServerContext(const ServerSettings& settings) : context_(SSL_CTX_new(TLS_server_method()))
{
    if (context_ == nullptr || !set_options(context_)) {
        error_ = "Cannot set up TLS: " + take_error_reason("unknown error") + ".";
    } else {
        error_ = set_identity(context_, settings);
        if (error_.empty())
            error_ = set_sender_check(context_, settings);
    }
    if (!error_.empty()) {
        SSL_CTX_free(context_);
        context_ = nullptr;
    }
    ERR_clear_error();
}

ServerContext::~ServerContext()
{
    SSL_CTX_free(context_);
}

ServerContext::ServerContext(ServerContext&& other) noexcept
    : context_(std::exchange(other.context_, nullptr)), error_(std::move(other.error_))
{
}

ServerContext& ServerContext::operator=(ServerContext&& other) noexcept
{
    std::swap(context_, other.context_);
    std::swap(error_, other.error_);
    return *this;
}

}  // namespace tls
