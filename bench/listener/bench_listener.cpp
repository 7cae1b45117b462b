// Measures how many bytes per second reach OnClientRead when peers send 100-byte lines at full
// speed over loopback, next to what plain blocking recv loops take in on the same machine.

#include "net/tserversocket.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kLineBytes = 100;
constexpr std::size_t kLinesPerSend = 64;

uint16_t port_of(int handle)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int connect_peer(uint16_t port)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return handle;
}

// Peers in threads of their own, each on a connection already accepted by the receiving side:
// they wait for the start, then send until told to stop or until the receiving side goes away.
class Senders {
public:
    Senders()
    {
        std::string line(kLineBytes - 1, 'x');
        line += '\n';
        for (std::size_t i = 0; i < kLinesPerSend; ++i)
            batch_ += line;
    }
    ~Senders()
    {
        stop();
        start();
        for (auto& thread : threads_)
            thread.join();
    }
    Senders(const Senders&) = delete;
    Senders& operator=(const Senders&) = delete;

    void add(int handle) { threads_.emplace_back([this, handle] { run(handle); }); }
    void start()
    {
        start_ = true;
        start_.notify_all();
    }
    void stop() { stop_ = true; }

private:
    void run(int handle)
    {
        start_.wait(false);
        while (!stop_ && ::send(handle, batch_.data(), batch_.size(), MSG_NOSIGNAL) > 0) {
        }
        ::close(handle);
    }

    std::string batch_;
    std::atomic<bool> start_{false};
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

double megabytes_per_second(long long bytes, double seconds)
{
    return static_cast<double>(bytes) / 1e6 / seconds;
}

double through_listener(int peers, double seconds)
{
    net::TServerSocket server;
    long long received = 0;
    server.OnClientRead = [&](net::TServerWinSocket&, net::TCustomWinSocket& socket) {
        received += static_cast<long long>(socket.ReadAvailableText().size());
    };
    server.SetActive(true);
    Senders senders;
    // Every peer accepted before any sends.
    for (int i = 1; i <= peers; ++i) {
        senders.add(connect_peer(port_of(server.Socket().SocketHandle())));
        while (server.Socket().ActiveConnections() < i)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    received = 0;
    QElapsedTimer clock;
    senders.start();
    clock.start();
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const long long bytes = received;
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    senders.stop();
    server.SetActive(false);  // unblocks senders waiting in send
    return megabytes_per_second(bytes, elapsed);
}

double through_plain_recv(int peers, double seconds)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<const sockaddr*>(&any), sizeof any);
    ::listen(listener, 5);

    std::atomic<long long> received{0};
    std::atomic<bool> counting{false};
    std::vector<int> connections;
    std::vector<std::thread> receivers;
    {
        Senders senders;
        for (int i = 0; i < peers; ++i) {
            senders.add(connect_peer(port_of(listener)));
            const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            connections.push_back(connection);
            receivers.emplace_back([connection, &received, &counting] {
                std::vector<char> buffer(64 * 1024);
                ssize_t n = 0;
                while ((n = ::recv(connection, buffer.data(), buffer.size(), 0)) > 0)
                    if (counting)
                        received += n;
            });
        }
        counting = true;
        const auto begin = std::chrono::steady_clock::now();
        senders.start();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const long long bytes = received;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        counting = false;
        senders.stop();
        for (int connection : connections)
            ::shutdown(connection, SHUT_RDWR);
        for (auto& receiver : receivers)
            receiver.join();
        for (int connection : connections)
            ::close(connection);
        ::close(listener);
        return megabytes_per_second(bytes, elapsed);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // A message box would stall the run; an error report goes to standard error instead.
    platform::set_message_box_handler([](const QString& text, const QString&, platform::MessageIcon) {
        std::fprintf(stderr, "error report: %s\n", text.toLocal8Bit().constData());
        return platform::MessageAnswer::Ok;
    });
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;

    std::printf("listener throughput: %zu-byte lines, %zu lines per send, %.1f s per run\n\n", kLineBytes,
                kLinesPerSend, seconds);
    std::printf("%6s  %16s  %16s  %6s\n", "peers", "OnClientRead MB/s", "plain recv MB/s", "ratio");
    std::vector<std::string> summaries;
    for (const int peers : {1, 50}) {
        const double ours = through_listener(peers, seconds);
        const double plain = through_plain_recv(peers, seconds);
        const double ratio = plain > 0 ? ours / plain : 0.0;
        std::printf("%6d  %17.1f  %16.1f  %6.2f\n", peers, ours, plain, ratio);
        char summary[160];
        std::snprintf(summary, sizeof summary, "BENCH listener peers=%d mb_per_s=%.1f plain_mb_per_s=%.1f ratio=%.2f",
                      peers, ours, plain, ratio);
        summaries.emplace_back(summary);
    }
    std::printf("\n");
    for (const auto& summary : summaries)
        std::printf("%s\n", summary.c_str());
    return 0;
}
