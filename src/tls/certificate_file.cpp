// Reading a certificate file's fingerprint, and checking a certificate and key pair.

#include "tls/certificate_file.h"

#include "tls/fingerprints.h"
#include "tls/openssl_error.h"
#include "tls/server_context.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

namespace tls {

FileFingerprint certificate_file_fingerprint(const std::string& path)
{
    const std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(path.c_str(), "r"), &BIO_free);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(
        file ? PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, &X509_free);
    if (!certificate)
        return {{}, "The certificate file " + path + " cannot be read: " + take_error_reason("no certificate in it")
                        + "."};
    return {sha256_fingerprint(certificate.get()), {}};
}

std::string check_certificate_pair(const std::string& certificate_file, const std::string& key_file)
{
    return ServerContext({certificate_file, key_file, SenderCheck::anon, {}, {}}).error();
}

}  // namespace tls
