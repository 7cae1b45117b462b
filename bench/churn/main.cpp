// Churn benchmark: short connections into a real log window (offscreen), each one connect, one
// line, close, as `echo ... | nc` per event or `logger --tcp` per message make them; one in ten
// is reset in the middle of a second line. Measures connections per second until every
// connection has been handled, the window's open descriptors once they are gone against before,
// and the lines sent whole that the view doesn't show.

#include "log_window_bench.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "net/tserversocket.h"
#include "platform/message_box.h"
#include "stall_meter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int reset_every = 10;
// A fragment cut off by a reset: "cut " and the connection's number, then '|'; fixed length so
// that the view's lines can be taken apart again.
constexpr std::size_t fragment_length = 11;
// With every sender done, the window is taken to be done with what it got once nothing has
// happened for this long (a listener that keeps a reset connection open never reports its end).
constexpr qint64 quiet_ms = 2000;
constexpr qint64 timeout_ms = 55'000;

std::string whole_line(int connection)
{
    char line[80];
    const int length = std::snprintf(line, sizeof line, "churn %06d user=%04d event=login status=ok",
                                     connection, connection * 7919 % 9973);
    return std::string(line, static_cast<std::size_t>(length));
}

std::string fragment(int connection)
{
    char text[24];
    std::snprintf(text, sizeof text, "cut %06u|", static_cast<unsigned>(connection) % 1'000'000u);
    return std::string(text, fragment_length);
}

bool is_reset(int connection) { return connection % reset_every == reset_every - 1; }

// CPU time this thread has used, in microseconds.
double thread_cpu_us()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

int open_descriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

struct Result {
    int connections = 0;
    int failed_connects = 0;
    std::vector<char> sent_whole;  // per connection: its whole line went out
    int closes = 0;
    int error_reports = 0;
    int other_boxes = 0;
    double connections_per_s = 0;
    double window_cpu_us = 0;  // per connection, the window's thread alone
    double max_stall_ms = 0;
    int descriptors_before = 0;
    int leaked_fds = 0;
    int lines_lost = 0;
    int joined_lines = 0;      // whole lines shown behind a reset's fragment
    int fragments_shown = 0;
    bool complete = false;
};

// Whole lines sent that the view doesn't show. A fragment left by a reset is continued by the
// next text to arrive, as after a close; such a line counts as shown when it follows the fragments.
void count_shown(const logwin::LogWindow& window, Result& result)
{
    std::unordered_set<std::string> unseen;
    for (int connection = 0; connection < result.connections; ++connection)
        if (result.sent_whole[static_cast<std::size_t>(connection)])
            unseen.insert(whole_line(connection));
    for (int index = 0; index < window.log_view()->line_count(); ++index) {
        std::string_view line = window.log_view()->source().line_view(index);
        bool behind_fragment = false;
        while (line.size() >= fragment_length && line.starts_with("cut ") && line[fragment_length - 1] == '|') {
            ++result.fragments_shown;
            line.remove_prefix(fragment_length);
            behind_fragment = true;
        }
        if (!line.empty() && unseen.erase(std::string(line)) == 1 && behind_fragment)
            ++result.joined_lines;
    }
    result.lines_lost = static_cast<int>(unseen.size());
}

Result run(int connections, int senders)
{
    Result result;
    result.connections = connections;
    result.sent_whole.assign(static_cast<std::size_t>(connections), 0);
    platform::set_message_box_handler([&](const QString& text, const QString&, platform::MessageIcon) {
        ++(text.startsWith(QStringLiteral("Asynchroner Socket-Fehler")) ? result.error_reports : result.other_boxes);
        return platform::MessageAnswer::Ok;
    });
    bench::BenchWindow bench_window = bench::open_bench_window();
    logwin::LogWindow& window = *bench_window.window;
    net::TServerSocket& listener = window.log_channel->listener();
    result.descriptors_before = open_descriptors();

    bench::StallMeter clock;
    qint64 last_event_ns = 0;
    const auto read_lines = listener.OnClientRead;
    const auto forget_connection = listener.OnClientDisconnect;
    listener.OnClientRead = [&](net::TServerWinSocket& server, net::TCustomWinSocket& connection) {
        read_lines(server, connection);
        last_event_ns = clock.elapsed_ns();
    };
    listener.OnClientDisconnect = [&](net::TServerWinSocket& server, net::TCustomWinSocket& connection) {
        forget_connection(server, connection);
        ++result.closes;
        last_event_ns = clock.elapsed_ns();
    };

    std::atomic<int> failed_connects{0};
    std::atomic<int> senders_running{senders};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const double cpu_start = thread_cpu_us();
    clock.start();
    for (int sender = 0; sender < senders; ++sender)
        threads.emplace_back([&, sender] {
            for (int connection = sender; connection < connections && !stop; connection += senders) {
                loopback::Sender peer(bench_window.port);
                if (!peer.connected) {
                    ++failed_connects;
                    continue;
                }
                std::string text = whole_line(connection) + '\n';
                if (is_reset(connection)) {
                    peer.reset_on_close();
                    text += fragment(connection);
                }
                result.sent_whole[static_cast<std::size_t>(connection)] = peer.send(text) ? 1 : 0;
            }
            --senders_running;
        });

    // Until every connection has ended, or all went quiet after the senders; looked at every 10 ms.
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (senders_running > 0) {
            if (clock.elapsed_ns() > timeout_ms * 1'000'000)
                stop = true;
            return;
        }
        const bool all_ended = result.closes >= connections - failed_connects;
        if (all_ended || clock.elapsed_ns() - last_event_ns > quiet_ms * 1'000'000)
            loop.quit();
    });
    look.start(10);
    loop.exec();
    clock.stop();
    result.max_stall_ms = clock.max_stall_ms();
    result.window_cpu_us = (thread_cpu_us() - cpu_start) / connections;
    for (std::thread& thread : threads)
        thread.join();
    result.failed_connects = failed_connects;
    result.complete = !stop;
    const auto made = std::count(result.sent_whole.begin(), result.sent_whole.end(), 1);
    result.connections_per_s = static_cast<double>(made) / (static_cast<double>(last_event_ns) / 1e9);

    // The last connections leave their list on a later turn of the loop.
    QElapsedTimer settle;
    settle.start();
    while (listener.Socket().ActiveConnections() > 0 && settle.elapsed() < quiet_ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    result.leaked_fds = open_descriptors() - result.descriptors_before;
    count_shown(window, result);

    listener.OnClientRead = read_lines;
    listener.OnClientDisconnect = forget_connection;
    bench::close_bench_window(bench_window);
    platform::set_message_box_handler({});
    return result;
}

int measure(int argc, char* argv[])
{
    const int connections = argc > 1 ? std::max(10, std::atoi(argv[1])) : 20'000;
    const int senders = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    const Result r = run(connections, senders);
    std::printf("churn: %d connections from %d sender threads, one line each; every %dth reset in the "
                "middle of a second line\n\n", connections, senders, reset_every);
    if (!r.complete)
        std::printf("stopped after %d s: too slow\n", static_cast<int>(timeout_ms / 1000));
    const struct {
        const char* what;
        double value;
        int decimals;
    } rows[] = {
        {"connections", static_cast<double>(r.connections), 0},
        {"connects that failed", static_cast<double>(r.failed_connects), 0},
        {"lines not sent whole (send failed, or stopped)",
         static_cast<double>(std::count(r.sent_whole.begin(), r.sent_whole.end(), 0)), 0},
        {"connections per second", r.connections_per_s, 0},
        {"window thread CPU us per connection", r.window_cpu_us, 1},
        {"longest event-loop stall ms", r.max_stall_ms, 1},
        {"connections that reported their end", static_cast<double>(r.closes), 0},
        {"reset errors reported", static_cast<double>(r.error_reports), 0},
        {"other message boxes", static_cast<double>(r.other_boxes), 0},
        {"open descriptors before", static_cast<double>(r.descriptors_before), 0},
        {"descriptors leaked", static_cast<double>(r.leaked_fds), 0},
        {"whole lines not shown", static_cast<double>(r.lines_lost), 0},
        {"whole lines shown behind a reset's fragment", static_cast<double>(r.joined_lines), 0},
        {"fragments of reset lines shown", static_cast<double>(r.fragments_shown), 0},
    };
    for (const auto& row : rows)
        std::printf("%-48s %12.*f\n", row.what, row.decimals, row.value);
    std::printf("BENCH churn connections_per_s=%.0f leaked_fds=%d lines_lost=%d\n", r.connections_per_s,
                r.leaked_fds, r.lines_lost);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    return bench::run_bench_application(argc, argv, [&] { return measure(argc, argv); });
}
