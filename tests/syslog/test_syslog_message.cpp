// Reading syslog headers: RFC 5424 strictly, the RFC 3164 dialects senders write (Cisco's
// among them) loosely, the priority, times and the year a BSD time lacks; and a message shown
// as one line.

#include "syslog/message.h"
#include "syslog/shown_text.h"

#include <QtTest>

#include <cstdio>

using namespace syslog_proto;

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray bytes(std::string_view text)
{
    return {text.data(), static_cast<qsizetype>(text.size())};
}

// "2024-03-01 18:46:11.123000+01:00", without the offset when none was sent; empty for no time.
QByteArray shown_time(const std::optional<Timestamp>& time)
{
    if (!time)
        return {};
    char text[64];
    int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06d", time->year, time->month, time->day,
                               time->hour, time->minute, time->second, time->microsecond);
    if (time->has_offset)
        length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "%c%02d:%02d",
                                time->offset_minutes < 0 ? '-' : '+', std::abs(time->offset_minutes) / 60,
                                std::abs(time->offset_minutes) % 60);
    return {text, length};
}

}  // namespace

class TestSyslogMessage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reads_headers_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("arrival");
        QTest::addColumn<int>("priority");  // -1: no PRI
        QTest::addColumn<int>("version");
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QByteArrayList>("fields");  // hostname, app name, proc id, msg id, structured data
        QTest::addColumn<QByteArray>("text");
        const QString march = "2024-03-02T10:00:00+01:00";
        const QByteArray sd = "[exampleSDID@32473 iut=\"3\" eventSource=\"Application\"]";
        const QByteArray escaped_sd = "[a@1 x=\"q\\\"uo\\]te\\\\\" y=\"]\"][b@2]";

        QTest::newRow("5424 with SD and BOM")
            << "<165>1 2003-10-11T22:14:15.003Z mymachine.example.com evntslog - ID47 " + sd + " \xEF\xBB\xBF" "An entry" << march
            << 165 << 1 << QByteArray("2003-10-11 22:14:15.003000+00:00")
            << QByteArrayList{"mymachine.example.com", "evntslog", "", "ID47", sd} << QByteArray("An entry");
        QTest::newRow("5424 without SD, nil values") << QByteArray("<34>1 - - su - - - 'su root' failed") << march << 34 << 1
                                                     << QByteArray() << QByteArrayList{"", "su", "", "", ""}
                                                     << QByteArray("'su root' failed");
        QTest::newRow("5424 several SD elements, escapes, no MSG")
            << "<0>1 2003-08-24T05:14:15.000003-07:00 192.0.2.1 myproc 8710 - " + escaped_sd << march << 0 << 1
            << QByteArray("2003-08-24 05:14:15.000003-07:00") << QByteArrayList{"192.0.2.1", "myproc", "8710", "", escaped_sd}
            << QByteArray();
        QTest::newRow("5424 with a bad date read as 3164")
            << QByteArray("<13>1 2024-02-30T00:00:00Z host app - - - msg") << march << 13 << 0 << QByteArray()
            << QByteArrayList{"", "", "", "", ""} << QByteArray("1 2024-02-30T00:00:00Z host app - - - msg");
        QTest::newRow("5424 with an open SD value read as 3164")
            << QByteArray("<13>1 - host app - - [x a=\"b] text") << march << 13 << 0 << QByteArray()
            << QByteArrayList{"", "", "", "", ""} << QByteArray("1 - host app - - [x a=\"b] text");
        QTest::newRow("3164 with hostname") << QByteArray("<34>Oct 11 22:14:15 mymachine su: 'su root' failed")
                                            << "2024-10-12T08:00:00+02:00" << 34 << 0 << QByteArray("2024-10-11 22:14:15.000000")
                                            << QByteArrayList{"mymachine", "su", "", "", ""} << QByteArray("'su root' failed");
        QTest::newRow("3164 without hostname") << QByteArray("<13>Mar  1 18:46:11 sshd[4321]: Accepted key") << march << 13 << 0
                                               << QByteArray("2024-03-01 18:46:11.000000")
                                               << QByteArrayList{"", "sshd", "4321", "", ""} << QByteArray("Accepted key");
        QTest::newRow("3164 IPv6 hostname, offset") << QByteArray("<13>Mar 01 18:46:11 -0130 fe80::1 app: x") << march << 13 << 0
                                                    << QByteArray("2024-03-01 18:46:11.000000-01:30")
                                                    << QByteArrayList{"fe80::1", "app", "", "", ""} << QByteArray("x");
        QTest::newRow("Cisco: sequence, mark, milliseconds, UTC")
            << QByteArray("<189>123: *Mar  1 18:46:11.123 UTC: %SYS-5-CONFIG_I: Configured from console") << march << 189
            << 0 << QByteArray("2024-03-01 18:46:11.123000+00:00") << QByteArrayList{"", "%SYS-5-CONFIG_I", "", "", ""}
            << QByteArray("Configured from console");
        QTest::newRow("Cisco: device name, no time")
            << QByteArray("<189>123: router1: %LINK-3-UPDOWN: Interface up") << march << 189 << 0 << QByteArray()
            << QByteArrayList{"router1", "%LINK-3-UPDOWN", "", "", ""} << QByteArray("Interface up");
        QTest::newRow("Cisco: year, local zone")
            << QByteArray("<187>45: .Mar  1 2023 18:46:11.5 CET: %LINEPROTO-5-UPDOWN: down") << march << 187 << 0
            << QByteArray("2023-03-01 18:46:11.500000") << QByteArrayList{"", "%LINEPROTO-5-UPDOWN", "", "", ""}
            << QByteArray("down");
        QTest::newRow("year first") << QByteArray("<13>2022 Mar  1 18:46:11 host app: x") << march << 13 << 0
                                    << QByteArray("2022-03-01 18:46:11.000000") << QByteArrayList{"host", "app", "", "", ""}
                                    << QByteArray("x");
        QTest::newRow("year after the time") << QByteArray("<13>Mar  1 18:46:11 2021 host x") << march << 13 << 0
                                             << QByteArray("2021-03-01 18:46:11.000000") << QByteArrayList{"host", "", "", "", ""}
                                             << QByteArray("x");
        QTest::newRow("ISO time (RFC 3339 forwarding)")
            << QByteArray("<13>2024-03-01T18:46:11.123456789+01:00 host app[1]: text") << march << 13 << 0
            << QByteArray("2024-03-01 18:46:11.123456+01:00") << QByteArrayList{"host", "app", "1", "", ""} << QByteArray("text");
        QTest::newRow("31 December arriving on 1 January")
            << QByteArray("<13>Dec 31 23:59:58 host app: x") << "2025-01-01T00:00:05+01:00" << 13 << 0
            << QByteArray("2024-12-31 23:59:58.000000") << QByteArrayList{"host", "app", "", "", ""} << QByteArray("x");
        QTest::newRow("1 January arriving on 31 December")
            << QByteArray("<13>Jan  1 00:00:03 host app: x") << "2024-12-31T23:59:58+01:00" << 13 << 0
            << QByteArray("2025-01-01 00:00:03.000000") << QByteArrayList{"host", "app", "", "", ""} << QByteArray("x");
        QTest::newRow("PRI and the message") << QByteArray("<14>just: text") << march << 14 << 0 << QByteArray()
                                             << QByteArrayList{"", "just", "", "", ""} << QByteArray("text");
        QTest::newRow("no PRI") << QByteArray("Mar  1 18:46:11 host app: x") << march << -1 << 0
                                << QByteArray("2024-03-01 18:46:11.000000") << QByteArrayList{"host", "app", "", "", ""}
                                << QByteArray("x");
        for (const char* line : {"<192>Mar  1 18:46:11 host x", "<13 text", "<1a>text", "<013>text", "<>text", "<1234>text", ""})
            QTest::newRow(*line ? line : "empty line") << QByteArray(line) << march << -1 << 0 << QByteArray()
                                                       << QByteArrayList{"", "", "", "", ""} << QByteArray(line);
        QTest::newRow("invalid UTF-8 in 3164") << QByteArray("<13>Mar  1 18:46:11 h\xff\xfe app\x80: \xc3(") << march << 13 << 0
                                               << QByteArray("2024-03-01 18:46:11.000000")
                                               << QByteArrayList{"h\xff\xfe", "app\x80", "", "", ""} << QByteArray("\xc3(");
        QTest::newRow("invalid UTF-8 in 5424") << QByteArray("<13>1 - h a - - - \xff\xfe\xc3") << march << 13 << 1 << QByteArray()
                                               << QByteArrayList{"h", "a", "", "", ""} << QByteArray("\xff\xfe\xc3");
    }
    void reads_headers()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, arrival);
        QFETCH(int, priority);
        QFETCH(int, version);
        QFETCH(QByteArray, time);
        QFETCH(QByteArrayList, fields);
        QFETCH(QByteArray, text);
        const QDateTime arrived = QDateTime::fromString(arrival, Qt::ISODate);
        const int local_offset = arrived.offsetFromUtc() / 60;
        const Timestamp arrival_local{arrived.date().year(), arrived.date().month(), arrived.date().day(),
                                      arrived.time().hour(), arrived.time().minute(), arrived.time().second(), 0, true,
                                      local_offset};

        const Message message = read_message(view(line), arrival_local);
        QCOMPARE(message.has_priority, priority >= 0);
        QCOMPARE(int{message.priority}, priority >= 0 ? priority : int{default_priority});
        QCOMPARE(read_priority(view(line)), message.priority);
        QCOMPARE(message.version, version);
        QCOMPARE(shown_time(message.timestamp), time);
        const std::string_view read[] = {message.hostname, message.app_name, message.proc_id, message.msg_id,
                                         message.structured_data, message.text};
        QCOMPARE((QByteArrayList{bytes(read[0]), bytes(read[1]), bytes(read[2]), bytes(read[3]), bytes(read[4])}), fields);
        QCOMPARE(bytes(message.text), text);
        for (const std::string_view field : read)
            QVERIFY(field.empty() || (field.data() >= line.constData() && field.data() + field.size() <= line.constEnd()));
        if (message.timestamp) {
            const Timestamp& t = *message.timestamp;
            const int offset = t.has_offset ? t.offset_minutes : local_offset;
            const QDateTime expected(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second, t.microsecond / 1000),
                                     QTimeZone(offset * 60));
            QCOMPARE(epoch_ms(t, local_offset), expected.toMSecsSinceEpoch());
        }
    }

    void shows_a_message_as_one_line_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("plain") << QByteArray("<13>plain \xff text") << QByteArray();
        QTest::newRow("breaks") << QByteArray("a\nb\r\n\0c\n", 8) << QByteArray("a\u240Ab\u240D\u240A\u2400c\u240A");
        QTest::newRow("only a break") << QByteArray("\r") << QByteArray("\u240D");
    }
    void shows_a_message_as_one_line()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, shown);
        std::string buffer;
        const std::string_view line = shown_line(view(message), buffer);
        if (shown.isEmpty()) {
            QCOMPARE(line.data(), message.constData());
            QCOMPARE(line.size(), std::size_t(message.size()));
        } else {
            QCOMPARE(bytes(line), shown);
        }
    }
};

QTEST_GUILESS_MAIN(TestSyslogMessage)
#include "test_syslog_message.moc"
