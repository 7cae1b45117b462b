// How fast a log window saves its lines to a file, and the longest the event loop waits for a
// slice of the save meanwhile: ten million lines of about 100 bytes through "Save log as".

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


// The same bytes written by a plain blocking loop, buffer by buffer, and committed the same way:
// what this disk allows at the moment, for comparison. Seconds.
double plain_save(const colormemo::LineStore& store, const QString& file_name)
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
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

int run_all(int argc, char** argv)
{
    const int line_count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 10'000'000;
    bench::BenchWindow bench = bench::open_filled_bench_window(line_count);
    logwin::TForm2& window = *bench.window;

    const QString file_name = QDir::temp().filePath(QStringLiteral("vesmira-bench-save.log"));
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

    const double seconds = static_cast<double>(meter.elapsed_ns()) / 1e9;
    const qint64 saved = QFileInfo(file_name).size();
    const qint64 expected = window.memo1->store().byte_total() + window.memo1->line_count();
    const double megabytes = static_cast<double>(saved) / 1e6;
    std::printf("%d lines, %.0f MB saved (%lld bytes of %lld) in %.3f s\n", line_count, megabytes,
                static_cast<long long>(saved), static_cast<long long>(expected), seconds);
    QFile::remove(file_name);
    const double plain_seconds = plain_save(window.memo1->store(), file_name);
    std::printf("plain blocking loop: %.3f s\n", plain_seconds);
    std::printf("\nBENCH save mb_per_s=%.0f max_stall_ms=%.2f plain_mb_per_s=%.0f ratio=%.2f\n", megabytes / seconds,
                meter.max_stall_ms(), megabytes / plain_seconds, plain_seconds / seconds);
    QFile::remove(file_name);
    bench::close_bench_window(bench);
    return saved == expected ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    return bench::run_bench_application(argc, argv, [&] { return run_all(argc, argv); });
}
