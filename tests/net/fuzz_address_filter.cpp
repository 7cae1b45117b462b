// libFuzzer target: any text as an "Accept from" list; a list that parses is matched against
// senders of both families.

#include "net/address_filter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto parsed = net::AddressFilter::parse(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const auto* filter = std::get_if<net::AddressFilter>(&parsed);
    if (filter == nullptr)
        return 0;
    platform::PeerAddress sender;
    sender.known = true;
    // The input's first bytes as an IPv6 sender, then as a mapped IPv4 one.
    std::memcpy(sender.bytes.data(), data, std::min(size, sender.bytes.size()));
    (void)filter->allows(sender);
    sender.bytes = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    std::memcpy(sender.bytes.data() + 12, data, std::min<std::size_t>(size, 4));
    (void)filter->allows(sender);
    return 0;
}
