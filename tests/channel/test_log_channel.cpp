// The log channel with real loopback senders and no window: what arrives is kept with its
// arrival time, checked for alerts, counted, filtered, dropped at the text limit and logged.

#include "../logwin/loopback.h"

#include "channel/log_channel.h"
#include "find/pattern.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <string>
#include <vector>

#include <arpa/inet.h>

namespace {

class NoHighlights final : public alerts::HighlightList {
public:
    void add_keyword(std::string_view) override {}
    void blank_keyword(std::string_view) override {}
    void keywords_changed() override {}
};

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
};

QTEST_GUILESS_MAIN(TestLogChannel)
#include "test_log_channel.moc"
