// Splitting a TCP connection's bytes into syslog messages, octet-counted or delimited, and the
// message of a UDP datagram: however the bytes arrive, the same messages come out, a bad count
// loses nothing, and no message outgrows the bound.

#include "syslog/framing.h"

#include <QtTest>

#include <string_view>

using syslog_proto::StreamFraming;

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// What one connection gave: the messages while it was open, the one finish() gave, the errors.
struct Outcome {
    QByteArrayList messages;
    QByteArray unfinished;
    qint64 errors = 0;
    // Messages that were not views into the single chunk they came in.
    int copies = 0;
    std::size_t most_buffered = 0;
};

Outcome run(const QByteArrayList& chunks, std::size_t limit)
{
    StreamFraming framing(limit);
    Outcome outcome;
    for (const QByteArray& chunk : chunks) {
        framing.feed(view(chunk), [&](std::string_view message) {
            outcome.messages << QByteArray(message.data(), static_cast<qsizetype>(message.size()));
            if (message.data() < chunk.constData() || message.data() + message.size() > chunk.constEnd())
                ++outcome.copies;
        });
        outcome.most_buffered = std::max(outcome.most_buffered, framing.buffered_bytes());
    }
    framing.finish([&](std::string_view message) {
        outcome.unfinished = QByteArray(message.data(), static_cast<qsizetype>(message.size()));
    });
    outcome.errors = framing.framing_errors();
    return outcome;
}

void compare(const Outcome& got, const QByteArrayList& messages, const QByteArray& unfinished, int errors, const char* how)
{
    QVERIFY2(got.messages == messages, how);
    QVERIFY2(got.unfinished == unfinished, how);
    QVERIFY2(got.errors == errors, how);
}

}  // namespace

class TestSyslogFraming : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void splits_a_connection_into_messages_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArrayList>("messages");
        QTest::addColumn<QByteArray>("unfinished");
        QTest::addColumn<int>("errors");
        QTest::addColumn<qulonglong>("limit");
        const qulonglong limit = syslog_proto::max_message_bytes;
        const QByteArray nul(1, '\0');

        QTest::newRow("counted frames hold line feeds")
            << QByteArrayList{"5 hello11 hello\nworld"} << QByteArrayList{"hello", "hello\nworld"} << QByteArray() << 0 << limit;
        QTest::newRow("count split across reads")
            << QByteArrayList{"1", "1 hello", "\nworld12", "3 abc"} << QByteArrayList{"hello\nworld"} << QByteArray("abc") << 0
            << limit;
        QTest::newRow("count larger than what arrived waits")
            << QByteArrayList{"11 hello", " world", "20 only part"} << QByteArrayList{"hello world"}
            << QByteArray("only part") << 0 << limit;
        QTest::newRow("trailing LF, CR LF, NUL inside the count")
            << QByteArrayList{"6 hello\n7 hello\r\n6 hello" + nul + "1 \n6 a\n\nb\n\n"}
            << QByteArrayList{"hello", "hello", "hello", "a\n\nb\n"} << QByteArray() << 0 << limit;
        QTest::newRow("stray delimiters between frames")
            << QByteArrayList{"5 hello\n\r\n" + nul, "\n5 world\n"} << QByteArrayList{"hello", "world"} << QByteArray() << 0
            << limit;
        QTest::newRow("closed within a count") << QByteArrayList{"5 hello12"} << QByteArrayList{"hello"} << QByteArray("12") << 0
                                               << limit;
        QTest::newRow("bad count: not a digit")
            << QByteArrayList{"5 hello12x bad\nnext\n"} << QByteArrayList{"hello", "12x bad", "next"} << QByteArray() << 1 << limit;
        QTest::newRow("bad count: leading zero")
            << QByteArrayList{"5 hello05 world\n"} << QByteArrayList{"hello", "05 world"} << QByteArray() << 1 << limit;
        QTest::newRow("bad count: nine digits")
            << QByteArrayList{"1234", "56789 x\n"} << QByteArrayList{"123456789 x"} << QByteArray() << 1 << limit;
        QTest::newRow("bad count: over 16 MiB") << QByteArrayList{"16777217 x\n"} << QByteArrayList{"16777217 x"} << QByteArray()
                                                << 1 << limit;
        QTest::newRow("count of 16 MiB waits") << QByteArrayList{"16777216 abc"} << QByteArrayList{} << QByteArray("abc") << 0
                                               << limit;
        QTest::newRow("bad count: a delimited message, then delimiters for good")
            << QByteArrayList{"5 hello<13>text\n5 world"} << QByteArrayList{"hello", "<13>text"} << QByteArray("5 world") << 1
            << limit;
        QTest::newRow("bad count: digits end at a line feed")
            << QByteArrayList{"5 hello123\n"} << QByteArrayList{"hello", "123"} << QByteArray() << 1 << limit;
        QTest::newRow("delimiters LF, CR LF, NUL")
            << QByteArrayList{"<13>one\n<13>two\r\n<13>three" + nul + "<13>four"}
            << QByteArrayList{"<13>one", "<13>two", "<13>three"} << QByteArray("<13>four") << 0 << limit;
        QTest::newRow("empty messages skipped, a lone CR is text")
            << QByteArrayList{"\n\r\n" + nul + "a\rb\n\n", "\r", "\n"} << QByteArrayList{"a\rb"} << QByteArray() << 0 << limit;
        QTest::newRow("CR LF split across reads") << QByteArrayList{"a\r", "\nb\r"} << QByteArrayList{"a"} << QByteArray("b\r")
                                                  << 0 << limit;
        QTest::newRow("bound of a small limit")
            << QByteArrayList{"0123456789abcdefXYZ\n0123456789abcdef\n17 x"}
            << QByteArrayList{"0123456789abcdef", "XYZ", "0123456789abcdef"} << QByteArray("17 x") << 0 << qulonglong{16};
        QTest::newRow("count over a small limit") << QByteArrayList{"17 0123456789abcdefXYZ"}
                                                  << QByteArrayList{"17 0123456789abc"} << QByteArray("defXYZ") << 1
                                                  << qulonglong{16};
        const QByteArray bound(static_cast<qsizetype>(limit), 'x');
        QTest::newRow("16 MiB bound") << QByteArrayList{bound.first(10'000'000), bound.sliced(10'000'000) + "yyy\nz\n"}
                                      << QByteArrayList{bound, "yyy", "z"} << QByteArray() << 0 << limit;
    }
    void splits_a_connection_into_messages()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArrayList, messages);
        QFETCH(QByteArray, unfinished);
        QFETCH(int, errors);
        QFETCH(qulonglong, limit);

        const Outcome as_sent = run(chunks, limit);
        compare(as_sent, messages, unfinished, errors, "as sent");
        QVERIFY(as_sent.most_buffered <= limit);

        // One read holding everything: every message is a view into it.
        const QByteArray stream = chunks.join();
        const Outcome whole = run({stream}, limit);
        compare(whole, messages, unfinished, errors, "in one read");
        QCOMPARE(whole.copies, 0);
        if (stream.size() > 4096)
            return;
        for (qsizetype at = 1; at < stream.size() && !QTest::currentTestFailed(); ++at)
            compare(run({stream.first(at), stream.sliced(at)}, limit), messages, unfinished, errors,
                    qPrintable(QStringLiteral("split at %1").arg(at)));
        QByteArrayList bytes;
        for (const char c : stream)
            bytes << QByteArray(1, c);
        compare(run(bytes, limit), messages, unfinished, errors, "byte by byte");
    }

    void a_datagram_is_one_message_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("LF") << QByteArray("<13>a\nb\n") << QByteArray("<13>a\nb");
        QTest::newRow("CR LF") << QByteArray("<13>a\r\n") << QByteArray("<13>a");
        QTest::newRow("NUL") << QByteArray("<13>a\n", 7) << QByteArray("<13>a\n");
        QTest::newRow("one delimiter only") << QByteArray("<13>a\n\n") << QByteArray("<13>a\n");
        QTest::newRow("lone CR") << QByteArray("<13>a\r") << QByteArray("<13>a\r");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("65,507 bytes") << QByteArray(65'506, 'x') + "\n" << QByteArray(65'506, 'x');
    }
    void a_datagram_is_one_message()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, message);
        const std::string_view got = syslog_proto::datagram_message(view(datagram));
        QCOMPARE(QByteArray(got.data(), static_cast<qsizetype>(got.size())), message);
        QVERIFY(got.empty() || got.data() == datagram.constData());
    }
};

QTEST_GUILESS_MAIN(TestSyslogFraming)
#include "test_syslog_framing.moc"
