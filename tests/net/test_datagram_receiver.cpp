// The UDP receiver driven by real datagrams from IPv4 and IPv6 sockets and the real event loop.

#include "local_addresses.h"
#include "net/datagram_receiver.h"
#include "net/tserversocket.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace net;

namespace {

using local_addresses::bound_port;
using local_addresses::open_descriptors;

// "127.0.0.1:514" for each bound descriptor.
std::vector<std::string> bound_addresses(const DatagramReceiver& receiver)
{
    std::vector<std::string> addresses;
    for (const int handle : receiver.socket_handles()) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
        const auto host = platform::PeerAddress::from_socket_address(*reinterpret_cast<const sockaddr*>(&address));
        addresses.push_back(host.text() + ":" + std::to_string(bound_port(handle)));
    }
    return addresses;
}

uint16_t bound_port(const DatagramReceiver& receiver) { return bound_port(receiver.socket_handles().front()); }

// From a fresh socket of the address's family, as a one-shot sender (logger -d) sends.
void send_to(const std::string& address, uint16_t port, const std::string& bytes)
{
    const local_addresses::SocketAddress target(address, port);
    const int sender = ::socket(target.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QCOMPARE(::sendto(sender, bytes.data(), bytes.size(), 0, target.get(), target.length), ssize_t(bytes.size()));
    ::close(sender);
}

// What a log channel would see: each datagram as "sender: bytes"; and the largest batch.
struct Received {
    explicit Received(DatagramReceiver& receiver)
    {
        receiver.on_datagrams = [this](std::span<const Datagram> batch) {
            largest_batch = std::max(largest_batch, batch.size());
            for (const Datagram& datagram : batch)
                texts.push_back(datagram.sender.text() + ": " + std::string(datagram.bytes));
        };
    }
    std::vector<std::string> texts;
    std::size_t largest_batch = 0;
};

}  // namespace

class TestDatagramReceiver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void datagrams_arrive_with_their_senders_data()
    {
        QTest::addColumn<bool>("local_only");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("taken");
        QByteArray every_value;
        for (int value = 0; value < 256; ++value)
            every_value += static_cast<char>(value);
        QTest::newRow("every address, IPv4") << false << "127.0.0.1" << QByteArray("<13>hello") << true;
        QTest::newRow("every address, IPv6, every byte value") << false << "::1" << every_value << true;
        QTest::newRow("every address, own address") << false << "own" << QByteArray("x") << true;
        QTest::newRow("every address, empty") << false << "127.0.0.1" << QByteArray() << true;
        QTest::newRow("every address, largest IPv4") << false << "127.0.0.1" << QByteArray(65507, 'a') << true;
        QTest::newRow("every address, largest IPv6") << false << "::1" << QByteArray(65527, 'b') << true;
        QTest::newRow("local only, IPv4") << true << "127.0.0.1" << QByteArray("y") << true;
        QTest::newRow("local only, IPv6") << true << "::1" << QByteArray("z") << true;
        QTest::newRow("local only, own address") << true << "own" << QByteArray("refused") << false;
    }
    void datagrams_arrive_with_their_senders()
    {
        QFETCH(bool, local_only);
        QFETCH(QString, address);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, taken);
        const bool ipv6 = local_addresses::has_ipv6();
        if (address == "::1" && !ipv6)
            QSKIP("this kernel has no IPv6");
        if (address == "own") {
            const std::optional<std::string> own = local_addresses::non_loopback_address();
            if (!own)
                QSKIP("this machine has no address but loopback");
            address = QString::fromStdString(*own);
        }
        DatagramReceiver receiver;
        Received received(receiver);
        receiver.open(0, local_only);
        QVERIFY(receiver.is_open());
        const std::string port = std::to_string(bound_port(receiver));
        std::vector<std::string> expected_bound{"127.0.0.1:" + port};
        if (local_only && ipv6)
            expected_bound.push_back("::1:" + port);
        else if (!local_only)
            expected_bound = {(ipv6 ? "::" : "0.0.0.0") + std::string(":") + port};
        QCOMPARE(bound_addresses(receiver), expected_bound);

        send_to(address.toStdString(), bound_port(receiver), bytes.toStdString());
        send_to("127.0.0.1", bound_port(receiver), "end");
        std::vector<std::string> expected{"127.0.0.1: end"};
        if (taken)
            expected.insert(expected.begin(), address.toStdString() + ": " + bytes.toStdString());
        QTRY_COMPARE(received.texts.size(), expected.size());
        // Local only, the two arrive on different sockets, in either order.
        std::ranges::sort(received.texts);
        std::ranges::sort(expected);
        QVERIFY(received.texts == expected);
        QCOMPARE(receiver.dropped(), 0);
    }

    void a_window_takes_tcp_and_udp_on_one_port_data()
    {
        QTest::addColumn<bool>("local_only");
        QTest::newRow("every address") << false;
        QTest::newRow("local only") << true;
    }
    void a_window_takes_tcp_and_udp_on_one_port()
    {
        QFETCH(bool, local_only);
        TServerSocket listener;
        listener.SetLocalOnly(local_only);
        listener.SetActive(true);
        const uint16_t port = bound_port(listener.Socket().SocketHandle());
        DatagramReceiver receiver;
        Received received(receiver);
        receiver.open(port, local_only);
        QCOMPARE(bound_port(receiver), port);
        QVERIFY(local_addresses::accepts_at("127.0.0.1", port));

        // A second window on the port is refused and keeps nothing open, however the first listens.
        for (const bool other_local_only : {false, true}) {
            DatagramReceiver other;
            const int descriptors = open_descriptors();
            try {
                other.open(port, other_local_only);
                QFAIL("a second receiver on a port in use must fail");
            } catch (const ESocketError& error) {
                QCOMPARE(std::string(error.what()), socket_api_error_message(EADDRINUSE, "bind"));
                QCOMPARE(error.code(), EADDRINUSE);
            }
            QVERIFY(!other.is_open());
            QCOMPARE(open_descriptors(), descriptors);
        }
        QVERIFY_THROWS_EXCEPTION(ESocketError, receiver.open(port, local_only));

        // Closed and opened again, as when the window stops and starts receiving.
        send_to("127.0.0.1", port, "before");
        QTRY_COMPARE(received.texts.size(), std::size_t(1));
        receiver.close();
        QVERIFY(!receiver.is_open());
        QVERIFY(receiver.socket_handles().empty());
        send_to("127.0.0.1", port, "while closed");
        receiver.open(port, local_only);
        send_to("127.0.0.1", port, "after");
        QTRY_COMPARE(received.texts.size(), std::size_t(2));
        QCOMPARE(received.texts.back(), std::string("127.0.0.1: after"));
    }

    void a_full_buffer_drops_are_counted()
    {
        DatagramReceiver receiver;
        Received received(receiver);
        QSignalSpy changes(&receiver, &DatagramReceiver::dropped_changed);
        receiver.open(0, true);
        const int small = 4096;
        QCOMPARE(::setsockopt(receiver.socket_handles().front(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
        // All sent while the event loop doesn't run, so most find the buffer full.
        const int sent = 300;
        for (int index = 0; index < sent; ++index)
            send_to("127.0.0.1", bound_port(receiver), std::string(200, 'd'));
        QTRY_COMPARE(std::int64_t(received.texts.size()) + receiver.dropped(), std::int64_t(sent));
        QVERIFY(receiver.dropped() > 0);
        QVERIFY(changes.count() > 0);
        // Later reads count no drop twice.
        const std::int64_t dropped = receiver.dropped();
        send_to("127.0.0.1", bound_port(receiver), "later");
        QTRY_COMPARE(std::int64_t(received.texts.size()), sent - dropped + 1);
        QCOMPARE(receiver.dropped(), dropped);
    }

    void a_flood_leaves_the_event_loop_turns()
    {
        std::optional<std::size_t> received_at_turn;
        DatagramReceiver receiver;
        Received received(receiver);
        receiver.open(0, true);
        const int sent = 5000;
        int buffer = 0;
        socklen_t length = sizeof buffer;
        ::getsockopt(receiver.socket_handles().front(), SOL_SOCKET, SO_RCVBUF, &buffer, &length);
        if (buffer < sent * 1024)
            QSKIP("the receive buffer can't hold the flood: net.core.rmem_max is small and this isn't root");
        for (int index = 0; index < sent; ++index)
            send_to("127.0.0.1", bound_port(receiver), std::to_string(index));
        const auto on_batch = receiver.on_datagrams;
        receiver.on_datagrams = [&](std::span<const Datagram> batch) {
            if (received.texts.empty())
                QTimer::singleShot(0, &receiver, [&] { received_at_turn = received.texts.size(); });
            on_batch(batch);
        };
        QTRY_COMPARE(received.texts.size(), std::size_t(sent));
        QCOMPARE(receiver.dropped(), 0);
        QVERIFY(received_at_turn && *received_at_turn < std::size_t(sent));
        QCOMPARE(received.largest_batch, std::size_t(64));
        QCOMPARE(received.texts[sent - 1], "127.0.0.1: " + std::to_string(sent - 1));
    }

    void a_handler_may_wait_close_or_destroy_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("runs a nested loop") << "wait";
        QTest::newRow("closes the receiver") << "close";
        QTest::newRow("destroys the receiver") << "destroy";
    }
    void a_handler_may_wait_close_or_destroy()
    {
        QFETCH(QString, action);
        auto receiver = std::make_unique<DatagramReceiver>();
        receiver->open(0, true);
        const uint16_t port = bound_port(*receiver);
        std::vector<std::string> texts;
        std::string after_action;
        receiver->on_datagrams = [&](std::span<const Datagram> batch) {
            texts.emplace_back(batch.front().bytes);
            if (texts.size() > 1)
                return;
            send_to("127.0.0.1", port, "second");
            if (action == "wait")
                QTest::qWait(100);
            else if (action == "close")
                receiver->close();
            else
                receiver.reset();
            // The views outlive what the handler did, and nothing came in between.
            after_action = std::string(batch.front().bytes) + ", " + std::to_string(texts.size()) + " delivered";
        };
        send_to("127.0.0.1", port, "first");
        QTRY_COMPARE(after_action, std::string("first, 1 delivered"));
        if (action == "wait") {
            QTRY_COMPARE(texts, (std::vector<std::string>{"first", "second"}));
        } else {
            QCOMPARE(texts, (std::vector<std::string>{"first"}));
            QCOMPARE(receiver && receiver->is_open(), false);
        }
    }
};

QTEST_GUILESS_MAIN(TestDatagramReceiver)
#include "test_datagram_receiver.moc"
