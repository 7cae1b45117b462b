// Syslog over TCP: one loopback sender writes 1,000,000 octet-counted RFC 5424 messages of
// about 100 bytes into a real syslog window (offscreen); messages/s until every one is shown,
// next to the same sender writing as many 100-byte plain lines into a text-lines window, in
// rounds that take turns so that a neighbour's burst doesn't decide the ratio.

#include "syslog_bench.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Messages per second until every message is a line of the window; 0 when they didn't all come.
double run(net::Protocol protocol, long messages)
{
    bench::BenchWindow bench_window = bench::open_syslog_window(protocol);
    std::vector<std::unique_ptr<loopback::Sender>> connections = bench::connect_senders(bench_window, 1);
    const double rate =
        bench::receive_rate(bench_window, *connections.front(), bench::message_block(protocol), messages).messages_per_s;
    bench::close_bench_window(bench_window);
    return rate;
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
