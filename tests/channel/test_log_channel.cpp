// The log channel with real loopback senders and no window: what arrives is kept with its
// arrival time, checked for alerts, counted, filtered, dropped at the text limit and logged.

#include "../alerts/no_highlights.h"
#include "../logwin/loopback.h"
#include "../logwin/loopback_tls.h"
#include "../tls/tls_test_files.h"

#include "channel/log_channel.h"
#include "find/pattern.h"
#include "net/tserversocket.h"
#include "tls/fingerprints.h"
#include "tls/own_certificate.h"
#include "tls/server_context.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/resource.h>

namespace {

net::AddressFilter accepting(const QString& text)
{
    return std::get<net::AddressFilter>(net::AddressFilter::parse(text));
}

bool send_datagram(quint16 port, std::string_view bytes)
{
    const int udp = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool sent = sendto(udp, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0;
    ::close(udp);
    return sent;
}

QStringList refusal_texts(const channel::LogChannel& log)
{
    QStringList texts;
    for (const channel::Refusal& refusal : log.last_refusals())
        texts.append(QString::fromStdString(refusal.sender.text()) + QLatin1Char(' ')
                     + channel::reason_text(refusal));
    return texts;
}

std::vector<std::string> all_lines(const lines::LineSource& source)
{
    std::vector<std::string> result;
    for (int index = 0; index < source.line_count(); ++index)
        result.emplace_back(source.line_view(index));
    return result;
}

}  // namespace

class TestLogChannel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keeps_checks_filters_and_logs_what_senders_send()
    {
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        const quint16 port = loopback::free_port();
        log.listen(port, true);
        QVERIFY(log.listening());

        alerts::tAlert alert;
        alert.name = QStringLiteral("disk");
        alert.catchwords = {"disk full"};
        alert.active = true;
        log.alerts().assign({alert});
        std::vector<std::string> fired;
        connect(&log, &channel::LogChannel::alert_fired, this,
                [&](const std::vector<alerts::AlertActions>&, std::string_view line) { fired.emplace_back(line); });

        QTemporaryDir folder;
        const QString log_path = folder.filePath(QStringLiteral("received.log"));
        QCOMPARE(log.start_logging(log_path), QString());
        log.filter().start(find::Pattern("error", {}), find::SearchMode::show_matching, log.complete_end());

        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        loopback::Sender first(port);
        loopback::Sender second(port);
        QVERIFY(first.send("boot ok\nerror: disk full\nhal"));
        QTRY_COMPARE(log.lines().line_count(), 3);
        QVERIFY(log.last_line_open());
        QVERIFY(second.send("second sender\n"));
        QTRY_COMPARE(log.senders(), 2);
        QTRY_COMPARE(log.lines().line_count(), 4);
        QVERIFY(first.send("f error\n"));
        QTRY_COMPARE(log.lines_received(), 4);
        const qint64 after = QDateTime::currentMSecsSinceEpoch();

        QCOMPARE(all_lines(log.lines()),
                 (std::vector<std::string>{"boot ok", "error: disk full", "half error", "second sender"}));
        for (int index = 0; index < log.lines().line_count(); ++index)
            QVERIFY(log.lines().time(index) >= before && log.lines().time(index) <= after);
        QCOMPARE(fired, std::vector<std::string>{"error: disk full"});
        QCOMPARE(log.lines_received(), 4);
        QCOMPARE(log.bytes_received(), 50);
        QTRY_COMPARE(all_lines(log.filter().index()), (std::vector<std::string>{"error: disk full", "half error"}));
        QVERIFY(!log.last_line_open());

        // Past the text limit the oldest lines go, from the filter's lines too.
        log.set_text_limit(24);
        QCOMPARE(all_lines(log.lines()), (std::vector<std::string>{"second sender"}));
        QCOMPARE(log.filter().index().line_count(), 0);

        log.stop_logging();
        QFile written(log_path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("boot ok\nerror: disk full\nsecond sender\nhalf error\n"));

        log.close();
        QCOMPARE(log.senders(), 0);
        QVERIFY(!log.listening());
    }

    // A syslog window: TCP senders in both framings and a UDP sender on the same port, each
    // message one line with its priority and sender, a bad count turning to line framing
    // without a byte lost, and the severity filter beside the text filter.
    void a_syslog_channel_keeps_each_message_as_one_line()
    {
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        const quint16 port = loopback::free_port();
        log.listen(port, true, net::Protocol::syslog);
        log.filter().start(find::Pattern("", {}), find::SearchMode::show_matching, log.complete_end(), 3);

        loopback::Sender counted(port);
        QVERIFY(counted.send("33 <11>1 - host app - - - two\nlin"));
        QVERIFY(counted.send("es\n\n21 <14>Oct 11 22:14:15 "));
        QTRY_COMPARE(log.lines().line_count(), 1);
        QVERIFY(counted.send("x"));
        loopback::Sender delimited(port);
        QVERIFY(delimited.send(std::string_view("<12>warn\r\n<15>debug\0<9>third\n", 29)));
        QTRY_COMPARE(log.lines().line_count(), 5);
        // A bad count: the connection is line framed from there on, the count's bytes kept.
        loopback::Sender bad(port);
        QVERIFY(bad.send("12x <11>kept\n"));
        QTRY_COMPARE(log.lines().line_count(), 6);
        QCOMPARE(log.framing_errors(), 1);

        const int udp = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (const std::string_view datagram : {std::string_view("<10>by udp\n"), std::string_view(""),
                                                std::string_view("no priority\0", 12)})
            QVERIFY(sendto(udp, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0);
        ::close(udp);
        QTRY_COMPARE(log.lines().line_count(), 8);
        // A message a sender left unfinished when it closed is kept as it came.
        loopback::Sender(port).send("<13>unfinished");
        QTRY_COMPARE(log.lines().line_count(), 9);

        QCOMPARE(all_lines(log.lines()),
                 (std::vector<std::string>{"<11>1 - host app - - - two\u240Alines", "<12>warn", "<15>debug",
                                           "<9>third", "<14>Oct 11 22:14:15 x", "12x <11>kept", "<10>by udp",
                                           "no priority", "<13>unfinished"}));
        std::vector<int> severities;
        for (int index = 0; index < log.lines().line_count(); ++index)
            severities.push_back(log.lines().priority(index) & 7);
        QCOMPARE(severities, (std::vector<int>{3, 4, 7, 1, 6, 5, 2, 5, 5}));
        QCOMPARE(log.lines().sender(7).text(), std::string("127.0.0.1"));
        QTRY_COMPARE(all_lines(log.filter().index()),
                     (std::vector<std::string>{"<11>1 - host app - - - two\u240Alines", "<9>third", "<10>by udp"}));
        QCOMPARE(log.senders(), 4);
        QCOMPARE(log.lost(), 0);
    }

    // Senders on 127.0.0.1, one by TCP and one by UDP, against a syslog window's "Accept from".
    void accept_from_admits_or_refuses_connections_and_datagrams_data()
    {
        QTest::addColumn<QString>("accept_from");
        QTest::addColumn<bool>("admitted");
        QTest::newRow("everyone") << QString() << true;
        QTest::newRow("the sender's address") << QStringLiteral("127.0.0.1") << true;
        QTest::newRow("the sender's network, IPv6 beside it") << QStringLiteral("fd00::/8, 127.0.0.0/8") << true;
        QTest::newRow("another address") << QStringLiteral("::1") << false;
        QTest::newRow("another IPv4 network") << QStringLiteral("10.0.0.0/8") << false;
    }
    void accept_from_admits_or_refuses_connections_and_datagrams()
    {
        QFETCH(QString, accept_from);
        QFETCH(bool, admitted);
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        const quint16 port = loopback::free_port();
        log.set_accept_from(accepting(accept_from));
        log.listen(port, true, net::Protocol::syslog);

        loopback::Sender tcp(port);
        QVERIFY(tcp.connected);
        QVERIFY(tcp.send("<11>by tcp\n"));
        QVERIFY(send_datagram(port, "<11>by udp\n"));
        if (admitted) {
            QTRY_COMPARE(log.lines().line_count(), 2);
            QCOMPARE(log.senders(), 2);
            QVERIFY(!tcp.closed_by_peer());
            QCOMPARE(log.refused(), 0);
            QVERIFY(log.last_refusals().empty());
            return;
        }
        QTRY_COMPARE(log.refused(), 2);
        QTRY_VERIFY(tcp.closed_by_peer());
        QCOMPARE(refusal_texts(log), (QStringList{"127.0.0.1 not in Accept from", "127.0.0.1 not in Accept from"}));
        // Nothing of theirs was kept, and nothing of them stays.
        QCoreApplication::processEvents();
        QCOMPARE(log.lines().line_count(), 0);
        QCOMPARE(log.bytes_received(), 0);
        QCOMPARE(log.senders(), 0);

        // Only the last refusals are listed, newest first; every one is counted.
        for (int sent = 0; sent < 150; ++sent)
            QVERIFY(send_datagram(port, "<11>again\n"));
        QTRY_COMPARE(log.refused(), 152);
        const std::vector<channel::Refusal> last = log.last_refusals();
        QCOMPARE(last.size(), channel::Refusals::kept);
        QVERIFY(std::is_sorted(last.rbegin(), last.rend(),
                               [](const channel::Refusal& left, const channel::Refusal& right) { return left.time < right.time; }));
    }

    // A window holds max_connections connections; the next one is closed as it comes and
    // refused, and a refusal of another reason is listed before it.
    void connections_beyond_the_limit_are_refused()
    {
        // Both ends of every connection live in this process.
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        const rlim_t needed = 2 * channel::LogChannel::max_connections + 100;
        if (files.rlim_cur < needed) {
            if (files.rlim_max < needed)
                QSKIP("the descriptor limit is too low for this many connections");
            files.rlim_cur = needed;
            QVERIFY(setrlimit(RLIMIT_NOFILE, &files) == 0);
        }
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        const quint16 port = loopback::free_port();
        log.listen(port, true);
        std::vector<std::unique_ptr<loopback::Sender>> held;
        for (int opened = 0; opened < channel::LogChannel::max_connections; ++opened) {
            held.push_back(std::make_unique<loopback::Sender>(port));
            QVERIFY(held.back()->connected);
        }
        QTRY_COMPARE(log.senders(), channel::LogChannel::max_connections);
        QCOMPARE(log.refused(), 0);

        loopback::Sender one_more(port);
        QVERIFY(one_more.send("not read\n"));
        QTRY_VERIFY(one_more.closed_by_peer());
        QCOMPARE(log.refused(), 1);
        QCOMPARE(log.senders(), channel::LogChannel::max_connections);
        // The connections held go on.
        QVERIFY(held.front()->send("still here\n"));
        QTRY_COMPARE(log.lines().line_count(), 1);

        log.set_accept_from(accepting(QStringLiteral("::1")));
        loopback::Sender refused(port);
        QTRY_VERIFY(refused.closed_by_peer());
        QCOMPARE(refusal_texts(log), (QStringList{"127.0.0.1 not in Accept from", "127.0.0.1 too many connections"}));
        QCOMPARE(log.lines().line_count(), 1);
    }

    // Unfinished syslog messages of every connection together have a budget: the connection
    // whose bytes take them past it is closed and refused, its unfinished message dropped; the
    // others go on.
    void unfinished_messages_beyond_the_budget_are_refused()
    {
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        log.set_unfinished_limit(100);
        const quint16 port = loopback::free_port();
        log.listen(port, true, net::Protocol::syslog);
        const std::string start = "<11>1 - h app - - - ";
        loopback::Sender first(port);
        QVERIFY(first.send("90 " + start + std::string(40, 'a')));
        QTRY_COMPARE(log.bytes_received(), 63);
        loopback::Sender second(port);
        QVERIFY(second.send("90 " + start + std::string(30, 'b')));
        QTRY_VERIFY(second.closed_by_peer());
        QCOMPARE(refusal_texts(log), QStringList{"127.0.0.1 too much unfinished text"});
        QVERIFY(first.send(std::string(30, 'a')));
        QTRY_COMPARE(log.lines().line_count(), 1);
        QCOMPARE(all_lines(log.lines()), std::vector<std::string>{start + std::string(70, 'a')});
        QCOMPARE(log.senders(), 1);
    }

    // Syslog over TLS with the openssl tool as the sender: an octet-counted message arrives
    // decrypted; TLS 1.1, and a connection that never says hello, are refused and closed.
    void a_tls_channel_decrypts_and_refuses()
    {
        QTemporaryDir folder;
        const tls::OwnCertificate own = tls::ensure_own_certificate(folder.path().toStdString());
        QVERIFY2(own.error.empty(), own.error.c_str());
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        tls::ServerSettings settings;
        settings.certificate_file = own.certificate_file;
        settings.key_file = own.key_file;
        QCOMPARE(log.use_tls(settings), QString());
        log.set_handshake_limit(std::chrono::seconds(1));
        const quint16 port = loopback::free_port();
        log.listen(port, true, net::Protocol::syslog_tls);

        const auto send_with_s_client = [&](const QStringList& options) {
            QFile message(folder.filePath(QStringLiteral("message")));
            QVERIFY(message.open(QIODevice::WriteOnly));
            message.write("22 <11>1 - h app - - - x\n");
            message.close();
            auto* client = new QProcess(this);
            client->setStandardInputFile(message.fileName());
            client->setProcessChannelMode(QProcess::MergedChannels);
            client->start(QStringLiteral("openssl"),
                          QStringList{"s_client", "-quiet", "-connect", QStringLiteral("127.0.0.1:%1").arg(port)} + options);
            QVERIFY(client->waitForStarted());
            connect(client, &QProcess::finished, client, &QObject::deleteLater);
        };
        send_with_s_client({});
        QTRY_COMPARE(all_lines(log.lines()), std::vector<std::string>{"<11>1 - h app - - - x"});
        QCOMPARE(log.lines().priority(0) & 7, 3);

        send_with_s_client({"-tls1_1"});
        QTRY_COMPARE(refusal_texts(log), QStringList{"127.0.0.1 TLS handshake failed: unsupported protocol"});
        loopback::Sender silent(port);
        QVERIFY(silent.connected);
        QTRY_COMPARE_WITH_TIMEOUT(refusal_texts(log).size(), 2, 5000);
        QCOMPARE(refusal_texts(log).front(), QStringLiteral("127.0.0.1 TLS handshake failed: not done within 1 s"));
        // Only the first sender is still connected: s_client -quiet waits on after its input.
        QTRY_COMPARE(log.senders(), 1);
    }

    // A real rsyslogd forwarding as the README's TLS recipes do (its gtls driver pinning our
    // fingerprint), showing a certificate the window doesn't take: its handshake is refused with
    // the reason, and nothing of it arrives. Outside the program a refusal shows only in the
    // Refused senders dialog, so the recipe test leaves these to this one.
    void rsyslogd_with_a_certificate_not_taken_is_refused_data()
    {
        QTest::addColumn<tls::SenderCheck>("sender_check");
        QTest::addColumn<QString>("reason");
        QTest::newRow("fingerprint not listed") << tls::SenderCheck::fingerprint << QStringLiteral("fingerprint not listed");
        QTest::newRow("self-signed, a CA asked for")
            << tls::SenderCheck::ca << QStringLiteral("certificate not signed by the CA");
    }
    void rsyslogd_with_a_certificate_not_taken_is_refused()
    {
        QFETCH(tls::SenderCheck, sender_check);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const tls::OwnCertificate own = tls::ensure_own_certificate(folder.path().toStdString());
        QVERIFY2(own.error.empty(), own.error.c_str());
        // The sender's certificate is self-signed; another one is the window's CA, or the one
        // fingerprint it lists.
        for (const QString& name : {QStringLiteral("sender"), QStringLiteral("other")})
            QVERIFY(tls_test::openssl(folder.path(), tls_test::new_key(name) + QStringList{"-x509", "-out", name + ".pem"}));
        const QString other = folder.filePath(QStringLiteral("other.pem"));
        tls::ServerSettings settings;
        settings.certificate_file = own.certificate_file;
        settings.key_file = own.key_file;
        settings.sender_check = sender_check;
        settings.ca_file = other.toStdString();
        settings.fingerprints = {tls::fingerprint_of(tls_test::read_certificate(other).get(), tls::DigestKind::sha256)};
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        QCOMPARE(log.use_tls(settings), QString());
        const quint16 port = loopback::free_port();
        log.listen(port, true, net::Protocol::syslog_tls);

        const std::string pinned =
            tls::sha256_fingerprint(tls_test::read_certificate(QString::fromStdString(own.certificate_file)).get());
        QFile configuration(folder.filePath(QStringLiteral("rsyslog.conf")));
        QVERIFY(configuration.open(QIODevice::WriteOnly));
        configuration.write(QStringLiteral(R"(global(workDirectory="%1")
module(load="imuxsock" SysSock.Use="off")
input(type="imuxsock" Socket="%1/log.sock")
global(DefaultNetstreamDriverCertFile="%1/sender.pem" DefaultNetstreamDriverKeyFile="%1/sender.key")
global(DefaultNetstreamDriver="gtls")
*.* action(type="omfwd" target="127.0.0.1" port="%2" protocol="tcp" TCP_Framing="octet-counted"
       StreamDriver="gtls" StreamDriverMode="1" StreamDriverAuthMode="x509/fingerprint"
       StreamDriverPermittedPeers="%3")
)")
                                .arg(folder.path())
                                .arg(port)
                                .arg(QString::fromStdString(pinned))
                                .toUtf8());
        configuration.close();
        QProcess rsyslogd;
        rsyslogd.start(QStringLiteral("rsyslogd"),
                       {"-n", "-f", configuration.fileName(), "-i", folder.filePath("rsyslogd.pid")});
        QVERIFY2(rsyslogd.waitForStarted(), "rsyslogd is missing (scripts/install-deps installs it)");
        QTRY_VERIFY(QFile::exists(folder.filePath(QStringLiteral("log.sock"))));
        QCOMPARE(QProcess::execute(QStringLiteral("logger"), {"-u", folder.filePath("log.sock"), "refused-marker"}), 0);

        const bool refused = QTest::qWaitFor([&] { return log.refused() > 0; }, 15000);
        rsyslogd.terminate();
        QVERIFY(rsyslogd.waitForFinished());
        QVERIFY2(refused, rsyslogd.readAllStandardError().constData());
        QCOMPARE(refusal_texts(log).front(), "127.0.0.1 " + reason);
        QCOMPARE(log.lines().line_count(), 0);
    }

    // A sender reads the window's whole answer (here a certificate chain of some 500 KB) before
    // it sends again: the handshake goes on as the socket takes the answer, not with the
    // sender's next bytes, which would only come after it.
    void a_tls_answer_larger_than_the_socket_holds_goes_out()
    {
        QTemporaryDir folder;
        const tls::OwnCertificate own = tls::ensure_own_certificate(folder.path().toStdString());
        QVERIFY2(own.error.empty(), own.error.c_str());
        QFile certificate(QString::fromStdString(own.certificate_file));
        QVERIFY(certificate.open(QIODevice::ReadOnly));
        const QByteArray pem = certificate.readAll();
        QFile chain(folder.filePath(QStringLiteral("chain.pem")));
        QVERIFY(chain.open(QIODevice::WriteOnly));
        chain.write(pem.repeated(1000));
        chain.close();
        NoHighlights highlights;
        channel::LogChannel log(highlights);
        tls::ServerSettings settings;
        settings.certificate_file = chain.fileName().toStdString();
        settings.key_file = own.key_file;
        QCOMPARE(log.use_tls(settings), QString());
        log.set_handshake_limit(std::chrono::seconds(3));
        const quint16 port = loopback::free_port();
        log.listen(port, true, net::Protocol::syslog_tls);

        loopback::TlsSender sender(port);
        QTRY_COMPARE(log.senders(), 1);
        // A small socket buffer on the window's side: while the sender doesn't read, the
        // answer stops a long way short of its end.
        const int small = 4096;
        const int window_side = log.listener().Socket().Connections(0)->SocketHandle();
        QCOMPARE(setsockopt(window_side, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
        QCOMPARE(fcntl(sender.connection().handle(), F_SETFL, O_NONBLOCK), 0);
        QVERIFY(!sender.handshake());
        QTest::qWait(300);
        // The sender reads as fast as the window answers.
        QDeadlineTimer deadline(10000);
        while (!sender.handshake() && !sender.failed() && !deadline.hasExpired())
            QCoreApplication::processEvents();
        QVERIFY(!sender.failed());
        QCOMPARE(refusal_texts(log), QStringList());
        QVERIFY(sender.send("21 <11>1 - h app - - - y"));
        QTRY_COMPARE(all_lines(log.lines()), std::vector<std::string>{"<11>1 - h app - - - y"});
    }
};

QTEST_GUILESS_MAIN(TestLogChannel)
#include "test_log_channel.moc"
