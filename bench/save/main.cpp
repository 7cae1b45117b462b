// How fast a log window saves its lines to a file, and the longest the event loop waits for a
// slice of the save meanwhile: ten million lines of about 100 bytes through "Save log as", next
// to a plain blocking write of the same bytes; then the same for a window holding one line of
// 100 MB.

#include "log_window_bench.h"
#include "stall_meter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int rounds = 3;

struct SaveRun {
    double seconds = 0;
    double max_stall_ms = 0;
    double max_busy_ms = 0;
    qint64 bytes = 0;
};

// "Save log as" of everything the window holds to `file_name`, its file dialog step replaced;
// timed until the file is committed under its name.
SaveRun save_log(logwin::LogWindow& window, const QString& file_name)
{
    window.ask_save_file_name = [&file_name] { return file_name; };
    bench::StallMeter meter;
    // A loop of its own: quitting the application's would close the window.
    QEventLoop loop;
    QTimer watcher;
    watcher.setInterval(1);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!window.saving())
            loop.quit();
    });
    meter.start();
    window.save_log_as(false);
    watcher.start();
    loop.exec();
    watcher.stop();
    meter.stop();
    SaveRun run{static_cast<double>(meter.elapsed_ns()) / 1e9, meter.max_stall_ms(), meter.max_busy_ms(),
                QFileInfo(file_name).size()};
    QFile::remove(file_name);
    return run;
}

// The same bytes written by a plain blocking loop, buffer by buffer, and committed the same way:
// what this disk allows at the moment, for comparison. Seconds.
double plain_save(const lines::LineSource& store, const QString& file_name)
{
    QElapsedTimer clock;
    clock.start();
    QSaveFile file(file_name);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    std::string buffer;
    std::vector<std::string_view> views(1000);
    for (int index = 0; index < store.line_count();) {
        const std::size_t count = store.line_views(index, views);
        for (std::size_t i = 0; i < count; ++i)
            buffer.append(views[i]).push_back('\n');
        index += static_cast<int>(count);
        if (buffer.size() >= (std::size_t{4} << 20) || index == store.line_count()) {
            file.write(buffer.data(), static_cast<qint64>(buffer.size()));
            buffer.clear();
        }
    }
    file.commit();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    QFile::remove(file_name);
    return seconds;
}

struct Figures {
    double mb_per_s = 0;
    double max_stall_ms = 0;
    double max_busy_ms = 0;
    double plain_mb_per_s = 0;
    double ratio = 0;
    bool complete = true;  // every file as long as the window's text
};

// Saves and plain writes of everything the window holds take turns, and each figure is the
// median of the rounds, so that a neighbour's burst on a shared disk or processor doesn't decide
// the comparison.
Figures measure(logwin::LogWindow& window, const QString& file_name)
{
    const qint64 expected = window.log_view()->source().byte_total() + window.log_view()->line_count();
    const double megabytes = static_cast<double>(expected) / 1e6;
    std::vector<double> rates, stalls, busy, plain_rates, ratios;
    Figures figures;
    for (int round = 0; round < rounds; ++round) {
        const SaveRun save = save_log(window, file_name);
        const double plain_seconds = plain_save(window.log_view()->source(), file_name);
        figures.complete = figures.complete && save.bytes == expected;
        rates.push_back(megabytes / save.seconds);
        stalls.push_back(save.max_stall_ms);
        busy.push_back(save.max_busy_ms);
        plain_rates.push_back(megabytes / plain_seconds);
        ratios.push_back(plain_seconds / save.seconds);
        std::printf("round %d: %d lines, %lld of %lld bytes saved in %.3f s (%.0f MB/s, longest stall %.2f ms, "
                    "at most %.2f ms busy); plain blocking loop %.3f s (%.0f MB/s)\n",
                    round + 1, window.log_view()->line_count(), static_cast<long long>(save.bytes),
                    static_cast<long long>(expected), save.seconds, rates.back(), save.max_stall_ms, save.max_busy_ms,
                    plain_seconds, plain_rates.back());
    }
    figures.mb_per_s = bench::median(rates);
    figures.max_stall_ms = bench::median(stalls);
    figures.max_busy_ms = bench::median(busy);
    figures.plain_mb_per_s = bench::median(plain_rates);
    figures.ratio = bench::median(ratios);
    return figures;
}

int run_all(int argc, char** argv)
{
    const int line_count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 10'000'000;
    const QString file_name = QDir::temp().filePath(QStringLiteral("vesmira-bench-save.log"));

    bench::BenchWindow many_lines = bench::open_filled_bench_window(line_count);
    const Figures lines = measure(*many_lines.window, file_name);
    bench::close_bench_window(many_lines);

    // One line without a line feed in it: the slices must cut it, not wait for its end.
    constexpr int long_line_mb = 100;
    bench::BenchWindow long_line = bench::open_bench_window();
    std::string line(std::size_t{long_line_mb} * 1'000'000, 'x');
    for (std::size_t i = 0; i < line.size(); i += 61)
        line[i] = ' ';
    long_line.window->log_view()->append_line(line);
    line = std::string();
    bench::settle_events();
    const Figures one_line = measure(*long_line.window, file_name);
    bench::close_bench_window(long_line);

    std::printf("\nBENCH save mb_per_s=%.0f max_stall_ms=%.2f max_busy_ms=%.2f plain_mb_per_s=%.0f ratio=%.2f\n",
                lines.mb_per_s, lines.max_stall_ms, lines.max_busy_ms, lines.plain_mb_per_s, lines.ratio);
    std::printf("BENCH save-longline mb=%d max_stall_ms=%.2f max_busy_ms=%.2f mb_per_s=%.0f plain_mb_per_s=%.0f "
                "ratio=%.2f\n",
                long_line_mb, one_line.max_stall_ms, one_line.max_busy_ms, one_line.mb_per_s, one_line.plain_mb_per_s,
                one_line.ratio);
    return lines.complete && one_line.complete ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    return bench::run_bench_application(argc, argv, [&] { return run_all(argc, argv); });
}
