#pragma once
// Vesmira's own certificate: made once per user, self-signed, and reused after that.

#include <string>

namespace tls {

struct OwnCertificate {
    std::string certificate_file;  // PEM, mode 0644
    std::string key_file;          // PEM, mode 0600
    std::string error;             // empty when both files are there
};

// The certificate and key in store_folder + "/tls/", store_folder being the configuration
// store's folder (store::TRegistry::default_folder(); the caller reads it, as nothing below the
// configuration layer sees the store). When either file is missing both are made anew: an
// ECDSA P-256 key and a certificate valid for 10 years, subject CN the host name, subjectAltName
// DNS:<host name> and DNS:localhost. The tls folder is made with mode 0700.
OwnCertificate ensure_own_certificate(const std::string& store_folder);

}  // namespace tls
