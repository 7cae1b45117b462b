// The listener driven through real loopback connections and the real event loop.

#include "local_addresses.h"
#include "net/tserversocket.h"
#include "platform/message_box.h"
#include "platform/real_message_box.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace net;

namespace {

using local_addresses::bound_port;
using local_addresses::open_descriptors;

uint16_t bound_port(const TServerSocket& server) { return bound_port(server.Socket().SocketHandle()); }

// A blocking client, as a log sender would be.
struct Peer {
    explicit Peer(uint16_t port, const std::string& address = "127.0.0.1")
        : handle(local_addresses::connect_to(address, port)), connected(handle >= 0)
    {
    }
    ~Peer() { close(); }
    void send(const std::string& data)
    {
        for (std::size_t sent = 0; sent < data.size();) {
            const ssize_t n = ::send(handle, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            QVERIFY2(n > 0, std::strerror(errno));
            sent += static_cast<std::size_t>(n);
        }
    }
    void close()
    {
        if (handle >= 0)
            ::close(handle);
        handle = -1;
    }
    void reset()
    {
        const linger abort_on_close{1, 0};
        ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
        close();
    }
    // True when the listener's side has gone (end of stream or reset).
    bool sees_close()
    {
        pollfd readable{handle, POLLIN, 0};
        char byte = 0;
        return ::poll(&readable, 1, 5000) == 1 && ::recv(handle, &byte, 1, 0) <= 0;
    }
    int handle;
    bool connected;
};

std::unique_ptr<TServerSocket> listening_server(int32_t port = 0, bool local_only = false)
{
    auto server = std::make_unique<TServerSocket>();
    server->SetPort(port);
    server->SetLocalOnly(local_only);
    server->SetActive(true);
    return server;
}

// What the log window would see: the text of every connection and how many closes.
struct Received {
    explicit Received(TServerSocket& server)
    {
        server.OnClientRead = [this](TServerWinSocket&, TCustomWinSocket& socket) {
            texts[&socket] += socket.ReadAvailableText();
        };
        server.OnClientDisconnect = [this](TServerWinSocket& sender, TCustomWinSocket& socket) {
            ++closes;
            text_at_close = texts[&socket];
            listed_at_close = sender.ActiveConnections();
        };
    }
    std::string all() const
    {
        std::string text;
        for (const auto& [socket, part] : texts)
            text += part;
        return text;
    }
    std::map<TCustomWinSocket*, std::string> texts;
    std::string text_at_close;
    int listed_at_close = 0;
    int closes = 0;
};

}  // namespace

class TestListener : public QObject {
    Q_OBJECT

    QStringList boxes;

private Q_SLOTS:
    void initTestCase() { platform::use_real_message_boxes(); }
    void init()
    {
        boxes.clear();
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon icon) {
            boxes << caption + ": " + text + (icon == platform::MessageIcon::Error ? " [error]" : "");
            return platform::MessageAnswer::Ok;
        });
    }
    void cleanup() { platform::set_message_box_handler({}); }

    void listens_on_the_low_16_bits_of_port_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("expected");  // 0: the system chooses
        QTest::newRow("65536") << 65536 << 0;
        QTest::newRow("70000") << 70000 << 4464;
        QTest::newRow("-1") << -1 << 65535;
        QTest::newRow("0") << 0 << 0;
    }
    void listens_on_the_low_16_bits_of_port()
    {
        QFETCH(int, port);
        QFETCH(int, expected);
        auto server = listening_server(port);
        QVERIFY(server->Active());
        QVERIFY(bound_port(*server) != 0);
        if (expected != 0)
            QCOMPARE(int(bound_port(*server)), expected);
        server->SetPort(port);  // the same value changes nothing
        QVERIFY_THROWS_EXCEPTION(ESocketError, server->SetPort(port + 1));
        QCOMPARE(server->Port(), port);
        server->SetActive(false);
        server->SetPort(port + 1);
        QCOMPARE(server->Port(), port + 1);
    }

    void a_held_port_fails_to_bind_and_leaves_nothing_open_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<bool>("local_only");
        QTest::newRow("plain socket") << "plain IPv4" << false;
        QTest::newRow("another listener") << "listener" << false;
        QTest::newRow("another local-only listener") << "local-only listener" << false;
        QTest::newRow("local only, another listener") << "listener" << true;
        // 127.0.0.1 binds, ::1 doesn't: the first descriptor must go again.
        QTest::newRow("local only, a plain socket on ::1") << "plain ::1" << true;
    }
    void a_held_port_fails_to_bind_and_leaves_nothing_open()
    {
        QFETCH(QString, holder);
        QFETCH(bool, local_only);
        std::unique_ptr<TServerSocket> other;
        int plain = -1;
        uint16_t port = 0;
        if (holder.startsWith("plain")) {
            if (holder == "plain ::1" && !local_addresses::has_ipv6())
                QSKIP("this kernel has no IPv6");
            const local_addresses::SocketAddress held(holder == "plain ::1" ? "::1" : "0.0.0.0", 0);
            plain = ::socket(held.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            QVERIFY(::bind(plain, held.get(), held.length) == 0);
            QVERIFY(::listen(plain, 1) == 0);
            port = bound_port(plain);
        } else {
            other = listening_server(0, holder == "local-only listener");
            port = bound_port(*other);
        }
        TServerSocket server;
        server.SetPort(port);
        server.SetLocalOnly(local_only);
        const int descriptors = open_descriptors();
        try {
            server.SetActive(true);
            QFAIL("activation on a held port must fail");
        } catch (const ESocketError& error) {
            QCOMPARE(std::string(error.what()), socket_api_error_message(EADDRINUSE, "bind"));
            QCOMPARE(error.code(), EADDRINUSE);
        }
        QVERIFY(!server.Active());
        QCOMPARE(server.Socket().SocketHandle(), -1);
        QCOMPARE(open_descriptors(), descriptors);
        server.SetPort(0);
        server.SetActive(true);
        QVERIFY(server.Active());
        if (plain >= 0)
            ::close(plain);
    }

    void who_may_send_data()
    {
        QTest::addColumn<bool>("local_only");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("taken");
        QTest::newRow("every address, 127.0.0.1") << false << "127.0.0.1" << true;
        QTest::newRow("every address, ::1") << false << "::1" << true;
        QTest::newRow("every address, this machine's own address") << false << "own" << true;
        QTest::newRow("local only, 127.0.0.1") << true << "127.0.0.1" << true;
        QTest::newRow("local only, ::1") << true << "::1" << true;
        QTest::newRow("local only, this machine's own address") << true << "own" << false;
    }
    void who_may_send()
    {
        QFETCH(bool, local_only);
        QFETCH(QString, address);
        QFETCH(bool, taken);
        if (address == "::1" && !local_addresses::has_ipv6())
            QSKIP("this kernel has no IPv6");
        if (address == "own") {
            const std::optional<std::string> own = local_addresses::non_loopback_address();
            if (!own)
                QSKIP("this machine has no address but loopback");
            address = QString::fromStdString(*own);
        }

        // Port 0: the system chooses, and both loopback descriptors must have been given its choice.
        auto server = listening_server(0, local_only);
        Received received(*server);
        const uint16_t port = bound_port(*server);
        Peer sender(port, address.toStdString());
        QVERIFY2(sender.connected == taken, qPrintable(address));
        if (taken) {
            sender.send("from " + address.toStdString() + "\n");
            QTRY_COMPARE(received.all(), "from " + address.toStdString() + "\n");
        } else {
            // Refused by the kernel before any connection existed; a loopback sender still gets in.
            Peer local(port);
            QVERIFY(local.connected);
            QTRY_COMPARE(server->Socket().ActiveConnections(), 1);
        }
        QCOMPARE(server->Socket().ActiveConnections(), 1);
        QVERIFY_THROWS_EXCEPTION(ESocketError, server->SetLocalOnly(!local_only));
        QCOMPARE(server->LocalOnly(), local_only);
    }

    void a_port_left_by_a_closed_window_can_be_listened_on_again()
    {
        auto server = listening_server();
        const uint16_t port = bound_port(*server);
        server->SetActive(false);
        server->SetPort(port);
        server->SetActive(true);
        Peer peer(port);
        QTRY_COMPARE(server->Socket().ActiveConnections(), 1);
        server->SetActive(false);  // our side closes first and keeps the port in TIME_WAIT
        QVERIFY(peer.sees_close());
        peer.close();
        server->SetActive(true);
        QCOMPARE(bound_port(*server), port);
    }

    void texts_of_two_peers_never_mix()
    {
        auto server = listening_server();
        Received received(*server);
        Peer first(bound_port(*server));
        Peer second(bound_port(*server));
        std::string every_byte;
        for (int value = 0; value < 256; ++value)
            every_byte += static_cast<char>(value);
        std::string expected[2];
        for (int round = 0; round < 50; ++round) {
            expected[0] += "A" + std::to_string(round) + every_byte;
            first.send("A" + std::to_string(round) + every_byte);
            expected[1] += "B" + std::to_string(round) + "\n";
            second.send("B" + std::to_string(round) + "\n");
            if (round % 10 == 0)
                QCoreApplication::processEvents();
        }
        QTRY_COMPARE(server->Socket().ActiveConnections(), 2);
        for (int i = 0; i < 2; ++i) {
            QTRY_COMPARE(received.texts[server->Socket().Connections(i)].size(), expected[i].size());
            QVERIFY(received.texts[server->Socket().Connections(i)] == expected[i]);
        }
        QCOMPARE(received.texts.size(), std::size_t(2));
    }

    void peer_close_is_reported_once_after_its_bytes_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("one line") << 10;
        QTest::newRow("several megabytes") << 3 * 1024 * 1024;
    }
    void peer_close_is_reported_once_after_its_bytes()
    {
        QFETCH(int, size);
        auto server = listening_server();
        Received received(*server);
        const std::string data(static_cast<std::size_t>(size), '\n');
        Peer peer(bound_port(*server));
        // Several megabytes do not fit in the socket buffers at once.
        std::thread sender([&] { peer.send(data); peer.close(); });
        QTRY_COMPARE(received.closes, 1);
        sender.join();
        QVERIFY(received.text_at_close == data);
        QCOMPARE(received.listed_at_close, 1);  // removed only on a later loop turn
        QTRY_COMPARE(server->Socket().ActiveConnections(), 0);
        QCOMPARE(received.closes, 1);
    }

    void deactivation_destroys_every_connection_without_events()
    {
        const int descriptors = open_descriptors();
        auto server = listening_server();
        Received received(*server);
        std::vector<std::unique_ptr<Peer>> peers;
        // All connected while the loop is idle, as a burst of short senders arrives while the
        // window is busy: the accept queue holds them (a short one would leave connect waiting).
        constexpr int count = 50;
        for (int i = 0; i < count; ++i)
            peers.push_back(std::make_unique<Peer>(bound_port(*server)));
        QTRY_COMPARE(server->Socket().ActiveConnections(), count);
        server->SetActive(false);
        QVERIFY(!server->Active());
        QCOMPARE(server->Socket().ActiveConnections(), 0);
        for (auto& peer : peers)
            QVERIFY(peer->sees_close());
        QCoreApplication::processEvents();
        QCOMPARE(received.closes, 0);
        peers.clear();
        QCOMPARE(open_descriptors(), descriptors);
    }

    void a_peer_waiting_while_descriptors_run_out_is_accepted_later()
    {
        auto server = listening_server();
        Peer peer(bound_port(*server));
        QVERIFY(peer.connected);

        // Leave no descriptor number free for accept.
        const int lowest_free = ::dup(0);
        ::close(lowest_free);
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit original = limit;
        limit.rlim_cur = static_cast<rlim_t>(lowest_free);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);

        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        QTest::qWait(400);
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        ::setrlimit(RLIMIT_NOFILE, &original);

        QCOMPARE(server->Socket().ActiveConnections(), 0);
        // The waiting peer must not turn the event loop into a busy loop.
        const auto cpu_ms = [](const rusage& usage) {
            return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
        };
        QVERIFY2(cpu_ms(after) - cpu_ms(before) < 200.0, "the listener spun while out of descriptors");
        QTRY_COMPARE(server->Socket().ActiveConnections(), 1);
    }

    void peer_reset_is_reported_and_closes_the_connection_data()
    {
        QTest::addColumn<QByteArray>("before_reset");
        QTest::addColumn<bool>("handler_clears");
        QTest::addColumn<int>("resets");
        QTest::newRow("no handler") << QByteArray() << false << 1;
        QTest::newRow("a line and half a line before the reset") << QByteArray("last words\nhalf a li") << false << 1;
        QTest::newRow("handler clears the code") << QByteArray() << true << 1;
        QTest::newRow("further resets while the box is open") << QByteArray("x\n") << false << 20;
    }
    void peer_reset_is_reported_and_closes_the_connection()
    {
        QFETCH(QByteArray, before_reset);
        QFETCH(bool, handler_clears);
        QFETCH(int, resets);
        auto server = listening_server();
        const int descriptors = open_descriptors();
        Received received(*server);
        QList<int> errors;
        if (handler_clears)
            server->OnClientError = [&](TServerWinSocket&, TCustomWinSocket&, TErrorEvent kind, int32_t& code) {
                errors << kind << code;
                code = 0;
            };
        // The box stays open until every reset connection has closed, so the errors of the
        // others meet an open box.
        platform::set_message_box_handler([&](const QString& text, const QString& caption, platform::MessageIcon) {
            boxes << caption + ": " + text;
            if (!QTest::qWaitFor([&] { return received.closes == resets; }))
                boxes << "closed before every reset connection had closed";
            return platform::MessageAnswer::Ok;
        });
        {
            std::vector<std::unique_ptr<Peer>> peers;
            for (int i = 0; i < resets; ++i)
                peers.push_back(std::make_unique<Peer>(bound_port(*server)));
            QTRY_COMPARE(server->Socket().ActiveConnections(), resets);
            for (const auto& peer : peers) {
                peer->send(before_reset.toStdString());
                peer->reset();
            }
        }
        QTRY_COMPARE(received.closes, resets);
        QCOMPARE(received.text_at_close, before_reset.toStdString());
        QTRY_COMPARE(server->Socket().ActiveConnections(), 0);
        QCOMPARE(open_descriptors(), descriptors);
        if (handler_clears)
            QCOMPARE(errors, (QList<int>{ekDisconnect, ECONNRESET}));
        // One box, however many resets: the others went to standard error while it was open.
        QCOMPARE(boxes, handler_clears ? QStringList{}
                                       : QStringList{QString("Vesmira: Asynchroner Socket-Fehler %1.").arg(ECONNRESET)});
        QCOMPARE(received.closes, resets);
    }

    void a_failed_receive_closes_the_connection_and_raises()
    {
        auto server = listening_server();
        Received received(*server);
        std::string failure;
        QList<int> errors;
        server->OnClientRead = [&](TServerWinSocket&, TCustomWinSocket& socket) {
            char buffer[16] = {};
            QCOMPARE(socket.ReadBytes(buffer, sizeof buffer), 3);
            try {
                socket.ReadAvailableText();  // the pending reset surfaces in this receive
            } catch (const ESocketError& error) {
                failure = error.what();
            }
        };
        server->OnClientError = [&](TServerWinSocket&, TCustomWinSocket&, TErrorEvent kind, int32_t& code) {
            errors << kind << code;
        };
        Peer peer(bound_port(*server));
        QTRY_COMPARE(server->Socket().ActiveConnections(), 1);
        peer.send("abc");
        peer.reset();
        QTRY_COMPARE(failure, socket_api_error_message(ECONNRESET, "recv"));
        QCOMPARE(errors, (QList<int>{ekReceive, ECONNRESET}));
        QCOMPARE(received.closes, 1);
        QTRY_COMPARE(server->Socket().ActiveConnections(), 0);
        QVERIFY(boxes.isEmpty());
    }

    void data_keeps_arriving_while_a_real_modal_box_is_open()
    {
        platform::set_message_box_handler({});
        auto server = listening_server();
        Peer peer(bound_port(*server));
        std::string text;
        std::string read_after_box = "unset";
        bool connected_after_box = true;
        server->OnClientRead = [&](TServerWinSocket&, TCustomWinSocket& socket) {
            const bool first = text.empty();
            text += socket.ReadAvailableText();
            if (!first)
                return;
            platform::show_message("first line arrived", "Test", platform::MessageIcon::Information);
            // The peer closed and its connection was destroyed inside the box's loop; this
            // handler's connection object must still be usable.
            read_after_box = socket.ReadAvailableText();
            connected_after_box = socket.Connected();
        };
        // Once the box is up the peer sends more and hangs up; the box closes when all was seen.
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            QWidget* const box = QApplication::activeModalWidget();
            if (box != nullptr && peer.handle >= 0) {
                peer.send("second\n");
                peer.close();
            } else if (box != nullptr && text == "first\nsecond\n" && server->Socket().ActiveConnections() == 0) {
                box->close();
            }
        });
        driver.start(5);
        peer.send("first\n");
        QTRY_VERIFY(read_after_box != "unset");
        QVERIFY(read_after_box.empty());
        QVERIFY(!connected_after_box);
    }

    void a_handler_waiting_before_it_reads_is_not_reentered()
    {
        auto server = listening_server();
        Peer slow(bound_port(*server));
        std::unique_ptr<Peer> other;
        Received received(*server);
        int nested_reads_of_waiting = 0;
        TCustomWinSocket* waiting = nullptr;
        QEventLoop nested;
        server->OnClientRead = [&](TServerWinSocket&, TCustomWinSocket& socket) {
            if (waiting == nullptr) {
                waiting = &socket;
                // In the nested loop: more bytes for this connection, then a second peer whose read ends it.
                QTimer::singleShot(0, [&] {
                    slow.send("more\n");
                    other = std::make_unique<Peer>(bound_port(*server));
                    other->send("other\n");
                });
                nested.exec();  // as a modal box would, before reading anything
            } else if (&socket == waiting) {
                ++nested_reads_of_waiting;
            } else {
                nested.quit();
            }
            received.texts[&socket] += socket.ReadAvailableText();
        };
        slow.send("waiting\n");
        QTRY_VERIFY(received.texts[waiting].ends_with("more\n"));
        QCOMPARE(nested_reads_of_waiting, 0);
        QVERIFY(received.texts[waiting] == "waiting\nmore\n");
        slow.send("later\n");  // reading re-armed the notifications
        QTRY_VERIFY(received.texts[waiting].ends_with("later\n"));
    }

    void the_listener_can_go_away_inside_a_read_handler_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("deactivated") << false;
        QTest::newRow("destroyed") << true;
    }
    void the_listener_can_go_away_inside_a_read_handler()
    {
        QFETCH(bool, destroy);
        auto server = listening_server();
        std::string text = "unset";
        bool connected = true;
        server->OnClientRead = [&](TServerWinSocket&, TCustomWinSocket& socket) {
            if (destroy)
                server.reset();
            else
                server->SetActive(false);
            text = socket.ReadAvailableText();
            connected = socket.Connected();
        };
        Peer peer(bound_port(*server));
        peer.send("bye\n");
        QTRY_VERIFY(text != "unset");
        QVERIFY(text.empty());
        QVERIFY(!connected);
        QVERIFY(peer.sees_close());
    }
};

QTEST_MAIN(TestListener)
#include "test_listener.moc"
