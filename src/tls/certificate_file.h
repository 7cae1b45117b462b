#pragma once
// A certificate file as the global options show and check it before the user's choice is kept.

#include <string>

namespace tls {

struct FileFingerprint {
    std::string fingerprint;  // "SHA256:AB:CD:…"; empty when the file cannot be read
    std::string error;        // why, when there is no fingerprint
};

// The SHA-256 fingerprint of the first certificate in the PEM file: the one a sender sees.
FileFingerprint certificate_file_fingerprint(const std::string& path);

// Whether a window could serve the pair: the same checks its listener makes (the key readable
// by its owner only, both files load, the key fits the certificate). The message, or empty.
std::string check_certificate_pair(const std::string& certificate_file, const std::string& key_file);

}  // namespace tls
