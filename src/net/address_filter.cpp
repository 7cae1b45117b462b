// Parsing "Accept from" entries with inet_pton, and matching senders by prefix.

#include "net/address_filter.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <optional>

#include <arpa/inet.h>

namespace net {

namespace {

constexpr std::array<std::uint8_t, 12> mapped_prefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
// The longest entry worth reading: an IPv6 address with an embedded IPv4 and a prefix fits.
constexpr qsizetype longest_entry = 64;

// Digits only, at most three: "+24", " 24" and "0x18" are no prefixes.
std::optional<int> prefix_length(const QString& text)
{
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    int length = 0;
    for (const QChar digit : text) {
        if (digit < QLatin1Char('0') || digit > QLatin1Char('9'))
            return std::nullopt;
        length = length * 10 + (digit.unicode() - '0');
    }
    return length;
}

}  // namespace

std::variant<AddressFilter, QString> AddressFilter::parse(const QString& text)
{
    AddressFilter filter;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString entry = part.trimmed();
        if (entry.isEmpty())
            continue;
        const QString malformed = QLatin1Char('\'') + entry + QStringLiteral("' is not an address or network.");
        if (entry.size() > longest_entry)
            return malformed;
        const qsizetype slash = entry.indexOf(QLatin1Char('/'));
        const QByteArray address = entry.left(slash).toLatin1();
        // inet_pton would read up to a NUL and take what follows it for nothing.
        if (address.contains('\0'))
            return malformed;
        Network network;
        int longest = 128;
        if (::inet_pton(AF_INET, address.constData(), network.bytes.data() + mapped_prefix.size()) == 1) {
            std::memcpy(network.bytes.data(), mapped_prefix.data(), mapped_prefix.size());
            longest = 32;
        } else if (::inet_pton(AF_INET6, address.constData(), network.bytes.data()) != 1) {
            return malformed;
        }
        int prefix = longest;
        if (slash >= 0) {
            const std::optional<int> given = prefix_length(entry.mid(slash + 1));
            if (!given || *given > longest)
                return malformed;
            prefix = *given;
        }
        network.prefix = prefix + (128 - longest);
        // A network written with host bits ("192.168.1.5/24") means the network they lie in.
        for (int bit = network.prefix; bit < 128; ++bit)
            network.bytes[static_cast<std::size_t>(bit / 8)] &= static_cast<std::uint8_t>(~(0x80u >> (bit % 8)));
        filter.networks_.push_back(network);
    }
    return filter;
}

AddressFilter AddressFilter::nobody()
{
    AddressFilter filter;
    filter.refuses_everyone_ = true;
    return filter;
}

bool AddressFilter::allows(const platform::PeerAddress& sender) const
{
    if (allows_everyone())
        return true;
    if (!sender.known)
        return false;
    return std::any_of(networks_.begin(), networks_.end(), [&](const Network& network) {
        const auto whole = static_cast<std::size_t>(network.prefix / 8);
        if (std::memcmp(network.bytes.data(), sender.bytes.data(), whole) != 0)
            return false;
        const int rest = network.prefix % 8;
        if (rest == 0)
            return true;
        const auto mask = static_cast<std::uint8_t>(0xff00u >> rest);
        return (sender.bytes[whole] & mask) == network.bytes[whole];
    });
}

}  // namespace net
