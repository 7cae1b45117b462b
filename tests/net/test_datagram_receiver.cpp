// The UDP receiver driven by real datagrams from IPv4 and IPv6 sockets and the real event loop.

#include "local_addresses.h"
#include "net/datagram_receiver.h"
#include "net/tserversocket.h"
#include "platform/message_box.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace net;

namespace {

// "127.0.0.1:514" for each descriptor's bound address.
std::vector<std::string> bound_addresses(const std::vector<int>& handles)
{
    std::vector<std::string> addresses;
    for (const int handle : handles) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
        const auto port = ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);  // same place in both
        addresses.push_back(platform::PeerAddress::from_socket_address(*reinterpret_cast<sockaddr*>(&address)).text() +
                            ":" + std::to_string(port));
    }
    return addresses;
}

uint16_t bound_port(const DatagramReceiver& receiver)
{
    const std::string address = bound_addresses(receiver.socket_handles()).front();
    return static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1)));
}

int open_descriptors()
{
    int count = 0;
    DIR* folder = ::opendir("/proc/self/fd");
    while (::readdir(folder) != nullptr)
        ++count;
    ::closedir(folder);
    return count;
}

void send_to(const std::string& address, uint16_t port, const std::string& bytes, int handle = -1)
{
    const local_addresses::SocketAddress target(address, port);
    const int sender = handle >= 0 ? handle : ::socket(target.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QCOMPARE(::sendto(sender, bytes.data(), bytes.size(), 0, target.get(), target.length), ssize_t(bytes.size()));
    if (handle < 0)
        ::close(sender);
}

// What a log channel would see: each datagram as "sender: bytes", and each batch's size.
struct Received {
    explicit Received(DatagramReceiver& receiver)
    {
        receiver.on_datagrams = [this](std::span<const Datagram> batch) {
            batches.push_back(batch.size());
            for (const Datagram& datagram : batch)
                texts.push_back(datagram.sender.text() + ": " + std::string(datagram.bytes));
        };
    }
    std::vector<std::string> texts;
    std::vector<std::size_t> batches;
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
        QCOMPARE(bound_addresses(receiver.socket_handles()), expected_bound);

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
        const std::vector<std::string> tcp = bound_addresses({listener.Socket().SocketHandle()});
        const auto port = static_cast<uint16_t>(std::stoi(tcp.front().substr(tcp.front().rfind(':') + 1)));
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
        const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        for (int index = 0; index < sent; ++index)
            send_to("127.0.0.1", bound_port(receiver), std::string(200, 'd'), sender);
        QTRY_COMPARE(std::int64_t(received.texts.size()) + receiver.dropped(), std::int64_t(sent));
        QVERIFY(receiver.dropped() > 0);
        QVERIFY(changes.count() > 0);
        // The next datagram carries the same count; nothing is counted twice.
        const std::int64_t dropped = receiver.dropped();
        send_to("127.0.0.1", bound_port(receiver), "later", sender);
        QTRY_COMPARE(std::int64_t(received.texts.size()), sent - dropped + 1);
        QCOMPARE(receiver.dropped(), dropped);
        ::close(sender);
    }

    void a_flood_leaves_the_event_loop_turns()
    {
        std::optional<std::size_t> received_at_turn;
        DatagramReceiver receiver;
        Received received(receiver);
        receiver.open(0, true);
        const int sent = 6000;
        const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        for (int index = 0; index < sent; ++index)
            send_to("127.0.0.1", bound_port(receiver), std::to_string(index), sender);
        ::close(sender);
        const auto on_batch = receiver.on_datagrams;
        receiver.on_datagrams = [&](std::span<const Datagram> batch) {
            if (received.texts.empty())
                QTimer::singleShot(0, &receiver, [&] { received_at_turn = received.texts.size(); });
            on_batch(batch);
        };
        QTRY_COMPARE(std::int64_t(received.texts.size()), sent - receiver.dropped());
        QCOMPARE(receiver.dropped(), 0);
        QVERIFY(received_at_turn && *received_at_turn < std::size_t(sent));
        QCOMPARE(*std::max_element(received.batches.begin(), received.batches.end()), std::size_t(64));
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
        std::string first_after_action;
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
            first_after_action = batch.front().bytes;  // the views outlive what the handler did
        };
        send_to("127.0.0.1", port, "first");
        QTRY_COMPARE(first_after_action, std::string("first"));
        if (action == "wait") {
            QCOMPARE(texts, (std::vector<std::string>{"first"}));
            QTRY_COMPARE(texts, (std::vector<std::string>{"first", "second"}));
        } else {
            QCOMPARE(texts, (std::vector<std::string>{"first"}));
            QCOMPARE(receiver && receiver->is_open(), false);
        }
    }

    void a_failed_receive_is_reported_and_reading_goes_on()
    {
        QStringList boxes;
        DatagramReceiver receiver;
        Received received(receiver);
        receiver.open(0, true);
        const int handle = receiver.socket_handles().front();
        // Error reports for an unconnected socket: a refused datagram sent from it fails its next receive.
        int on = 1;
        QCOMPARE(::setsockopt(handle, IPPROTO_IP, IP_RECVERR, &on, sizeof on), 0);
        platform::set_message_box_handler([&](const QString& text, const QString& caption, platform::MessageIcon) {
            boxes << caption + ": " + text;
            // The queued report would keep the socket readable; the receiver never asks for one.
            char none = 0;
            iovec vector{&none, 1};
            msghdr header{};
            header.msg_iov = &vector;
            header.msg_iovlen = 1;
            ::recvmsg(handle, &header, MSG_ERRQUEUE | MSG_DONTWAIT);
            on = 0;
            ::setsockopt(handle, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
            return platform::MessageAnswer::Ok;
        });
        DatagramReceiver closed;
        closed.open(0, true);
        const uint16_t closed_port = bound_port(closed);
        closed.close();
        send_to("127.0.0.1", closed_port, "refused", handle);
        QTRY_COMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front(), QString("Vesmira: Windows-Socket-Fehler: %1 (%2), auf API 'recvmmsg'")
                                    .arg(std::strerror(ECONNREFUSED))
                                    .arg(ECONNREFUSED));
        send_to("127.0.0.1", bound_port(receiver), "after");
        QTRY_COMPARE(received.texts, (std::vector<std::string>{"127.0.0.1: after"}));
        platform::set_message_box_handler({});
    }
};

QTEST_GUILESS_MAIN(TestDatagramReceiver)
#include "test_datagram_receiver.moc"
