// Long-line benchmark: a sender writes one line of 100 MB without a line feed in 64 KiB chunks,
// then "\nend\n", into a real log window (offscreen); then two senders interleave 8 MB partial
// lines. Measures the receiving rate, the longest event-loop stall, the resident memory grown
// per byte received, and what closing the window gives back.

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
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <unistd.h>

namespace {

constexpr std::size_t chunk_bytes = 64 * 1024;

struct Result {
    double mb = 0;
    double mb_per_s = 0;
    double max_stall_ms = 0;
    double resident_over_bytes = 0;
    double resident_after_close_mb = 0;
    bool complete = false;
};

// Each sender writes `line_bytes` bytes of one line in chunks, then a line feed.
void send_line(const loopback::Sender* connection, char letter, std::size_t line_bytes)
{
    std::string chunk(chunk_bytes, letter);
    for (std::size_t i = 0; i < chunk.size(); i += 61)
        chunk[i] = ' ';
    for (std::size_t sent = 0; sent < line_bytes; sent += chunk_bytes)
        if (!connection->send(std::string_view(chunk).substr(0, std::min(chunk_bytes, line_bytes - sent))))
            return;
    connection->send("\n");
}

Result run(int senders, std::size_t line_bytes)
{
    Result result;
    malloc_trim(0);
    const double resident_start = bench::resident_bytes();
    bench::BenchWindow bench_window = bench::open_bench_window();
    auto& window = bench_window.window;
    QCoreApplication::processEvents();
    const double resident_before = bench::resident_bytes();
    std::vector<std::unique_ptr<loopback::Sender>> connections = bench::connect_senders(bench_window, senders);

    const std::size_t total = line_bytes * static_cast<std::size_t>(senders);
    bench::StallMeter clock;
    std::vector<std::thread> threads;
    const lines::LineSource& store = window->log_view()->source();
    const qint64 time_done = bench::receive_until(
        bench_window, clock,
        [&] {
            for (int sender = 0; sender < senders; ++sender)
                threads.emplace_back(send_line, connections[static_cast<std::size_t>(sender)].get(),
                                     static_cast<char>('a' + sender), line_bytes);
        },
        [&] { return !window->last_line_open() && store.byte_total() >= static_cast<lines::TextOffset>(total); },
        120'000);
    for (std::thread& thread : threads)
        thread.join();
    if (senders == 1)
        connections[0]->send("end\n");
    connections.clear();
    QCoreApplication::processEvents();

    result.mb = static_cast<double>(total) / 1e6;
    result.complete = time_done > 0;
    result.max_stall_ms = clock.max_stall_ms();
    if (result.complete)
        result.mb_per_s = result.mb / (static_cast<double>(time_done) / 1e9);
    result.resident_over_bytes = (bench::resident_bytes() - resident_before) / static_cast<double>(total);
    bench::close_bench_window(bench_window);
    QCoreApplication::processEvents();
    result.resident_after_close_mb = (bench::resident_bytes() - resident_start) / 1e6;
    return result;
}

int measure(int argc, char* argv[])
{
    std::size_t megabytes = 100;
    if (argc > 1)
        megabytes = static_cast<std::size_t>(std::max(1L, std::atol(argv[1])));

    run(1, 1'000'000);  // first use of fonts, sockets and allocator
    const Result one = run(1, megabytes * 1'000'000);
    const Result two = run(2, 8'000'000);

    std::printf("%-22s %8s %10s %13s %20s %20s\n", "run", "MB", "MB/s", "max stall ms", "resident / received",
                "resident after close MB");
    const auto row = [](const char* name, const Result& r) {
        std::printf("%-22s %8.0f %10.1f %13.1f %20.2f %20.1f%s\n", name, r.mb, r.mb_per_s, r.max_stall_ms,
                    r.resident_over_bytes, r.resident_after_close_mb, r.complete ? "" : "  (incomplete)");
    };
    row("one line", one);
    row("two interleaved lines", two);
    std::printf("BENCH longline mb=%.0f max_stall_ms=%.1f resident_over_bytes=%.2f mb_per_s=%.1f\n", one.mb,
                one.max_stall_ms, one.resident_over_bytes, one.mb_per_s);
    std::printf("BENCH longline-interleaved mb=%.0f max_stall_ms=%.1f resident_over_bytes=%.2f mb_per_s=%.1f\n", two.mb,
                two.max_stall_ms, two.resident_over_bytes, two.mb_per_s);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    return bench::run_bench_application(argc, argv, [&] { return measure(argc, argv); });
}
