// Line reception in a real log window: loopback senders, the listener, line assembly, the view.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/find_bar.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "window_controls.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include <arpa/inet.h>

using logwin::FindBar;
using logwin::LogWindow;
using loopback::Sender;

namespace {

QList<QByteArray> memo_lines(const LogWindow& window)
{
    QList<QByteArray> lines;
    for (int index = 0; index < window.log_view()->line_count(); ++index) {
        const std::string line = window.log_view()->line_text(index);
        lines.append(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
    }
    return lines;
}

}  // namespace

class TestLogWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir help_folder;
    std::unique_ptr<LogWindow> window;
    quint16 port = 0;

private Q_SLOTS:
    void initTestCase() { help::initialize_help(help_folder.path()); }
    void init()
    {
        window = std::make_unique<LogWindow>(nullptr);
        window->show();
        port = loopback::free_port();
        window->log_channel->listen(port, false);
    }
    void cleanup() { window.reset(); }

    void received_text_becomes_lines_data()
    {
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("open");
        using L = QList<QByteArray>;
        QTest::newRow("three pieces") << L{"ab", "cd", "ef\n"} << L{"abcdef"} << false;
        QTest::newRow("NUL byte ends the chunk") << L{QByteArray("x\ny\0z\n", 6)} << L{"x", "y"} << true;
        QTest::newRow("bytes that aren't UTF-8") << L{"\xff\xc3", "\xa9\xfe\xe2\x82\n"}
                                                  << L{"\xff\xc3\xa9\xfe\xe2\x82"} << false;
    }
    void received_text_becomes_lines()
    {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, open);
        Sender sender(port);
        for (const QByteArray& bytes : writes) {
            QVERIFY(sender.send(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
            // A piece without a line feed shows at once; waiting for it keeps the next write
            // out of the same chunk.
            if (!bytes.contains('\n') && !bytes.contains('\0'))
                QTRY_VERIFY(memo_lines(*window).value(0).endsWith(bytes));
        }
        QTRY_COMPARE(memo_lines(*window), lines);
        QCOMPARE(window->last_line_open(), open);
    }

    void line_written_over_short_connections_is_one_line_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("each connection closed") << false;
        // What came before the reset stays, and goes on as after a close.
        QTest::newRow("each connection reset") << true;
    }
    void line_written_over_short_connections_is_one_line()
    {
        QFETCH(bool, reset);
        for (const char* piece : {"ab", "cd"}) {
            {
                Sender sender(port);
                if (reset)
                    sender.reset_on_close();
                QVERIFY(sender.send(piece));
            }
            QTRY_VERIFY(memo_lines(*window).value(0).endsWith(piece));
            QTRY_COMPARE(window->log_channel->senders(), 0);
        }
        QVERIFY(window->last_line_open());
        QVERIFY(Sender(port).send("ef\nnext\n"));
        QTRY_COMPARE(memo_lines(*window), (QList<QByteArray>{"abcdef", "next"}));
        QVERIFY(!window->last_line_open());
    }

    void fifty_senders_at_once_keep_every_line_whole()
    {
        constexpr int senders = 50;
        constexpr int lines_each = 40;
        QList<QByteArray> sent;
        std::vector<std::string> streams(senders);
        for (int sender = 0; sender < senders; ++sender)
            for (int line = 0; line < lines_each; ++line) {
                const QByteArray text = QByteArray("sender ") + QByteArray::number(sender) + " line "
                    + QByteArray::number(line) + " \xc3\xa9\xff " + QByteArray(line * 3, 'x');
                sent.append(text);
                streams[static_cast<std::size_t>(sender)] += text.toStdString() + '\n';
            }
        // Every sender is accepted before any writes.
        std::vector<std::unique_ptr<Sender>> connections;
        for (int sender = 0; sender < senders; ++sender) {
            connections.push_back(std::make_unique<Sender>(port));
            QTRY_COMPARE(window->log_channel->senders(), sender + 1);
        }
        std::atomic<int> failures{0};
        {
            std::vector<std::jthread> threads;
            for (int sender = 0; sender < senders; ++sender)
                threads.emplace_back([&, sender] {
                    std::mt19937 random(static_cast<unsigned>(sender));
                    std::string_view rest = streams[static_cast<std::size_t>(sender)];
                    while (!rest.empty()) {
                        const std::size_t size = std::min<std::size_t>(rest.size(), 1 + random() % 40);
                        if (!connections[static_cast<std::size_t>(sender)]->send(rest.substr(0, size))) {
                            ++failures;
                            return;
                        }
                        rest.remove_prefix(size);
                    }
                });
            QTRY_COMPARE_WITH_TIMEOUT(window->log_view()->line_count(), senders * lines_each, 30000);
        }
        QCOMPARE(failures.load(), 0);
        QList<QByteArray> shown = memo_lines(*window);
        std::sort(shown.begin(), shown.end());
        std::sort(sent.begin(), sent.end());
        QCOMPARE(shown, sent);
        QVERIFY(!window->last_line_open());
    }

    void a_long_line_in_pieces_arrives_whole_between_other_lines()
    {
        // One sender writes a 16 MB line in 1 KiB pieces while another keeps sending short lines:
        // the long line arrives whole, byte for byte, in the line where it began.
        Sender long_sender(port);
        Sender short_sender(port);
        QTRY_COMPARE(window->log_channel->senders(), 2);
        std::string expected;
        int short_lines = 0;
        std::atomic<bool> sent_all{false};
        {
            std::string piece(1024, '-');
            for (int i = 0; i < 16 * 1024; ++i) {
                piece[0] = static_cast<char>('A' + i % 26);
                piece[1] = i % 7 == 0 ? '\t' : ' ';
                expected += piece;
                short_lines += i % 512 == 0 ? 1 : 0;
            }
            std::jthread senders([&] {
                bool ok = true;
                for (std::size_t at = 0; at < expected.size() && ok; at += 1024) {
                    ok = long_sender.send(std::string_view(expected).substr(at, 1024));
                    if (ok && at % (512 * 1024) == 0)
                        ok = short_sender.send(std::string(700, 's') + '\n');
                }
                sent_all = ok && long_sender.send("\n");
            });
            QTRY_VERIFY_WITH_TIMEOUT(window->log_view()->line_count() == short_lines + 1 && !window->last_line_open(), 30000);
        }
        QVERIFY(sent_all.load());
        const lines::LogLines& store = window->log_channel->lines();
        int long_line = -1;
        for (int index = 0; index < store.line_count(); ++index)
            if (store.line_length(index) != 700)
                long_line = index;
        QVERIFY(long_line >= 0);
        QVERIFY(store.line_view(long_line) == expected);
        const std::size_t memory = store.store().memory_bytes();
        QVERIFY2(static_cast<double>(memory) < 1.3 * static_cast<double>(store.byte_total()) + (4 << 20),
                 qPrintable(QString::number(memory)));
    }

    void clearing_empties_the_view_and_an_open_line_goes_on()
    {
        Sender sender(port);
        QVERIFY(sender.send("one\ntwo\nhalf-"));
        QTRY_COMPARE(memo_lines(*window), (QList<QByteArray>{"one", "two", "half-"}));
        window->log_view()->set_selection(2, 5);
        control<QToolButton>(*window, "clear_button")->click();
        QCOMPARE(window->log_view()->line_count(), 0);
        QCOMPARE(window->log_view()->selection_length(), lines::TextOffset{0});
        QCOMPARE(control<QLabel>(*window, "holdings_label")->text(), QStringLiteral("1 sender · 0 lines · 0.0 MB"));
        QVERIFY(sender.send("way\nthree\n"));
        QTRY_COMPARE(memo_lines(*window), (QList<QByteArray>{"way", "three"}));
        QVERIFY(window->log_channel->listening());
    }

    // A line's time is that of the read that completed it, shared by the lines of that read,
    // and the filtered view shows the same times for its copies.
    void lines_keep_the_time_they_were_completed()
    {
        const auto time_of = [](const TColorMemo* memo, int line) { return memo->source().time(line); };
        Sender sender(port);
        QVERIFY(sender.send("first half, "));
        QTRY_COMPARE(memo_lines(*window), QList<QByteArray>{"first half, "});
        const lines::ArrivalTime shown = time_of(window->log_view(), 0);
        // The rest of the line, and then a bare line feed, come in later reads.
        lines::ArrivalTime last = shown;
        for (const char* rest : {"second half\nnext\nopen", "\n"}) {
            QTRY_VERIFY(QDateTime::currentMSecsSinceEpoch() > last + 20);
            const qint64 sent = QDateTime::currentMSecsSinceEpoch();
            QVERIFY(sender.send(rest));
            QTRY_VERIFY(window->log_view()->line_count() == 3 && time_of(window->log_view(), 2) >= sent);
            last = time_of(window->log_view(), 2);
        }
        QCOMPARE(memo_lines(*window), (QList<QByteArray>{"first half, second half", "next", "open"}));
        QVERIFY(time_of(window->log_view(), 0) > shown);
        QCOMPARE(time_of(window->log_view(), 1), time_of(window->log_view(), 0));
        QVERIFY(time_of(window->log_view(), 2) > time_of(window->log_view(), 1));

        window->open_find_bar();
        window->find_bar()->filter_edit->setText(QStringLiteral("half"));
        QVERIFY(sender.send("another half\n"));
        const TColorMemo* filtered = control<TColorMemo>(*window, "filter_memo");
        QTRY_COMPARE(filtered->line_count(), 2);
        QCOMPARE(time_of(filtered, 0), time_of(window->log_view(), 0));
        QCOMPARE(time_of(filtered, 1), time_of(window->log_view(), 3));
    }

    void follow_goes_off_when_scrolled_up_and_on_again_at_the_end()
    {
        QScrollBar* bar = window->log_view()->verticalScrollBar();
        const auto append = [&](int count) {
            for (int i = 0; i < count; ++i)
                window->log_view()->append_line("line " + std::to_string(i));
        };
        auto* follow = control<QToolButton>(*window, "follow_button");
        append(300);
        QVERIFY(follow->isChecked());
        QCOMPARE(bar->value(), bar->maximum());

        bar->triggerAction(QAbstractSlider::SliderPageStepSub);  // as a click above the handle
        QVERIFY(!follow->isChecked());
        const int top = bar->value();
        append(50);
        QCOMPARE(bar->value(), top);

        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QVERIFY(follow->isChecked());
        append(50);
        QCOMPARE(bar->value(), bar->maximum());

        // Switched off at the end, the view stays where it is; switched on, it jumps to the end.
        follow->click();
        const int kept = bar->value();
        append(50);
        QCOMPARE(bar->value(), kept);
        QVERIFY(bar->value() < bar->maximum());
        follow->click();
        QCOMPARE(bar->value(), bar->maximum());
    }

    void holdings_count_senders_as_they_come_and_go()
    {
        const QString none = QStringLiteral("0 senders · 0 lines · 0.0 MB");
        const auto* holdings = control<QLabel>(*window, "holdings_label");
        QCOMPARE(holdings->text(), none);
        auto first = std::make_unique<Sender>(port);
        Sender second(port);
        QVERIFY(first->send("a\nb\n") && second.send("c\n"));
        QTRY_COMPARE(holdings->text(), QStringLiteral("2 senders · 3 lines · 0.0 MB"));
        first.reset();
        QTRY_COMPARE(holdings->text(), QStringLiteral("1 sender · 3 lines · 0.0 MB"));
        const std::string big(1 << 20, 'x');
        QVERIFY(second.send(big + "\n" + big + "\n"));
        QTRY_COMPARE(holdings->text(), QStringLiteral("1 sender · 5 lines · 2.0 MB"));
    }

    // A syslog window: its counter, the find bar's severity beside the text filter, and the
    // sender strip of its own choice.
    void a_syslog_window_counts_and_filters_by_severity()
    {
        window.reset();
        auto syslog_window = std::make_unique<LogWindow>(nullptr);
        syslog_window->show();
        config::WindowConfiguration configuration;
        configuration.port = loopback::free_port();
        configuration.protocol = net::Protocol::syslog;
        QCOMPARE(syslog_window->set_up(configuration, QString(), QStringLiteral("LOG: syslog"), QString()),
                 LogWindow::SetUp::done);
        const int udp = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<quint16>(configuration.port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (const char* message : {"<11>disk failed", "<14>disk checked", "<12>disk slow"})
            sendto(udp, message, std::strlen(message), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::close(udp);
        Sender bad(static_cast<quint16>(configuration.port));
        QVERIFY(bad.send("7x <8>kernel\n"));
        const auto* holdings = control<QLabel>(*syslog_window, "holdings_label");
        QTRY_COMPARE(holdings->text(), QStringLiteral("syslog · 2 senders · 4 lines · 0.0 MB · 1 framing error"));

        syslog_window->open_find_bar();
        FindBar* bar = syslog_window->find_bar();
        QVERIFY(bar->severity_combo->isVisible());
        bar->severity_combo->setCurrentIndex(bar->severity_combo->findText(QStringLiteral("warning")));
        QTRY_COMPARE(bar->filter_status->text(), QStringLiteral("2 of 4 lines shown, read-only"));
        bar->filter_edit->setText(QStringLiteral("slow"));
        QTRY_COMPARE(bar->filter_status->text(), QStringLiteral("1 of 4 lines shown, read-only"));

        syslog_window->choose_sender_addresses(true);
        QVERIFY(syslog_window->shows_sender_addresses() && syslog_window->shown_memo()->shows_sender_addresses());
    }
};

QTEST_MAIN(TestLogWindow)
#include "test_log_window.moc"
