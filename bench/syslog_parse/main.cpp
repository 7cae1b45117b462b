// Reading syslog messages on one core: 1,000,000 messages made up front (RFC 5424 with
// structured data, RFC 3164 with and without a hostname, rsyslog's ISO times, Cisco forms; 60 to
// 400 bytes), each read with read_message for its priority and header fields. The median of a
// few rounds over all of them, since the machine is shared.

#include "syslog/message.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using namespace syslog_proto;

namespace {

constexpr int message_count = 1'000'000;
constexpr int rounds = 7;
constexpr std::size_t shortest = 60;
constexpr std::size_t longest = 400;

// Message text is cut from this at a random place, up to the length the message is to have.
constexpr std::string_view filler =
    "Accepted publickey for deploy from 192.0.2.17 port 52314 ssh2: ED25519 SHA256:q0dW3c "
    "Interface GigabitEthernet0/1, changed state to down; neighbor 10.0.0.2 (Vlan20) is down: "
    "BFD peer timed out after 3 intervals of 300 ms, retrying with backoff 2000 ms "
    "pam_unix(sudo:session): session opened for user root(uid=0) by admin(uid=1000) "
    "kernel: [UFW BLOCK] IN=eth0 OUT= MAC=52:54:00:12:34:56 SRC=203.0.113.9 DST=192.0.2.1 LEN=60 "
    "TOS=0x00 PREC=0x00 TTL=52 ID=31337 DF PROTO=TCP SPT=41922 DPT=23 WINDOW=29200 RES=0x00 SYN "
    "Configured from console by vty0 (198.51.100.4); %SEC-6-IPACCESSLOGP: list 110 denied tcp ";

std::string make_message(std::mt19937& random, int index)
{
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    char header[256];
    const int priority = pick(0, 191);
    const int second = index % 60;
    int length = 0;
    switch (index % 6) {
    case 0:
    case 1:
        length = std::snprintf(header, sizeof header,
                               "<%d>1 2024-03-01T18:46:%02d.%06dZ host-%03d.example.net app-%d %d ID%d "
                               "[origin@32473 ip=\"10.0.%d.%d\" software=\"vesmira\"][meta sequenceId=\"%d\"] ",
                               priority, second, pick(0, 999'999), pick(0, 999), pick(0, 9), pick(1, 99'999), pick(1, 99),
                               pick(0, 255), pick(0, 255), index);
        break;
    case 2:
        length = std::snprintf(header, sizeof header, "<%d>Mar %2d 18:46:%02d host-%03d sshd[%d]: ", priority, pick(1, 28),
                               second, pick(0, 999), pick(1, 99'999));
        break;
    case 3:
        length = std::snprintf(header, sizeof header, "<%d>Mar %2d 18:46:%02d CRON[%d]: ", priority, pick(1, 28), second,
                               pick(1, 99'999));
        break;
    case 4:
        length = index % 12 == 4
                     ? std::snprintf(header, sizeof header, "<%d>%d: *Mar  1 18:46:%02d.%03d UTC: %%SYS-5-CONFIG_I: ",
                                     priority, index, second, pick(0, 999))
                     : std::snprintf(header, sizeof header, "<%d>%d: router%d: %%LINK-3-UPDOWN: ", priority, index, pick(1, 9));
        break;
    default:
        length = std::snprintf(header, sizeof header, "<%d>2024-03-01T18:46:%02d.%06d+01:00 host-%03d app[%d]: ", priority,
                               second, pick(0, 999'999), pick(0, 999), pick(1, 99'999));
        break;
    }
    std::string message(header, static_cast<std::size_t>(length));
    const std::size_t wanted = std::max(message.size() + 8, static_cast<std::size_t>(pick(shortest, longest)));
    while (message.size() < wanted) {
        const std::size_t from = static_cast<std::size_t>(pick(0, static_cast<int>(filler.size()) - 1));
        message.append(filler.substr(from, wanted - message.size()));
    }
    return message;
}

}  // namespace

int main()
{
    // All messages in one block, as a receive buffer holds them.
    std::mt19937 random(20240301);
    std::string block;
    std::vector<std::pair<std::size_t, std::size_t>> places;
    places.reserve(message_count);
    for (int index = 0; index < message_count; ++index) {
        const std::string message = make_message(random, index);
        places.emplace_back(block.size(), message.size());
        block += message;
    }
    std::vector<std::string_view> messages;
    messages.reserve(message_count);
    for (const auto& [at, size] : places)
        messages.emplace_back(block.data() + at, size);

    const Timestamp arrival{2024, 3, 2, 10, 0, 0, 0, true, 60};
    std::printf("%8s %14s %14s %10s\n", "round", "messages_per_s", "ns_per_message", "check");
    std::vector<double> rates;
    for (int round = 0; round < rounds; ++round) {
        // What was read is summed, so that no reading can be left out.
        std::uint64_t check = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const std::string_view text : messages) {
            const Message message = read_message(text, arrival);
            check += static_cast<std::uint64_t>(severity_of(message.priority)) + message.hostname.size() +
                     message.app_name.size() + message.text.size() +
                     (message.timestamp ? static_cast<std::uint64_t>(message.timestamp->second) : 0);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rates.push_back(message_count / seconds);
        std::printf("%8d %14.0f %14.1f %10llu\n", round + 1, rates.back(), 1e9 / rates.back(),
                    static_cast<unsigned long long>(check));
    }
    std::nth_element(rates.begin(), rates.begin() + rounds / 2, rates.end());
    const double rate = rates[rounds / 2];
    std::printf("\n(%d messages of %zu to %zu bytes, %.1f MB; target: at least 3,000,000 messages/s)\n", message_count,
                shortest, longest, static_cast<double>(block.size()) / 1e6);
    std::printf("BENCH syslog-parse messages_per_s=%.0f ns_per_message=%.1f\n", rate, 1e9 / rate);
    return 0;
}
