// Ingest benchmark: 1 and 10 loopback senders write 100-byte lines into a real log window
// (offscreen); measures the line rate until every line is shown, the longest event-loop stall,
// resident memory per line, and whether the rate holds up towards the end of the run. Two more
// runs with one sender: 10 active alerts of 100 catchwords that never match (the alert check
// alone, not highlighted), one highlight rule of 100 keywords (the colouring alone), and
// logging every line to a file in the temporary folder.

#include "alerts/catchword_matcher.h"
#include "alerts/expression_matcher.h"
#include "colormemo/tcolormemo.h"
#include "log_window_bench.h"
#include "resident_memory.h"
#include "stall_meter.h"
#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "net/tserversocket.h"

#include <QAccessible>
#include <QApplication>
#include <QProcess>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
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

constexpr int line_bytes = 100;  // line feed included

enum class Setup { plain, alerts, colour, logfile, regex };

const char* setup_name(Setup setup)
{
    switch (setup) {
    case Setup::plain: return "plain";
    case Setup::alerts: return "alerts";
    case Setup::colour: return "colour";
    case Setup::logfile: return "logfile";
    case Setup::regex: return "regex";
    }
    return "";
}


// The line of a sender as send_lines writes it, without the line feed.
std::string bench_line(int sender, long index)
{
    char line[line_bytes + 1];
    std::snprintf(line, sizeof line, "sender %02d line %06ld status=ok value=%06ld", sender, index, index * 7919 % 999983);
    std::memset(line + std::strlen(line), '.', static_cast<std::size_t>(line_bytes - 1) - std::strlen(line));
    return std::string(line, line_bytes - 1);
}

// 10 alerts of 100 catchwords, none of which occurs in a bench line; many of them begin like
// the text of every line, so the search can't rule them out at the first byte.
std::vector<alerts::tAlert> never_matching_alerts()
{
    std::vector<alerts::tAlert> alerts(10);
    char word[40];
    for (int index = 0; index < 1000; ++index) {
        switch (index % 4) {
        case 0: std::snprintf(word, sizeof word, "status=fail%03d", index); break;
        case 1: std::snprintf(word, sizeof word, "sender %02d line 9%03d", index % 100, index); break;
        case 2: std::snprintf(word, sizeof word, "value=-%04d", index); break;
        default: std::snprintf(word, sizeof word, "ERR-%04d", index); break;
        }
        alerts::tAlert& alert = alerts[static_cast<std::size_t>(index / 100)];
        alert.active = true;
        alert.catchwords.emplace_back(word);
    }
    return alerts;
}

// 10 active alerts of 10 catchword expressions, none of which matches a bench line; many begin
// like the text of every line, as never_matching_alerts' words do.
std::vector<alerts::tAlert> never_matching_expressions()
{
    std::vector<alerts::tAlert> alerts(10);
    char expression[64];
    for (int index = 0; index < 100; ++index) {
        switch (index % 5) {
        case 0: std::snprintf(expression, sizeof expression, "status=fail%03d\\b", index); break;
        case 1: std::snprintf(expression, sizeof expression, "sender \\d{2} line 9\\d{2}%d", index % 10); break;
        case 2: std::snprintf(expression, sizeof expression, "value=-%04d", index); break;
        case 3: std::snprintf(expression, sizeof expression, "(?i)timeout %d after \\d+ ?s", index); break;
        default: std::snprintf(expression, sizeof expression, "ERR-%04d:\\s+\\w+", index); break;
        }
        alerts::tAlert& alert = alerts[static_cast<std::size_t>(index / 10)];
        alert.active = true;
        alert.conditions.regex = true;
        alert.catchwords.emplace_back(expression);
    }
    return alerts;
}

// 100 highlight keywords: three that occur in every line, the rest in none.
std::vector<std::string> highlight_keywords()
{
    std::vector<std::string> keywords{"status", "value", "line"};
    for (int index = 3; index < 100; ++index)
        keywords.push_back("KEY" + std::to_string(index));
    return keywords;
}

// Writes `lines` 100-byte lines from one prepared 64 KiB block, so that a sender costs little
// more than its send calls: on a 2-core machine, senders that format every line would compete
// with the window they feed, where real senders are other programs or other machines.
void send_lines(const loopback::Sender* connection, int sender, long lines)
{
    constexpr long block_lines = 64 * 1024 / line_bytes;
    std::string block;
    for (long index = 0; index < block_lines; ++index)
        block.append(bench_line(sender, index)).push_back('\n');
    for (long done = 0; done < lines;) {
        const long count = std::min(block_lines, lines - done);
        if (!connection->send(std::string_view(block.data(), static_cast<std::size_t>(count * line_bytes))))
            return;
        done += count;
    }
}

struct Result {
    Setup setup = Setup::plain;
    int senders = 0;
    long lines = 0;
    double lines_per_s = 0;
    double max_stall_ms = 0;
    double bytes_per_line = 0;
    double time_bytes_per_line = 0;  // of that, what the lines' arrival times take
    double first_rate = 0;
    double last_rate = 0;
    bool complete = false;
    int colour_passes = 0;
    qint64 logged_bytes = 0;  // the log file's size after the window closed
};

Result run(Setup setup, int senders, long total_lines)
{
    Result result;
    result.setup = setup;
    result.senders = senders;
    result.lines = total_lines;
    const long per_sender = total_lines / senders;
    total_lines = per_sender * senders;

    malloc_trim(0);
    bench::BenchWindow bench_window = bench::open_bench_window();
    auto& window = bench_window.window;
    if (setup == Setup::alerts || setup == Setup::regex) {
        window->alerts.assign(setup == Setup::alerts ? never_matching_alerts() : never_matching_expressions());
        // As in a window whose alerts were loaded when it opened, before senders came.
        window->alerts.wait_until_ready();
    } else if (setup == Setup::colour) {
        window->log_view()->ColorRules().Items(0).Keywords() = highlight_keywords();
        window->log_view()->recompile_rules();
    }
    const QString log_path = QDir::temp().filePath(
        QStringLiteral("vesmira-bench-ingest-%1.log").arg(QCoreApplication::applicationPid()));
    if (setup == Setup::logfile) {
        QFile::remove(log_path);
        window->ask_log_file_name = [log_path] { return log_path; };
        window->findChild<QToolButton*>(QStringLiteral("ToolButton2"))->click();
    }
    QCoreApplication::processEvents();
    const double resident_before = bench::resident_bytes();

    std::vector<std::unique_ptr<loopback::Sender>> connections = bench::connect_senders(bench_window, senders);

    bench::StallMeter clock;
    qint64 time_done = -1;
    QEventLoop loop;

    // The rates of the first and the last 10% are medians over their read events of lines per
    // second of handling (reading, assembling, appending to the view): on a shared 2-core machine
    // the wall clock of a 10% slice measures the neighbours as much as the window, and the median
    // drops the reads that were preempted.
    const long tenth = total_lines / 10;
    std::vector<double> read_rates[2];  // first and last tenth
    const auto read_lines = window->log_channel->listener().OnClientRead;
    window->log_channel->listener().OnClientRead = [&](net::TServerWinSocket& listener, net::TCustomWinSocket& connection) {
        const long shown_before = window->log_view()->line_count();
        const qint64 started = clock.elapsed_ns();
        read_lines(listener, connection);
        const qint64 now = clock.elapsed_ns();
        const long added = window->log_view()->line_count() - shown_before;
        if (added > 0 && (shown_before < tenth || shown_before >= total_lines - tenth))
            read_rates[shown_before < tenth ? 0 : 1].push_back(static_cast<double>(added) * 1e9
                                                               / static_cast<double>(std::max<qint64>(now - started, 1)));
        if (time_done < 0 && window->log_view()->line_count() >= total_lines) {
            time_done = now;
            loop.quit();
        }
    };
    QTimer::singleShot(120'000, &loop, &QEventLoop::quit);

    clock.start();
    std::vector<std::thread> threads;
    for (int sender = 0; sender < senders; ++sender)
        threads.emplace_back(send_lines, connections[static_cast<std::size_t>(sender)].get(), sender, per_sender);
    loop.exec();
    clock.stop();
    for (std::thread& thread : threads)
        thread.join();
    connections.clear();

    result.complete = time_done > 0;
    result.lines = total_lines;
    result.max_stall_ms = clock.max_stall_ms();
    if (result.complete) {
        result.lines_per_s = static_cast<double>(total_lines) / (static_cast<double>(time_done) / 1e9);
        result.first_rate = bench::median(read_rates[0]);
        result.last_rate = bench::median(read_rates[1]);
    }
    result.bytes_per_line =
        (bench::resident_bytes() - resident_before) / static_cast<double>(window->log_view()->line_count());
    result.time_bytes_per_line = static_cast<double>(window->log_channel->lines().times().memory_bytes())
                                 / static_cast<double>(std::max(window->log_view()->line_count(), 1));
    result.colour_passes = window->log_view()->pass_count();
    bench::close_bench_window(bench_window);
    if (setup == Setup::logfile) {
        result.logged_bytes = QFileInfo(log_path).size();
        QFile::remove(log_path);
    }
    return result;
}

// A child of this benchmark: one plain one-sender run, after a warm-up, on whatever display and
// accessibility it was started with. With the accessibility bus, the bridge becomes active once
// the event loop has run a little.
int one_run(long lines)
{
    if (!qEnvironmentVariableIsEmpty("QT_LINUX_ACCESSIBILITY_ALWAYS_ON")) {
        QElapsedTimer waited;
        waited.start();
        while (!QAccessible::isActive() && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!QAccessible::isActive()) {
            std::fprintf(stderr, "the accessibility bridge did not become active\n");
            return 1;
        }
    }
    run(Setup::plain, 1, std::max(100L, lines / 5));
    std::printf("RATE %.0f\n", run(Setup::plain, 1, lines).lines_per_s);
    return 0;
}

// The plain one-sender rate on a virtual display, with Qt's accessibility bridge talking to the
// desktop's accessibility bus as it does for a screen reader, or without; 0 when it can't run.
double rate_on_display(long lines, bool screen_reader)
{
    QProcess child;
    const QString self = QCoreApplication::applicationFilePath();
    const QStringList arguments{self, QStringLiteral("--one-run"), QString::number(lines)};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    child.setProcessEnvironment(environment);
    if (screen_reader)
        child.start(QStringLiteral(VESMIRA_WITH_SCREEN_READER), arguments);
    else
        child.start(QStringLiteral("xvfb-run"), QStringList{QStringLiteral("-a")} + arguments);
    if (!child.waitForFinished(300'000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s run failed: %s\n", screen_reader ? "screen reader" : "display",
                     child.readAllStandardError().constData());
        return 0;
    }
    const QByteArray output = child.readAllStandardOutput();
    const qsizetype at = output.lastIndexOf("RATE ");
    return at < 0 ? 0 : output.mid(at + 5).trimmed().toDouble();
}

int measure(int argc, char* argv[])
{
    const bool child = argc > 1 && std::strcmp(argv[1], "--one-run") == 0;
    long lines = 1'000'000;
    if (argc > 2 && (std::strcmp(argv[1], "--lines") == 0 || std::strcmp(argv[1], "--one-run") == 0))
        lines = std::max(100L, std::atol(argv[2]));
    if (child)
        return one_run(lines);

    // The first run of a process pays for loading and first use (fonts, allocator, sockets),
    // which would make every later run look better than the first.
    run(Setup::plain, 1, std::max(100L, lines / 5));

    // The one-sender runs of the three setups take turns over three rounds, and each setup is
    // reported by its median run, so that a neighbour's burst on a shared machine doesn't
    // decide a comparison between them.
    constexpr Setup setups[] = {Setup::plain, Setup::alerts, Setup::colour, Setup::logfile, Setup::regex};
    constexpr std::size_t setup_count = std::size(setups);
    std::vector<Result> rounds[setup_count];
    Result ten_senders;
    for (int round = 0; round < 3; ++round)
        for (std::size_t setup = 0; setup < setup_count; ++setup) {
            rounds[setup].push_back(run(setups[setup], 1, lines));
            if (round == 0 && setup == 0)
                ten_senders = run(Setup::plain, 10, lines);
        }
    std::vector<Result> results;
    for (std::vector<Result>& runs : rounds) {
        std::sort(runs.begin(), runs.end(), [](const Result& a, const Result& b) { return a.lines_per_s < b.lines_per_s; });
        results.push_back(runs[runs.size() / 2]);
    }
    results.insert(results.begin() + 1, ten_senders);

    std::printf("%-7s %-8s %10s %12s %13s %11s %14s %14s %10s\n", "setup", "senders", "lines", "lines/s",
                "max stall ms", "bytes/line", "first 10% l/s*", "last 10% l/s*", "tail ratio");
    for (const Result& r : results)
        std::printf("%-7s %-8d %10ld %12.0f %13.1f %11.1f %14.0f %14.0f %10.2f%s\n", setup_name(r.setup), r.senders,
                    r.lines, r.lines_per_s, r.max_stall_ms, r.bytes_per_line, r.first_rate, r.last_rate,
                    r.first_rate > 0 ? r.last_rate / r.first_rate : 0.0, r.complete ? "" : "  (incomplete)");
    std::printf("* median over the read events of that tenth: lines per second of handling a read\n");
    std::printf("colouring passes during the colour run: %d\n", results[3].colour_passes);
    std::printf("log file after the logfile run: %lld of %ld bytes\n", static_cast<long long>(results[4].logged_bytes),
                results[4].lines * line_bytes);
    std::printf("one-sender rows: the median of 3 runs; lines/s of each run:");
    for (std::size_t setup = 0; setup < setup_count; ++setup) {
        std::printf(" %s", setup_name(setups[setup]));
        for (const Result& r : rounds[setup])
            std::printf(" %.0f", r.lines_per_s);
        std::printf(setup + 1 < setup_count ? ";" : "\n");
    }

    // The alert check on its own: the plain scan (one search per catchword) against the matcher.
    const std::vector<alerts::tAlert> alerts = never_matching_alerts();
    std::vector<std::string> sample;
    for (long index = 0; index < 20000; ++index)
        sample.push_back(bench_line(static_cast<int>(index % 100), index % 655));
    alerts::CatchwordMatcher matcher;
    matcher.compile(alerts);
    std::size_t found = 0;
    QElapsedTimer timer;
    timer.start();
    std::vector<alerts::CatchwordMatch> plain_matches;
    for (const std::string& line : sample)
        alerts::plain_catchword_scan(alerts, line, plain_matches);
    const double plain_ns = static_cast<double>(timer.nsecsElapsed()) / static_cast<double>(sample.size());
    timer.restart();
    for (int round = 0; round < 10; ++round)
        for (const std::string& line : sample)
            found += matcher.find(line).size();
    const double matcher_ns = static_cast<double>(timer.nsecsElapsed()) / static_cast<double>(sample.size() * 10);
    std::printf("\nalert check of one line, 1000 catchwords: plain scan %.0f ns, matcher %.0f ns (%zu matches)\n",
                plain_ns, matcher_ns, found + plain_matches.size());
    // Expressions are compiled on the GUI thread when an alert changes, their prefilter on a thread
    // of its own.
    const std::vector<alerts::tAlert> expression_alerts = never_matching_expressions();
    alerts::ExpressionMatcher expressions;
    timer.restart();
    expressions.compile(expression_alerts);
    const double compile_ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    expressions.wait_for_prefilter();
    const double prefilter_ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::vector<alerts::CatchwordMatch> expression_matches;
    timer.restart();
    for (const std::string& line : sample)
        expressions.find(line, expression_matches);
    std::printf("100 catchword expressions: compiled in %.1f ms on this thread, prefilter ready after %.1f ms, %.0f ns a "
                "line (%zu matches)\n",
                compile_ms, prefilter_ms,
                static_cast<double>(timer.nsecsElapsed()) / static_cast<double>(sample.size()), expression_matches.size());

    const Result& plain = results[0];
    for (std::size_t index = 0; index < 2; ++index) {
        const Result& r = results[index];
        std::printf("BENCH ingest senders=%d lines_per_s=%.0f max_stall_ms=%.1f bytes_per_line=%.1f tail_ratio=%.2f\n",
                    r.senders, r.lines_per_s, r.max_stall_ms, r.bytes_per_line,
                    r.first_rate > 0 ? r.last_rate / r.first_rate : 0.0);
    }
    std::printf("BENCH ingest-alerts senders=1 catchwords=1000 lines_per_s=%.0f ratio_to_plain=%.2f\n",
                results[2].lines_per_s, plain.lines_per_s > 0 ? results[2].lines_per_s / plain.lines_per_s : 0.0);
    std::printf("BENCH ingest-alerts-regex senders=1 expressions=100 lines_per_s=%.0f ratio_to_plain=%.2f\n",
                results[5].lines_per_s, plain.lines_per_s > 0 ? results[5].lines_per_s / plain.lines_per_s : 0.0);
    std::printf("BENCH ingest-colour senders=1 lines_per_s=%.0f max_stall_ms=%.1f bytes_per_line=%.1f\n",
                results[3].lines_per_s, results[3].max_stall_ms, results[3].bytes_per_line);
    std::printf("BENCH ingest-logfile senders=1 lines_per_s=%.0f ratio_to_plain=%.2f bytes_per_line=%.1f "
                "plain_bytes_per_line=%.1f time_bytes_per_line=%.2f\n",
                results[4].lines_per_s, plain.lines_per_s > 0 ? results[4].lines_per_s / plain.lines_per_s : 0.0,
                results[4].bytes_per_line, plain.bytes_per_line, results[4].time_bytes_per_line);
    // Without and with the bridge take turns too, as the setups above do: measured one after the
    // other, a neighbour's burst during either decided the ratio.
    std::vector<double> display_rates[2];  // without, with the bridge
    for (int round = 0; round < 3; ++round)
        for (const bool screen_reader : {false, true})
            display_rates[screen_reader ? 1 : 0].push_back(rate_on_display(lines, screen_reader));
    const double a11y_plain = bench::median(display_rates[0]);
    const double a11y = bench::median(display_rates[1]);
    std::printf("on a virtual display (median of 3 runs each, taking turns): %.0f lines/s without, %.0f lines/s with the "
                "accessibility bridge; runs without:",
                a11y_plain, a11y);
    for (const bool screen_reader : {false, true}) {
        for (const double rate : display_rates[screen_reader ? 1 : 0])
            std::printf(" %.0f", rate);
        std::printf(screen_reader ? "\n" : "; with:");
    }
    std::printf("BENCH ingest-a11y senders=1 lines_per_s=%.0f ratio_to_plain=%.2f\n", a11y,
                a11y_plain > 0 ? a11y / a11y_plain : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    // A child run (see rate_on_display) uses the display it was given.
    const bool child = argc > 1 && std::strcmp(argv[1], "--one-run") == 0;
    return bench::run_bench_application(argc, argv, [&] { return measure(argc, argv); }, !child);
}
