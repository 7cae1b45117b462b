// Certificate fingerprints: computing a certificate's, and reading a user's list of them.

#include "tls/fingerprints.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <array>

namespace tls {

namespace {

struct Kind {
    DigestKind kind;
    std::string_view prefix;
    std::size_t bytes;
};

constexpr std::array kinds{Kind{DigestKind::sha256, "SHA256:", 32}, Kind{DigestKind::sha1, "SHA1:", 20}};

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) {
               return p == (t >= 'a' && t <= 'z' ? static_cast<char>(t - 'a' + 'A') : t);
           });
}

std::string_view trimmed(std::string_view line)
{
    constexpr std::string_view blanks = " \t\r";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// "AB:CD:…" with exactly `bytes` pairs, else nothing.
std::vector<unsigned char> hex_pairs(std::string_view text, std::size_t bytes)
{
    if (text.size() != bytes * 3 - 1)
        return {};
    std::vector<unsigned char> digest;
    digest.reserve(bytes);
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const int high = OPENSSL_hexchar2int(static_cast<unsigned char>(text[i]));
        const int low = OPENSSL_hexchar2int(static_cast<unsigned char>(text[i + 1]));
        if (high < 0 || low < 0 || (i + 2 < text.size() && text[i + 2] != ':'))
            return {};
        digest.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return digest;
}

}  // namespace

Fingerprint fingerprint_of(X509* certificate, DigestKind kind)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    const EVP_MD* md = kind == DigestKind::sha256 ? EVP_sha256() : EVP_sha1();
    if (X509_digest(certificate, md, digest.data(), &size) != 1)
        return {kind, {}};
    return {kind, std::vector<unsigned char>(digest.begin(), digest.begin() + size)};
}

std::string sha256_fingerprint(X509* certificate)
{
    constexpr std::string_view hex = "0123456789ABCDEF";
    std::string text(kinds[0].prefix);
    for (const unsigned char byte : fingerprint_of(certificate, DigestKind::sha256).digest) {
        if (text.size() > kinds[0].prefix.size())
            text += ':';
        text += hex[byte >> 4];
        text += hex[byte & 15];
    }
    return text;
}

FingerprintList parse_fingerprint_list(std::string_view text)
{
    FingerprintList list;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty())
            continue;
        const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const Kind& k) {
            return starts_with_ignoring_case(line, k.prefix);
        });
        std::vector<unsigned char> digest;
        if (kind != kinds.end())
            digest = hex_pairs(line.substr(kind->prefix.size()), kind->bytes);
        if (digest.empty()) {
            list.fingerprints.clear();
            list.error = "'" + std::string(line) + "' is not a fingerprint.";
            return list;
        }
        list.fingerprints.push_back({kind->kind, std::move(digest)});
    }
    return list;
}

bool is_listed(X509* certificate, const std::vector<Fingerprint>& listed)
{
    return std::any_of(kinds.begin(), kinds.end(), [&](const Kind& k) {
        return std::find(listed.begin(), listed.end(), fingerprint_of(certificate, k.kind)) != listed.end();
    });
}

}  // namespace tls
