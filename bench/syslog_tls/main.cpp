// Syslog over TLS: one loopback sender writes 1,000,000 octet-counted RFC 5424 messages of
// about 100 bytes over TLS 1.3 into a real syslog-tls window (offscreen); messages/s until
// every one is shown, next to the same sender writing them over plain TCP into a syslog window,
// in rounds that take turns so that a neighbour's burst doesn't decide the ratio. Then full
// handshakes: one client thread connects, shakes hands and closes, again and again; handshakes
// per second until the window has ended every connection, none refused.

#include "loopback_tls.h"
#include "syslog_bench.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int handshake_rounds = 3;

bench::ReceiveRate tls_run(long messages)
{
    bench::BenchWindow bench_window = bench::open_syslog_window(net::Protocol::syslog_tls);
    loopback::TlsSender sender(bench_window.port);
    bench::ReceiveRate rate;
    if (bench::while_serving([&] { return sender.handshake(); }))
        rate = bench::receive_rate(bench_window, sender, bench::message_block(net::Protocol::syslog_tls), messages);
    bench::close_bench_window(bench_window);
    return rate;
}

bench::ReceiveRate tcp_run(long messages)
{
    bench::BenchWindow bench_window = bench::open_syslog_window(net::Protocol::syslog);
    std::vector<std::unique_ptr<loopback::Sender>> connections = bench::connect_senders(bench_window, 1);
    const bench::ReceiveRate rate =
        bench::receive_rate(bench_window, *connections.front(), bench::message_block(net::Protocol::syslog), messages);
    bench::close_bench_window(bench_window);
    return rate;
}

struct Handshakes {
    double per_s = 0;
    double window_cpu_us = 0;  // the window's thread, per handshake
    std::int64_t refused = 0;
};

// `count` connections one after another, each closed once its handshake is done.
Handshakes handshake_run(int count)
{
    bench::BenchWindow bench_window = bench::open_syslog_window(net::Protocol::syslog_tls);
    channel::LogChannel& channel = *bench_window.window->log_channel;
    QElapsedTimer clock;
    clock.start();
    const qint64 cpu_before = bench::StallMeter::thread_time_ns();
    const int failed = bench::while_serving([&] {
        int failures = 0;
        for (int made = 0; made < count; ++made)
            failures += loopback::TlsSender(bench_window.port).handshake() ? 0 : 1;
        return failures;
    });
    bench::serve_until([&] { return channel.senders() == 0; }, 30'000);
    Handshakes result;
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double cpu_us = static_cast<double>(bench::StallMeter::thread_time_ns() - cpu_before) / 1e3;
    result.refused = channel.refused();
    const auto done = static_cast<double>(count - failed - result.refused);
    if (channel.senders() == 0 && done > 0) {
        result.per_s = done / seconds;
        result.window_cpu_us = cpu_us / done;
    }
    bench::close_bench_window(bench_window);
    return result;
}

}  // namespace

int main(int argc, char* argv[])
{
    const long messages = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    const int handshakes = argc > 2 ? std::atoi(argv[2]) : 3000;
    return bench::run_bench_application(argc, argv, [messages, handshakes] {
        std::vector<double> tls_rates;
        std::vector<double> tcp_rates;
        std::printf("%-8s %12s %12s %14s %14s\n", "round", "tls/s", "tcp/s", "tls window ns", "tcp window ns");
        for (int round = 0; round < 3; ++round) {
            const bench::ReceiveRate tls = tls_run(messages);
            const bench::ReceiveRate tcp = tcp_run(messages);
            tls_rates.push_back(tls.messages_per_s);
            tcp_rates.push_back(tcp.messages_per_s);
            std::printf("%-8d %12.0f %12.0f %14.0f %14.0f\n", round + 1, tls.messages_per_s, tcp.messages_per_s,
                        tls.window_ns_per_message, tcp.window_ns_per_message);
        }
        std::vector<double> handshake_rates;
        std::printf("%-8s %12s %14s %8s\n", "round", "handshakes/s", "window us/each", "refused");
        for (int round = 0; round < handshake_rounds; ++round) {
            const Handshakes run = handshake_run(handshakes);
            handshake_rates.push_back(run.per_s);
            std::printf("%-8d %12.0f %14.1f %8lld\n", round + 1, run.per_s, run.window_cpu_us,
                        static_cast<long long>(run.refused));
        }
        const double tls = bench::median(tls_rates);
        const double tcp = bench::median(tcp_rates);
        std::printf("BENCH syslog-tls messages_per_s=%.0f ratio_to_tcp=%.2f handshakes_per_s=%.0f\n", tls,
                    tcp > 0 ? tls / tcp : 0.0, bench::median(handshake_rates));
        return 0;
    });
}
