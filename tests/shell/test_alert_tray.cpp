// The frame's tray icon as a model: its tooltip and its red face follow the frame's count of
// log windows with a pending alert (the offscreen platform has no tray to show them in).

#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "open_window.h"
#include "shell/alert_tray.h"
#include "shell/startup.h"

#include <QAbstractButton>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage image_of(const QIcon& icon)
{
    return icon.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class TestAlertTray : public QObject {
    Q_OBJECT

    QTemporaryDir help_folder;

private Q_SLOTS:
    void initTestCase() { help::initialize_help(help_folder.path()); }

    void tray_follows_the_pending_alerts()
    {
        const std::unique_ptr<shell::MainWindow> frame = shell::create_main_windows();
        frame->show();
        const shell::AlertTray* tray = frame->alert_tray;
        QVERIFY(tray != nullptr);
        // In the tray exactly when the platform has one.
        QCOMPARE(tray->tray_icon() != nullptr, QSystemTrayIcon::isSystemTrayAvailable());
        for (const char* caption : {"LOG: a", "LOG: b"})
            open_test_window(*frame, loopback::free_port(), {}, QString::fromLatin1(caption), {}, "unsaved");
        QCOMPARE(frame->log_window_count(), 2);
        const QImage quiet = image_of(tray->icon());
        QVERIFY(!quiet.isNull());

        // r: a window raises; a<n>: window n's acknowledge button.
        const QStringList steps{"r", "r", "r", "a0", "a1", "a1"};
        const QStringList tooltips{"Vesmira — 1 alert pending", "Vesmira — 2 alerts pending",
                                   "Vesmira — 2 alerts pending", "Vesmira — 1 alert pending",
                                   "Vesmira — no alerts pending", "Vesmira — no alerts pending"};
        // The red face keeps the icon's shape: transparent corners stay transparent.
        const QImage red = image_of(shell::AlertTray::red_variant(QIcon(QStringLiteral(":/shell/vesmira.png"))));
        QCOMPARE(red.pixelColor(0, 0).alpha(), quiet.pixelColor(0, 0).alpha());
        const QColor middle = red.pixelColor(16, 16);
        QVERIFY(middle.red() > 150 && middle.green() < 100 && middle.blue() < 100);
        for (qsizetype step = 0; step < steps.size(); ++step) {
            if (steps[step] == QLatin1String("r"))
                frame->note_alert_raised();
            else
                frame->log_window(steps[step][1].digitValue())->findChild<QAbstractButton*>("ToolButton1")->click();
            QCOMPARE(tray->pending(), frame->pending_alerts);
            QCOMPARE(tray->tooltip(), tooltips[step]);
            QCOMPARE(image_of(tray->icon()) == quiet, frame->pending_alerts == 0);
            if (tray->tray_icon() != nullptr)
                QCOMPARE(tray->tray_icon()->toolTip(), tooltips[step]);
        }
        for (int index = 0; index < frame->log_window_count(); ++index)
            frame->log_window(index)->shut_down();
    }
};

QTEST_MAIN(TestAlertTray)
#include "test_alert_tray.moc"
