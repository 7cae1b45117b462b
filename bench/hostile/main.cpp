// Hostile senders against a syslog-tls window (offscreen): one good TLS 1.3 sender connects
// first, so it holds one of the window's 1,000 connections; then 2,000 connections that never
// start their handshake and 1,000 that send their ClientHello one byte a second. The good
// sender writes 100,000 octet-counted messages of about 100 bytes: lines/s until every one is
// shown, next to the same sender alone (quiet), in rounds that take turns so that a neighbour's
// burst doesn't decide the ratio; and the process's resident memory after the hostile run.

#include "loopback_tls.h"
#include "resident_memory.h"
#include "syslog_bench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int silent_connections = 2000;
constexpr int trickling_connections = 1000;
constexpr int rounds = 5;

// The hostile connections, opened one after another; two silent ones for each trickling one,
// so that both kinds hold some of the window's connections.
class Hostile {
public:
    explicit Hostile(quint16 port) : hello_(loopback::TlsSender::hello())
    {
        for (int made = 0; made < silent_connections + trickling_connections; ++made)
            (made % 3 == 2 ? trickling_ : silent_).push_back(std::make_unique<loopback::Sender>(port));
    }
    ~Hostile()
    {
        stop_ = true;
        if (trickler_.joinable())
            trickler_.join();
    }
    Hostile(const Hostile&) = delete;
    Hostile& operator=(const Hostile&) = delete;

    // Each trickling connection gets its hello's next byte once a second, the connections spread
    // over the second, until the hello is sent or the window closed it.
    void start_trickling()
    {
        trickler_ = std::thread([this] {
            using clock = std::chrono::steady_clock;
            std::vector<char> open(trickling_.size(), 1);
            for (std::size_t sent = 0; sent < hello_.size() && !stop_; ++sent) {
                const clock::time_point second = clock::now();
                for (std::size_t index = 0; index < trickling_.size() && !stop_; ++index) {
                    std::this_thread::sleep_until(
                        second + std::chrono::microseconds(1'000'000 * static_cast<long>(index)
                                                           / static_cast<long>(trickling_.size())));
                    if (open[index] != 0)
                        open[index] = trickling_[index]->send(std::string_view(hello_).substr(sent, 1)) ? 1 : 0;
                }
            }
        });
    }

    int count() const { return static_cast<int>(silent_.size() + trickling_.size()); }

private:
    std::string hello_;
    std::vector<std::unique_ptr<loopback::Sender>> silent_;
    std::vector<std::unique_ptr<loopback::Sender>> trickling_;
    std::thread trickler_;
    std::atomic<bool> stop_ = false;
};

struct Run {
    double lines_per_s = 0;
    double window_ns_per_line = 0;  // the window thread's processor time
    int held = 0;  // connections the window held while the good sender sent
    std::int64_t refused = 0;
    double resident_mb = 0;
};

Run run(bool hostile, long messages)
{
    bench::BenchWindow bench_window = bench::open_syslog_window(net::Protocol::syslog_tls);
    channel::LogChannel& channel = *bench_window.window->log_channel;
    loopback::TlsSender good(bench_window.port);
    Run result;
    if (!bench::while_serving([&] { return good.handshake(); })) {
        bench::close_bench_window(bench_window);
        return result;
    }
    std::unique_ptr<Hostile> attack;
    if (hostile) {
        attack = bench::while_serving([&] { return std::make_unique<Hostile>(bench_window.port); });
        // Every one of them held or refused.
        bench::serve_until([&] { return channel.senders() + channel.refused() >= 1 + attack->count(); }, 30'000);
        attack->start_trickling();
    }
    const bench::ReceiveRate rate =
        bench::receive_rate(bench_window, good, bench::message_block(net::Protocol::syslog_tls), messages);
    result.lines_per_s = rate.messages_per_s;
    result.window_ns_per_line = rate.window_ns_per_message;
    result.held = channel.senders();
    result.refused = channel.refused();
    result.resident_mb = bench::resident_bytes() / 1e6;
    attack.reset();
    bench::close_bench_window(bench_window);
    return result;
}

// Both ends of every connection live in this process.
void raise_descriptor_limit()
{
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 16'384);
    setrlimit(RLIMIT_NOFILE, &files);
}

}  // namespace

int main(int argc, char* argv[])
{
    const long messages = argc > 1 ? std::atol(argv[1]) : 100'000;
    raise_descriptor_limit();
    return bench::run_bench_application(argc, argv, [messages] {
        std::vector<double> quiet_rates;
        std::vector<double> hostile_rates;
        double resident_mb = 0;
        std::printf("%-8s %12s %12s %9s %11s %8s %8s %12s\n", "round", "quiet/s", "hostile/s", "quiet ns", "hostile ns",
                    "held", "refused", "resident MB");
        for (int round = 0; round < rounds; ++round) {
            const Run quiet = run(false, messages);
            const Run hostile = run(true, messages);
            quiet_rates.push_back(quiet.lines_per_s);
            hostile_rates.push_back(hostile.lines_per_s);
            resident_mb = hostile.resident_mb;
            std::printf("%-8d %12.0f %12.0f %9.0f %11.0f %8d %8lld %12.1f\n", round + 1, quiet.lines_per_s,
                        hostile.lines_per_s, quiet.window_ns_per_line, hostile.window_ns_per_line, hostile.held,
                        static_cast<long long>(hostile.refused), hostile.resident_mb);
        }
        const double quiet = bench::median(quiet_rates);
        const double hostile = bench::median(hostile_rates);
        std::printf("BENCH hostile good_lines_per_s=%.0f ratio_to_quiet=%.2f resident_mb=%.0f\n", hostile,
                    quiet > 0 ? hostile / quiet : 0.0, resident_mb);
        return 0;
    });
}
