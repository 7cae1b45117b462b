// libFuzzer target: a fingerprint list as a user might paste anything. Either every line made a
// fingerprint of the right length, or the list is refused with a message naming one line of it.

#include "tls/fingerprints.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tls::FingerprintList list = tls::parse_fingerprint_list(text);
    if (!list.error.empty()) {
        constexpr std::string_view tail = "' is not a fingerprint.";
        check(list.fingerprints.empty() && list.error.front() == '\'' && list.error.size() > tail.size() + 1);
        check(list.error.ends_with(tail));
        const std::string_view named(list.error.data() + 1, list.error.size() - 1 - tail.size());
        check(!named.empty() && text.find(named) != std::string_view::npos && named.find('\n') == std::string_view::npos);
        return 0;
    }
    // A fingerprint line is at least "SHA1:" and 59 characters.
    check(list.fingerprints.size() <= size / 64);
    for (const tls::Fingerprint& fingerprint : list.fingerprints)
        check(fingerprint.digest.size() == (fingerprint.kind == tls::DigestKind::sha256 ? 32U : 20U));
    return 0;
}
