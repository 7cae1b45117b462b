// A window's "Accept from" as it opens: a sender it refuses shows in the tool bar's counter and
// in the Refused senders dialog; a stored list that doesn't parse refuses everyone.

#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "logwin/refused_senders_dialog.h"
#include "loopback.h"
#include "window_controls.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>

using logwin::LogWindow;

class TestRefusedSenders : public QObject {
    Q_OBJECT

private:
    QTemporaryDir help_folder;

private Q_SLOTS:
    void initTestCase() { help::initialize_help(help_folder.path()); }

    void a_refused_sender_is_counted_and_listed_data()
    {
        QTest::addColumn<QString>("allow_from");
        QTest::addColumn<bool>("syslog");
        QTest::addColumn<QString>("counter");
        QTest::newRow("another address") << QStringLiteral("::1") << false
                                         << QStringLiteral("0 senders · 0 lines · 0.0 MB · 1 refused");
        QTest::newRow("a stored list that doesn't parse") << QStringLiteral("127.0.0.1, 10.0.0.0/33") << false
                                                          << QStringLiteral("0 senders · 0 lines · 0.0 MB · 1 refused");
        QTest::newRow("a syslog datagram") << QStringLiteral("10.0.0.0/8") << true
                                           << QStringLiteral("syslog · 0 senders · 0 lines · 0.0 MB · 1 refused");
    }
    void a_refused_sender_is_counted_and_listed()
    {
        QFETCH(QString, allow_from);
        QFETCH(bool, syslog);
        QFETCH(QString, counter);
        LogWindow window(nullptr);
        window.show();
        config::WindowConfiguration configuration;
        configuration.port = loopback::free_port();
        configuration.protocol = syslog ? net::Protocol::syslog : net::Protocol::lines;
        configuration.allow_from = allow_from;
        QCOMPARE(window.set_up(configuration, QString(), QStringLiteral("LOG: refusing"), QString()),
                 LogWindow::SetUp::done);
        QCOMPARE(window.allow_from, allow_from);
        const auto* holdings = control<QLabel>(window, "holdings_label");
        QTRY_COMPARE(holdings->text(), QString(counter).remove(QStringLiteral(" · 1 refused")));

        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const auto port = static_cast<quint16>(configuration.port);
        if (syslog) {
            const int udp = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            QVERIFY(sendto(udp, "<11>refused", 11, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == 11);
            ::close(udp);
        } else {
            loopback::Sender sender(port);
            QVERIFY(sender.send("refused\n"));
            QTRY_VERIFY(sender.closed_by_peer());
        }
        QTRY_COMPARE(holdings->text(), counter);

        logwin::RefusedSendersDialog dialog(window.log_channel->last_refusals(), window.log_channel->refused());
        dialog.show();
        QCOMPARE(dialog.count_label->text(), QStringLiteral("1 refused, newest first."));
        QCOMPARE(dialog.table->rowCount(), 1);
        const QDateTime time =
            QDateTime::fromString(dialog.table->item(0, 0)->text(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY2(time.isValid() && time.toSecsSinceEpoch() >= before - 1
                     && time.toSecsSinceEpoch() <= QDateTime::currentSecsSinceEpoch(),
                 qPrintable(dialog.table->item(0, 0)->text()));
        QCOMPARE(dialog.table->item(0, 1)->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(dialog.table->item(0, 2)->text(), QStringLiteral("not in Accept from"));
        QCOMPARE(dialog.table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QTest::mouseClick(dialog.close_button, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TestRefusedSenders)
#include "test_refused_senders.moc"
