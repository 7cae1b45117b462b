// The desktop notifier against a stand-in notification service on a private session bus: what
// it sends, how a burst of lines becomes one replacement, clicks, and a missing bus or service.

#include "alerts/desktop_notifier.h"
#include "notification_service.h"

#include <QtTest>

#include <memory>

using alerts::DesktopNotifier;
using notification_service::StandIn;

class TestDesktopNotifier : public QObject {
    Q_OBJECT

    std::unique_ptr<notification_service::PrivateBus> bus;
    std::unique_ptr<StandIn> stand_in;
    QDBusConnection client{QString()};
    static constexpr int burst_ms = 150;

private Q_SLOTS:
    void init()
    {
        bus = std::make_unique<notification_service::PrivateBus>();
        QVERIFY2(bus->running(), "dbus-daemon (Debian package dbus-daemon) must be installed");
        stand_in = std::make_unique<StandIn>();
        QVERIFY(bus->serve(*stand_in));
        client = bus->connect(QStringLiteral("client"));
        QVERIFY(client.isConnected());
    }
    void cleanup()
    {
        stand_in.reset();
        bus.reset();
    }

    void body_is_the_line_as_safe_markup_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("more");
        QTest::addColumn<QString>("body");
        QTest::newRow("plain") << "disk full" << 0 << "disk full";
        QTest::newRow("markup characters") << "<b>a & b</b>" << 0 << "&lt;b&gt;a &amp; b&lt;/b&gt;";
        QTest::newRow("controls and the line's CR") << "a\tb\x1b[0m\r" << 0 << "a b [0m";
        QTest::newRow("long line cut") << QString(500, 'x') << 0 << QString(199, 'x') + QChar(0x2026);
        QTest::newRow("cut before escaping") << QString(199, 'x') + "<<" << 0 << QString(199, 'x') + QChar(0x2026);
        QTest::newRow("one more") << "last" << 1 << "last\n(1 more line)";
        QTest::newRow("several more") << "last" << 4 << "last\n(4 more lines)";
    }
    void body_is_the_line_as_safe_markup()
    {
        QFETCH(QString, line);
        QFETCH(int, more);
        QFETCH(QString, body);
        QCOMPARE(DesktopNotifier::body_markup(line, more), body);
    }

    void a_burst_becomes_one_replacement_per_window_and_a_click_activates_its_window()
    {
        DesktopNotifier notifier(client, burst_ms);
        QObject web;
        QObject db;
        int web_clicks = 0;
        int db_clicks = 0;
        notifier.notify(&web, QStringLiteral("web"), QStringLiteral("ERROR <disk>"), [&] { ++web_clicks; });
        QTRY_COMPARE(stand_in->calls.size(), std::size_t(1));
        const notification_service::Call first = stand_in->calls[0];
        QCOMPARE(first.summary, QStringLiteral("web"));
        QCOMPARE(first.body, QStringLiteral("ERROR &lt;disk&gt;"));
        QCOMPARE(first.replaces_id, 0u);
        QVERIFY(first.actions.contains(QStringLiteral("default")));

        // Three more lines at once: held for the rest of the interval, then shown as one that
        // replaces the first; another window's line goes out at once, as its own.
        for (const char* line : {"second", "third", "fourth"})
            notifier.notify(&web, QStringLiteral("web"), QString::fromLatin1(line), [&] { ++web_clicks; });
        notifier.notify(&db, QStringLiteral("db"), QStringLiteral("down"), [&] { ++db_clicks; });
        QTRY_COMPARE(stand_in->calls.size(), std::size_t(3));
        QCOMPARE(stand_in->calls[1].summary, QStringLiteral("db"));
        QCOMPARE(stand_in->calls[1].replaces_id, 0u);
        QCOMPARE(stand_in->calls[2].replaces_id, first.id);
        QCOMPARE(stand_in->calls[2].body, QStringLiteral("fourth\n(2 more lines)"));

        // Only a click on the notification ("default") activates, and only its own window.
        emit stand_in->ActionInvoked(first.id, QStringLiteral("other"));
        emit stand_in->ActionInvoked(first.id, QStringLiteral("default"));
        QTRY_COMPARE(web_clicks, 1);
        emit stand_in->ActionInvoked(stand_in->calls[1].id, QStringLiteral("default"));
        QTRY_COMPARE(db_clicks, 1);
        QCOMPARE(web_clicks, 1);
    }

    void a_window_that_is_gone_is_forgotten()
    {
        DesktopNotifier notifier(client, burst_ms);
        auto web = std::make_unique<QObject>();
        QObject db;
        int db_clicks = 0;
        notifier.notify(web.get(), QStringLiteral("web"), QStringLiteral("one"), [] { QFAIL("a closed window activated"); });
        notifier.notify(web.get(), QStringLiteral("web"), QStringLiteral("two"), [] { QFAIL("a closed window activated"); });
        notifier.notify(&db, QStringLiteral("db"), QStringLiteral("down"), [&] { ++db_clicks; });
        QTRY_COMPARE(stand_in->calls.size(), std::size_t(2));
        // Gone while its second line waits: neither that line nor a click reaches it.
        web.reset();
        emit stand_in->ActionInvoked(stand_in->calls[0].id, QStringLiteral("default"));
        emit stand_in->ActionInvoked(stand_in->calls[1].id, QStringLiteral("default"));
        QTRY_COMPARE(db_clicks, 1);
        notifier.notify(&db, QStringLiteral("db"), QStringLiteral("up"), [&] { ++db_clicks; });
        QTRY_COMPARE(stand_in->calls.size(), std::size_t(3));
        QCOMPARE(stand_in->calls[2].summary, QStringLiteral("db"));
    }

    void no_service_and_no_bus_cost_nothing_and_say_nothing()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        bus->stop_serving();
        DesktopNotifier notifier(client, burst_ms);
        QObject web;
        notifier.notify(&web, QStringLiteral("web"), QStringLiteral("lost"), [] {});
        // The bus answers in order: once this is answered, the call above has been refused.
        QVERIFY(!client.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")));
        // The service comes (back): the next line after the interval is shown as a new one.
        QVERIFY(bus->serve(*stand_in));
        notifier.notify(&web, QStringLiteral("web"), QStringLiteral("seen"), [] {});
        QTRY_COMPARE(stand_in->calls.size(), std::size_t(1));
        QCOMPARE(stand_in->calls[0].body, QStringLiteral("seen"));
        QCOMPARE(stand_in->calls[0].replaces_id, 0u);

        DesktopNotifier without_bus(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                                  QStringLiteral("nowhere")));
        without_bus.notify(&web, QStringLiteral("web"), QStringLiteral("nowhere"), [] {});
        QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
    }
};

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "test_desktop_notifier.moc"
