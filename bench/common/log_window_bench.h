#pragma once
// What the benchmarks that feed a real log window share: the window, listening on a free port,
// with its first paint behind it, and loopback senders connected to it.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "net/tserversocket.h"
#include "stall_meter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <memory>
#include <vector>

namespace bench {

// The middle of the figures of several rounds, so that a neighbour's burst during one round
// doesn't decide them; 0 for none.
inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

struct BenchWindow {
    std::unique_ptr<logwin::LogWindow> window;
    quint16 port = 0;
};

// A shown 900 x 700 log window listening on a free port for `protocol`, holding at most
// `text_limit` bytes (0: no limit); syslog over TLS needs the `tls` it serves. The first paint
// of text loads fonts and glyphs: it is done here, outside what is measured.
inline BenchWindow open_bench_window(std::int64_t text_limit = 0, net::Protocol protocol = net::Protocol::lines,
                                     const tls::ServerSettings* tls = nullptr)
{
    BenchWindow bench;
    bench.window = std::make_unique<logwin::LogWindow>(nullptr);
    logwin::LogWindow& window = *bench.window;
    window.resize(900, 700);
    window.show();
    window.set_text_limit(text_limit);
    bench.port = loopback::free_port();
    if (tls != nullptr) {
        const QString error = window.log_channel->use_tls(*tls);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "TLS not ready: %s\n", qPrintable(error));
            std::exit(1);
        }
    }
    window.log_channel->listen(bench.port, false, protocol);
    window.log_view()->append_line("warm-up");
    QElapsedTimer warm_up;
    warm_up.start();
    while (warm_up.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    window.log_view()->clear();
    return bench;
}

// Connected one by one, each accepted before the next connects.
inline std::vector<std::unique_ptr<loopback::Sender>> connect_senders(const BenchWindow& bench, int count)
{
    std::vector<std::unique_ptr<loopback::Sender>> senders;
    for (int sender = 0; sender < count; ++sender) {
        senders.push_back(std::make_unique<loopback::Sender>(bench.port));
        while (bench.window->log_channel->senders() < sender + 1)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return senders;
}

// Starts the clock, calls `start_senders`, and runs the event loop until `done()` holds after a
// read event or `timeout_ms` pass; the nanoseconds until done, or -1.
template <typename Start, typename Done>
qint64 receive_until(BenchWindow& bench, StallMeter& clock, Start start_senders, Done done, int timeout_ms)
{
    qint64 time_done = -1;
    QEventLoop loop;
    net::TServerSocket& listener = bench.window->log_channel->listener();
    const auto read_lines = listener.OnClientRead;
    listener.OnClientRead = [&](net::TServerWinSocket& server, net::TCustomWinSocket& connection) {
        read_lines(server, connection);
        if (time_done < 0 && done()) {
            time_done = clock.elapsed_ns();
            loop.quit();
        }
    };
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    clock.start();
    start_senders();
    loop.exec();
    clock.stop();
    listener.OnClientRead = read_lines;
    return time_done;
}

// Log lines of about 100 bytes; one in a hundred reports an error in one of a few spellings.
inline void fill_with_log_lines(TColorMemo& memo, int line_count)
{
    static const char* const errors[] = {"ERROR 404 not found", "ERR  500 upstream", "Error 503 busy", "error\t502 gateway"};
    constexpr int batch = 1000;
    std::vector<std::string> lines(batch);
    std::vector<std::string_view> views(batch);
    char buffer[160];
    for (int done = 0; done < line_count;) {
        const int count = std::min(batch, line_count - done);
        for (int i = 0; i < count; ++i) {
            const int n = done + i;
            const char* what = n % 100 == 37 ? errors[(n / 100) % 4] : "INFO request served";
            const int length = std::snprintf(buffer, sizeof buffer,
                "2026-12-08 06:%02d:%02d.%03d [worker-%02d] %s id=%08d in %3d ms from host-%03d /api/v1/items",
                n / 60000 % 60, n / 1000 % 60, n % 1000, n % 16, what, n, n % 997, n % 211);
            lines[static_cast<std::size_t>(i)].assign(buffer, static_cast<std::size_t>(length));
            views[static_cast<std::size_t>(i)] = lines[static_cast<std::size_t>(i)];
        }
        memo.append_lines(std::span<const std::string_view>(views.data(), static_cast<std::size_t>(count)));
        done += count;
    }
}

// Lets the event loop run for a moment, so that what a set-up left to do (the repaint after a
// large fill) is not measured as part of what follows.
inline void settle_events(int ms = 200)
{
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A bench window whose memo holds line_count generated log lines, its repaint after the fill
// done, so that it is not measured with what follows.
inline BenchWindow open_filled_bench_window(int line_count)
{
    BenchWindow bench = open_bench_window();
    fill_with_log_lines(*bench.window->log_view(), line_count);
    settle_events();
    return bench;
}

// Closes the window as the frame does at quit and frees it.
inline void close_bench_window(BenchWindow& bench)
{
    bench.window->shut_down();
    bench.window.reset();
}

// Runs `body` inside an application with the help object a log window needs; it draws
// offscreen unless told otherwise or given a platform.
template <typename Body>
int run_bench_application(int argc, char* argv[], Body body, bool offscreen = true)
{
    if (offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    help::initialize_help(QDir::tempPath());
    return body();
}

}  // namespace bench
