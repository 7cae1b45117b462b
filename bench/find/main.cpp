// How fast find and filter go through a large line store, and how long the event loop waits
// for a slice of the search meanwhile: counting a plain word with and without case and an
// expression, and building a filter of about one line in a hundred; then the same count and
// filter through a real log window's find bar, filtered view and all.

#include "log_window_bench.h"
#include "stall_meter.h"

#include "lines/line_store.h"
#include "find/line_search.h"
#include "logwin/find_bar.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Store = lines::LineSource;
using Search = find::LineSearch<Store>;

// The longest the search may keep the event loop: well inside one frame.
constexpr auto slice = std::chrono::milliseconds(4);


struct Result {
    double seconds = 0;
    double max_stall_ms = 0;
    std::int64_t matches = 0;
    // What the filter holds per passing line; negative when the kind keeps nothing.
    double bytes_per_line = -1;
};

// Runs the event loop from `begin` until `done` holds, looked at every millisecond.
template <typename Begin, typename Done>
Result measure(Begin begin, Done done)
{
    bench::StallMeter meter;
    // A loop of its own: quitting the application's would close the window.
    QEventLoop loop;
    QTimer watcher;
    watcher.setInterval(1);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    meter.start();
    begin();
    watcher.start();
    loop.exec();
    watcher.stop();
    meter.stop();
    return {static_cast<double>(meter.elapsed_ns()) / 1e9, meter.max_stall_ms(), 0};
}

// One search from start to end, a slice per pass of the event loop.
Result run(const Store& store, const char* needle, find::PatternOptions options, find::SearchMode mode)
{
    Search search(store, find::Pattern(needle, options), mode);
    QTimer driver;
    driver.setInterval(0);
    bool done = false;
    QObject::connect(&driver, &QTimer::timeout, [&] { done = search.step(Search::Clock::now() + slice); });
    Result result = measure([&] { driver.start(); }, [&] { return done; });
    result.matches = search.match_count();
    return result;
}

// The window's own find bar: `type` puts the needle into one of its fields; measured until
// `finished` holds, then `found` says how much was found, and the bar is closed again.
template <typename Type, typename Finished, typename Found>
Result run_through_bar(logwin::LogWindow& window, Type type, Finished finished, Found found)
{
    Result result = measure(
        [&] {
            window.open_find_bar();
            type(*window.find_bar());
        },
        finished);
    result.matches = found();
    window.find_bar()->close_bar();
    return result;
}

// Find: the find field typed into, until the bar has counted every match.
Result run_find_bar(logwin::LogWindow& window, const char* needle)
{
    logwin::FindBar& bar = *window.find_bar();
    return run_through_bar(
        window,
        [&](logwin::FindBar& typed) {
            typed.find_edit->setText(QString::fromUtf8(needle));
            emit typed.find_edit->textEdited(typed.find_edit->text());
        },
        [&] { return bar.search_settled(); },
        [&] { return bar.find_status->text().section(QStringLiteral(" of "), 1).remove(QLatin1Char(',')).toLongLong(); });
}

// Filter: until the filtered view holds every line that passes; what the filter holds is read
// before the bar closes and ends it.
Result run_filter_view(logwin::LogWindow& window, const char* needle)
{
    const channel::LineFilter& filter = window.log_channel->filter();
    const auto* shown = window.findChild<TColorMemo*>(QStringLiteral("filter_memo"));
    std::size_t filter_bytes = 0;
    Result result = run_through_bar(
        window, [&](logwin::FindBar& typed) { typed.filter_edit->setText(QString::fromUtf8(needle)); },
        [&] { return !filter.building(); },
        [&] {
            filter_bytes = filter.index().memory_bytes();
            return static_cast<long long>(shown->line_count());
        });
    result.bytes_per_line = static_cast<double>(filter_bytes) / static_cast<double>(std::max<std::int64_t>(result.matches, 1));
    return result;
}

// One row of the table and its summary line.
void report(std::vector<std::string>& summary, const char* kind, const char* needle, const Result& result,
            double megabytes)
{
    const double mb_per_s = megabytes / result.seconds;
    std::printf("%-11s %-19s %10lld %8.3f %10.0f %14.2f\n", kind, needle, static_cast<long long>(result.matches),
                result.seconds, mb_per_s, result.max_stall_ms);
    char line[200];
    const int length = std::snprintf(line, sizeof line, "BENCH find kind=%s mb_per_s=%.0f max_stall_ms=%.2f matches=%lld",
                                     kind, mb_per_s, result.max_stall_ms, static_cast<long long>(result.matches));
    if (result.bytes_per_line >= 0)
        std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), " bytes_per_passing_line=%.1f",
                      result.bytes_per_line);
    summary.emplace_back(line);
}

int run_all(int argc, char** argv)
{
    const int line_count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 10'000'000;

    // The store of a real log window, so that its find bar and filter can run over it too.
    bench::BenchWindow bench = bench::open_filled_bench_window(line_count);
    logwin::LogWindow& window = *bench.window;
    const Store& store = window.log_view()->source();
    const double megabytes = static_cast<double>(store.byte_total()) / 1e6;
    std::printf("%d lines, %.0f MB, slices of %lld ms\n\n", line_count, megabytes,
                static_cast<long long>(slice.count()));

    struct Kind {
        const char* name;
        const char* needle;
        find::PatternOptions options;
        find::SearchMode mode;
    };
    const Kind kinds[] = {
        {"plain", "ERROR", {true, false}, find::SearchMode::count},
        {"nocase", "error", {false, false}, find::SearchMode::count},
        {"regex", "ERR(OR)?\\s+\\d{3}", {true, true}, find::SearchMode::count},
        {"filter", "error", {false, false}, find::SearchMode::show_matching},
    };
    std::printf("%-11s %-19s %10s %8s %10s %14s\n", "kind", "needle", "matches", "s", "MB/s", "max stall ms");
    std::vector<std::string> summary;
    for (const Kind& kind : kinds)
        report(summary, kind.name, kind.needle, run(store, kind.needle, kind.options, kind.mode), megabytes);
    report(summary, "find-bar", "error", run_find_bar(window, "error"), megabytes);
    report(summary, "filter-view", "error", run_filter_view(window, "error"), megabytes);
    report(summary, "find-bar", "error", run_find_bar(window, "error"), megabytes);
    report(summary, "filter-view", "error", run_filter_view(window, "error"), megabytes);

    std::printf("\n");
    for (const std::string& line : summary)
        std::printf("%s\n", line.c_str());
    bench::close_bench_window(bench);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    return bench::run_bench_application(argc, argv, [&] { return run_all(argc, argv); });
}
