// Alerts with "&Notify" in real log windows inside a frame: the check box saved and shown
// again, firing lines sent as notifications to a stand-in notification service on a private
// session bus, and a click on one bringing its window forward.

#include "alerts/desktop_notifier.h"
#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "notification_service.h"
#include "store/store_paths.h"
#include "store/tregistry.h"
#include "window_controls.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using logwin::LogWindow;

class TestAlertNotifications : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

    static LogWindow* open_window(QMdiArea& area, const QString& name)
    {
        auto* window = new LogWindow(nullptr);
        area.addSubWindow(window);
        window->show();
        const LogWindow::SetUp result = window->set_up({loopback::free_port()}, name, name + " — Vesmira", name);
        return result == LogWindow::SetUp::done ? window : nullptr;
    }
    static void save_alert(LogWindow& window, const QString& name, const QString& catchwords, bool notify)
    {
        control<QLineEdit>(window, "Edit1")->setText(name);
        control<QPlainTextEdit>(window, "Memo2")->setPlainText(catchwords);
        control<QCheckBox>(window, "CheckBox2")->setChecked(notify);
        control<QPushButton>(window, "Button1")->click();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath(QStringLiteral("config"))));
        help::initialize_help(folder.path());
    }

    void notify_check_box_is_saved_and_shown_again()
    {
        QMdiArea area;
        LogWindow* window = open_window(area, QStringLiteral("web"));
        QVERIFY(window != nullptr);
        QVERIFY(!control<QCheckBox>(*window, "CheckBox2")->isChecked());  // off in a new alert
        QCOMPARE(control<QCheckBox>(*window, "CheckBox2")->text(), QStringLiteral("&Notify"));
        save_alert(*window, QStringLiteral("loud"), QStringLiteral("ERR"), true);
        save_alert(*window, QStringLiteral("quiet"), QStringLiteral("WARN"), false);
        store::TRegistry registry;
        QVERIFY(registry.OpenKey(store::alert_key("web", "loud"), false));
        QCOMPARE(registry.ReadInteger("notify"), 1);

        // A window opened later for the configuration shows each alert's setting.
        LogWindow* reopened = open_window(area, QStringLiteral("web"));
        QVERIFY(reopened != nullptr);
        control<QListWidget>(*reopened, "CheckListBox1")->setCurrentRow(0);
        QCOMPARE(control<QLineEdit>(*reopened, "Edit1")->text(), QStringLiteral("loud"));
        QVERIFY(control<QCheckBox>(*reopened, "CheckBox2")->isChecked());
        control<QListWidget>(*reopened, "CheckListBox1")->setCurrentRow(1);
        QCOMPARE(control<QLineEdit>(*reopened, "Edit1")->text(), QStringLiteral("quiet"));
        QVERIFY(!control<QCheckBox>(*reopened, "CheckBox2")->isChecked());
    }

    void firing_line_is_notified_and_its_click_brings_the_window_forward()
    {
        notification_service::PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon (Debian package dbus-daemon) must be installed");
        notification_service::StandIn stand_in;
        QVERIFY(bus.serve(stand_in));
        alerts::DesktopNotifier notifier(bus.connect(QStringLiteral("client")));

        QMainWindow frame;
        auto* area = new QMdiArea(&frame);
        frame.setCentralWidget(area);
        frame.show();
        LogWindow* db = open_window(*area, QStringLiteral("db"));
        LogWindow* web = open_window(*area, QStringLiteral("web"));
        QVERIFY(db != nullptr && web != nullptr);
        web->notifier = &notifier;
        save_alert(*web, QStringLiteral("loud"), QStringLiteral("ERR"), true);
        save_alert(*web, QStringLiteral("quiet"), QStringLiteral("WARN"), false);

        // The line of the alert without "&Notify" fires, but only the other one is sent.
        QVERIFY(loopback::Sender(quint16(web->listen_port)).send("WARN cpu hot\nERR <disk> full\r\n"));
        QTRY_COMPARE(stand_in.calls.size(), std::size_t(1));
        QCOMPARE(stand_in.calls[0].summary, QStringLiteral("web — Vesmira"));
        QCOMPARE(stand_in.calls[0].body, QStringLiteral("ERR &lt;disk&gt; full"));
        QVERIFY(web->alert_raised);

        area->setActiveSubWindow(db);
        frame.showMinimized();
        QTRY_VERIFY(frame.isMinimized());
        emit stand_in.ActionInvoked(stand_in.calls[0].id, QStringLiteral("default"));
        QTRY_COMPARE(area->activeSubWindow(), web);
        QTRY_VERIFY(!frame.isMinimized());
        QVERIFY(frame.isVisible());
    }
};

QTEST_MAIN(TestAlertNotifications)
#include "test_alert_notifications.moc"
