#pragma once
// Certificate fingerprints as users paste them ("SHA256:AB:CD:…", as rsyslog and others print
// them): a certificate's own, and the list of senders a window lets in.

#include <openssl/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tls {

enum class DigestKind : std::uint8_t { sha256, sha1 };

struct Fingerprint {
    DigestKind kind = DigestKind::sha256;
    std::vector<unsigned char> digest;  // 32 bytes for SHA-256, 20 for SHA-1

    bool operator==(const Fingerprint&) const = default;
};

// "SHA256:" and 32 upper-case hex pairs joined by ':'.
std::string sha256_fingerprint(X509* certificate);

// The certificate's fingerprint of the given kind.
Fingerprint fingerprint_of(X509* certificate, DigestKind kind);

// A user's fingerprint list, or why it is not one.
struct FingerprintList {
    std::vector<Fingerprint> fingerprints;
    std::string error;  // empty when the list is good
};

// One fingerprint a line: "SHA256:" or "SHA1:" and the digest's hex pairs joined by ':', in any
// letter case. Blank lines are ignored; the first bad line makes the error, naming it.
FingerprintList parse_fingerprint_list(std::string_view text);

// Whether the certificate's SHA-256 or SHA-1 fingerprint is among the listed.
bool is_listed(X509* certificate, const std::vector<Fingerprint>& listed);

}  // namespace tls
