// Scrollback benchmark: one sender writes 1 GB of 100-byte lines into a real log window
// (offscreen) limited to 100 MB of text, and the same without a limit: the line rate of each,
// the resident memory the limited window grows by, and the longest event-loop stall.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "log_window_bench.h"
#include "logwin/log_window.h"
#include "net/tserversocket.h"
#include "resident_memory.h"
#include "stall_meter.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int line_bytes = 100;  // line feed included

struct Result {
    double lines_per_s = 0;
    double max_stall_ms = 0;
    double resident_mb = 0;
    double text_mb = 0;  // what the window holds at the end
    double after_close_mb = 0;  // resident memory after closing, over what it was before opening
    bool complete = false;
};

void send_lines(const loopback::Sender* connection, long lines)
{
    constexpr long block_lines = 64 * 1024 / line_bytes;
    std::string block;
    for (long index = 0; index < block_lines; ++index) {
        std::string line = "line " + std::to_string(index) + " of a log that never ends, kept within its limit ";
        line.resize(line_bytes - 1, '.');
        block.append(line).push_back('\n');
    }
    for (long done = 0; done < lines; done += block_lines)
        if (!connection->send(std::string_view(block).substr(0, static_cast<std::size_t>(std::min(block_lines, lines - done) * line_bytes))))
            return;
}

Result run(std::int64_t limit_bytes, long lines)
{
    Result result;
    malloc_trim(0);
    const double resident_start = bench::resident_bytes();
    bench::BenchWindow bench_window = bench::open_bench_window(limit_bytes);
    auto& window = bench_window.window;
    QCoreApplication::processEvents();
    const double resident_before = bench::resident_bytes();
    auto peer = std::move(bench::connect_senders(bench_window, 1).front());

    // Every line counts once, whether it is still held or was dropped since.
    const std::int64_t total = lines;
    bench::StallMeter clock;
    std::thread sender;
    const lines::LineSource& store = window->log_view()->source();
    const qint64 time_done = bench::receive_until(
        bench_window, clock, [&] { sender = std::thread(send_lines, peer.get(), lines); },
        [&] { return store.first_line_number() + store.line_count() >= total; }, 300'000);
    sender.join();
    peer.reset();

    result.complete = time_done > 0;
    result.max_stall_ms = clock.max_stall_ms();
    if (result.complete)
        result.lines_per_s = static_cast<double>(total) / (static_cast<double>(time_done) / 1e9);
    result.resident_mb = (bench::resident_bytes() - resident_before) / 1e6;
    result.text_mb = static_cast<double>(window->log_view()->source().byte_total()) / 1e6;
    bench::close_bench_window(bench_window);
    QCoreApplication::processEvents();
    result.after_close_mb = (bench::resident_bytes() - resident_start) / 1e6;
    return result;
}

int measure(int argc, char* argv[])
{
    long megabytes = 1000;
    if (argc > 1)
        megabytes = std::max(200L, std::atol(argv[1]));
    const long lines = megabytes * 1'000'000 / line_bytes;
    constexpr std::int64_t limit_mb = 100;

    run(0, lines / 20);  // first use of fonts, sockets and allocator
    const Result limited = run(limit_mb << 20, lines);
    const Result unlimited = run(0, lines);

    std::printf("%-10s %12s %13s %12s %10s %22s\n", "limit", "lines/s", "max stall ms", "resident MB", "text MB",
                "resident after close MB");
    const auto row = [](const char* name, const Result& r) {
        std::printf("%-10s %12.0f %13.1f %12.1f %10.1f %22.1f%s\n", name, r.lines_per_s, r.max_stall_ms, r.resident_mb,
                    r.text_mb, r.after_close_mb, r.complete ? "" : "  (incomplete)");
    };
    row("100 MB", limited);
    row("none", unlimited);
    std::printf("BENCH scrollback limit_mb=%lld resident_mb=%.1f lines_per_s=%.0f ratio_to_unlimited=%.2f max_stall_ms=%.1f\n",
                static_cast<long long>(limit_mb), limited.resident_mb, limited.lines_per_s,
                unlimited.lines_per_s > 0 ? limited.lines_per_s / unlimited.lines_per_s : 0.0, limited.max_stall_ms);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    return bench::run_bench_application(argc, argv, [&] { return measure(argc, argv); });
}
