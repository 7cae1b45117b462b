// Syslog over TCP: one loopback sender writes 1,000,000 octet-counted RFC 5424 messages of
// about 100 bytes into a real syslog window (offscreen); messages/s until every one is shown,
// next to the same sender writing as many 100-byte plain lines into a text-lines window, in
// rounds that take turns so that a neighbour's burst doesn't decide the ratio.

#include "log_window_bench.h"
#include "stall_meter.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t message_bytes = 100;  // line feed or count included

// One prepared block of messages, sent again and again, so that the sender costs little more
// than its send calls.
std::string message_block(net::Protocol protocol)
{
    std::string block;
    char message[message_bytes + 1];
    for (int index = 0; block.size() + message_bytes <= 64 * 1024; ++index) {
        if (protocol == net::Protocol::syslog) {
            // "97 " and 97 bytes of message.
            const int length = std::snprintf(message, sizeof message,
                                             "%zu <%d>1 2026-12-09T10:00:%02d.%03dZ web-%02d app %d - - request %06d",
                                             message_bytes - 3, 8 + index % 8, index % 60, index % 1000, index % 16,
                                             1000 + index % 50, index);
            block.append(message, static_cast<std::size_t>(length));
            block.append(message_bytes - static_cast<std::size_t>(length), '.');
        } else {
            const int length = std::snprintf(message, sizeof message, "plain line %06d status=ok", index);
            block.append(message, static_cast<std::size_t>(length));
            block.append(message_bytes - 1 - static_cast<std::size_t>(length), '.');
            block.push_back('\n');
        }
    }
    return block;
}

void send_messages(const loopback::Sender* connection, const std::string& block, long messages)
{
    const long block_messages = static_cast<long>(block.size() / message_bytes);
    for (long done = 0; done < messages;) {
        const long count = std::min(block_messages, messages - done);
        if (!connection->send(std::string_view(block.data(), static_cast<std::size_t>(count) * message_bytes)))
            return;
        done += count;
    }
}

// Messages per second until every message is a line of the window; 0 when they didn't all come.
double run(net::Protocol protocol, long messages)
{
    bench::BenchWindow bench_window = bench::open_bench_window(0, protocol);
    std::vector<std::unique_ptr<loopback::Sender>> connections = bench::connect_senders(bench_window, 1);
    const std::string block = message_block(protocol);
    bench::StallMeter clock;
    std::thread sender;
    const qint64 time_done = bench::receive_until(
        bench_window, clock,
        [&] { sender = std::thread(send_messages, connections.front().get(), std::cref(block), messages); },
        [&] { return bench_window.window->log_view()->line_count() >= messages; }, 60'000);
    sender.join();
    bench::close_bench_window(bench_window);
    return time_done > 0 ? static_cast<double>(messages) / (static_cast<double>(time_done) / 1e9) : 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    const long messages = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    return bench::run_bench_application(argc, argv, [messages] {
        std::vector<double> syslog_rates;
        std::vector<double> lines_rates;
        std::printf("%-8s %12s %12s\n", "round", "syslog/s", "lines/s");
        for (int round = 0; round < 3; ++round) {
            syslog_rates.push_back(run(net::Protocol::syslog, messages));
            lines_rates.push_back(run(net::Protocol::lines, messages));
            std::printf("%-8d %12.0f %12.0f\n", round + 1, syslog_rates.back(), lines_rates.back());
        }
        const double syslog = bench::median(syslog_rates);
        const double lines = bench::median(lines_rates);
        std::printf("BENCH syslog-tcp messages_per_s=%.0f ratio_to_lines=%.2f\n", syslog, lines > 0 ? syslog / lines : 0.0);
        return 0;
    });
}
