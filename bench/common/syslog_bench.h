#pragma once
// What the syslog benchmarks share: octet-counted RFC 5424 messages of about 100 bytes (or
// 100-byte plain lines) sent in prepared blocks by one sender thread into a real window, the
// rate until every one is shown, and the certificate a syslog-over-TLS window serves.

#include "log_window_bench.h"
#include "stall_meter.h"
#include "tls/own_certificate.h"
#include "tls/server_context.h"

#include <QScopeGuard>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

namespace bench {

constexpr std::size_t message_bytes = 100;  // line feed or count included

// One prepared block of messages, sent again and again, so that the sender costs little more
// than its send calls: octet-counted syslog for a syslog window of either kind, else lines.
inline std::string message_block(net::Protocol protocol)
{
    std::string block;
    char message[message_bytes + 1];
    for (int index = 0; block.size() + message_bytes <= 64 * 1024; ++index) {
        if (protocol != net::Protocol::lines) {
            // "97 " and 97 bytes of message.
            const int length = std::snprintf(message, sizeof message,
                                             "%zu <%d>1 2026-12-09T10:00:%02d.%03dZ web-%02d app %d - - request %06d",
                                             message_bytes - 3, 8 + index % 8, index % 60, index % 1000, index % 16,
                                             1000 + index % 50, index);
            block.append(message, static_cast<std::size_t>(length));
            block.append(message_bytes - static_cast<std::size_t>(length), '.');
        } else {
            const int length = std::snprintf(message, sizeof message, "plain line %06d status=ok", index);
            block.append(message, static_cast<std::size_t>(length));
            block.append(message_bytes - 1 - static_cast<std::size_t>(length), '.');
            block.push_back('\n');
        }
    }
    return block;
}

// `messages` of the block's, through any connection that can send().
template <typename Connection>
void send_messages(const Connection* connection, const std::string& block, long messages)
{
    const long block_messages = static_cast<long>(block.size() / message_bytes);
    for (long done = 0; done < messages;) {
        const long count = std::min(block_messages, messages - done);
        if (!connection->send(std::string_view(block.data(), static_cast<std::size_t>(count) * message_bytes)))
            return;
        done += count;
    }
}

struct ReceiveRate {
    double messages_per_s = 0;  // 0 when they didn't all come within a minute
    // Processor time the window's thread used per message: what the receiving costs, whatever
    // neighbours on a shared machine take of the wall clock.
    double window_ns_per_message = 0;
};

// From the moment one thread starts sending `messages` of the block through the connection
// until every one is a line of the window, which held none before.
template <typename Connection>
ReceiveRate receive_rate(BenchWindow& bench_window, const Connection& connection, const std::string& block,
                         long messages)
{
    StallMeter clock;
    const qint64 window_ns = StallMeter::thread_time_ns();
    std::thread sender;
    const qint64 time_done = receive_until(
        bench_window, clock, [&] { sender = std::thread(send_messages<Connection>, &connection, std::cref(block), messages); },
        [&] { return bench_window.window->log_view()->line_count() >= messages; }, 60'000);
    ReceiveRate rate;
    rate.window_ns_per_message =
        static_cast<double>(StallMeter::thread_time_ns() - window_ns) / static_cast<double>(messages);
    sender.join();
    if (time_done > 0)
        rate.messages_per_s = static_cast<double>(messages) / (static_cast<double>(time_done) / 1e9);
    return rate;
}

// Runs the event loop until `done()` holds, looked at every millisecond, or `timeout_ms` pass;
// whether it held. The loop sleeps between events, so a sender thread keeps its core.
template <typename Done>
bool serve_until(Done done, int timeout_ms)
{
    QEventLoop loop;
    QTimer look;
    look.setInterval(1);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    look.start();
    if (!done())
        loop.exec();
    return done();
}

// Runs `work` in a thread of its own while the event loop serves the window (a client's
// handshake waits for the window's answer); what it returned. The thread ends the loop itself:
// looking for its end on a timer would cost the window a loop turn each time.
template <typename Work>
auto while_serving(Work work)
{
    QEventLoop loop;
    std::future<decltype(work())> finished = std::async(std::launch::async, [&] {
        const auto quit = qScopeGuard([&] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        return work();
    });
    loop.exec();
    return finished.get();
}

// The window's own kind of certificate, made once in a temporary folder (not the user's
// store), senders not checked.
inline const tls::ServerSettings* bench_tls_settings()
{
    static QTemporaryDir folder;
    static const tls::ServerSettings settings = [] {
        const tls::OwnCertificate own = tls::ensure_own_certificate(folder.path().toStdString());
        if (!own.error.empty())
            std::fprintf(stderr, "no certificate: %s\n", own.error.c_str());
        tls::ServerSettings made;
        made.certificate_file = own.certificate_file;
        made.key_file = own.key_file;
        return made;
    }();
    return &settings;
}

// A syslog window (plain or over TLS) of open_bench_window.
inline BenchWindow open_syslog_window(net::Protocol protocol)
{
    return open_bench_window(0, protocol, protocol == net::Protocol::syslog_tls ? bench_tls_settings() : nullptr);
}

}  // namespace bench
