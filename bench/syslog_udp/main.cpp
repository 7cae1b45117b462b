// Syslog over UDP: a loopback sender thread sends RFC 5424 datagrams of about 100 bytes to a
// real syslog window (offscreen). First paced at 200,000 datagrams a second for two seconds:
// how many were lost (sent and never shown, the kernel's drops among them) and the longest
// event-loop stall. Then as fast as the sender can: the datagrams per second the window shows
// while it runs, and what that rate lost.

#include "log_window_bench.h"
#include "stall_meter.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr long paced_rate = 200'000;

struct Result {
    long sent = 0;
    long shown = 0;
    std::int64_t dropped = 0;  // as the window counts the kernel's drops
    double seconds = 0;
    double max_stall_ms = 0;
    double max_busy_ms = 0;  // of the longest stall, the window thread's own processor time
};

// Sends `count` datagrams to port on loopback, `rate` a second (0: as fast as it can), from
// 256 prepared ones, up to 64 in one sendmmsg: on loopback the sender's system calls also do
// the kernel's receiving work, and on a 2-core machine one sendto each would make the sender,
// not the window, the limit. Returns the number sent.
long send_datagrams(quint16 port, long count, long rate)
{
    const int handle = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<std::string> prepared;
    char message[160];
    for (int index = 0; index < 256; ++index) {
        const int length = std::snprintf(message, sizeof message,
                                         "<%d>1 2026-12-09T10:00:%02d.%03dZ router-%02d kernel - - - packet %06d "
                                         "dropped by rule %03d",
                                         8 + index % 8, index % 60, index % 1000, index % 8, index, index % 97);
        prepared.emplace_back(message, static_cast<std::size_t>(length));
    }
    constexpr long batch = 64;
    std::vector<iovec> pieces(prepared.size());
    std::vector<mmsghdr> messages(prepared.size() + batch);
    for (std::size_t index = 0; index < messages.size(); ++index) {
        std::string& datagram = prepared[index % prepared.size()];
        pieces[index % prepared.size()] = {datagram.data(), datagram.size()};
        messages[index].msg_hdr.msg_name = &to;
        messages[index].msg_hdr.msg_namelen = sizeof to;
        messages[index].msg_hdr.msg_iov = &pieces[index % prepared.size()];
        messages[index].msg_hdr.msg_iovlen = 1;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    long sent = 0;
    while (sent < count) {
        long allowed = std::min(batch, count - sent);
        if (rate > 0) {
            // Bursts of what is due keep the average without a timer per datagram.
            const auto due = static_cast<long>(
                std::chrono::duration<double>(Clock::now() - start).count() * static_cast<double>(rate));
            allowed = std::min(allowed, due - sent);
            if (allowed <= 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
        }
        const int done = ::sendmmsg(handle, &messages[static_cast<std::size_t>(sent % 256)],
                                    static_cast<unsigned>(allowed), 0);
        if (done > 0)
            sent += done;
    }
    ::close(handle);
    return sent;
}

Result run(long count, long rate)
{
    bench::BenchWindow bench_window = bench::open_bench_window(0, net::Protocol::syslog);
    logwin::LogWindow& window = *bench_window.window;
    bench::StallMeter clock;
    std::atomic<long> sent{-1};
    clock.start();
    std::thread sender([&] { sent = send_datagrams(bench_window.port, count, rate); });
    // Until the sender is through and nothing more arrives for half a second.
    QElapsedTimer quiet;
    quiet.start();
    int shown = 0;
    while (sent < 0 || quiet.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (window.log_view()->line_count() != shown) {
            shown = window.log_view()->line_count();
            quiet.restart();
        }
    }
    clock.stop();
    sender.join();
    Result result;
    result.sent = sent;
    result.shown = shown;
    result.dropped = window.log_channel->lost();
    result.seconds = static_cast<double>(clock.elapsed_ns() - quiet.nsecsElapsed()) / 1e9;
    result.max_stall_ms = clock.max_stall_ms();
    result.max_busy_ms = clock.max_busy_ms();
    bench::close_bench_window(bench_window);
    return result;
}

}  // namespace

int main(int argc, char* argv[])
{
    const long unpaced_count = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    return bench::run_bench_application(argc, argv, [unpaced_count] {
        const Result paced = run(2 * paced_rate, paced_rate);
        const Result unpaced = run(unpaced_count, 0);
        std::printf("%-8s %10s %10s %10s %10s %10s %12s\n", "run", "sent", "shown", "dropped", "stall ms", "busy ms",
                    "shown/s");
        for (const auto& [name, result] : {std::pair{"paced", paced}, std::pair{"unpaced", unpaced}})
            std::printf("%-8s %10ld %10ld %10lld %10.1f %10.1f %12.0f\n", name, result.sent, result.shown,
                        static_cast<long long>(result.dropped), result.max_stall_ms, result.max_busy_ms,
                        static_cast<double>(result.shown) / result.seconds);
        std::printf("BENCH syslog-udp paced_per_s=%ld lost=%ld max_stall_ms=%.1f max_busy_ms=%.1f unpaced_per_s=%.0f "
                    "unpaced_lost=%ld\n",
                    paced_rate, paced.sent - paced.shown, paced.max_stall_ms, paced.max_busy_ms,
                    static_cast<double>(unpaced.shown) / unpaced.seconds, unpaced.sent - unpaced.shown);
        return 0;
    });
}
