// The frame's tray icon as a model: its tooltip and its red face follow the frame's count of
// log windows with a pending alert (the offscreen platform has no tray to show them in).

#include "help/helpsys.h"
#include "logwin/tform2.h"
#include "loopback.h"
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
        const std::unique_ptr<shell::TForm1> frame = shell::create_main_windows();
        frame->show();
        const shell::AlertTray* tray = frame->alert_tray;
        QVERIFY(tray != nullptr);
        // In the tray exactly when the platform has one.
        QCOMPARE(tray->tray_icon() != nullptr, QSystemTrayIcon::isSystemTrayAvailable());
        for (const char* caption : {"LOG: a", "LOG: b"})
            frame->open_log_window(loopback::free_port(), false, {}, QString::fromLatin1(caption), {}, "unsaved");
        QCOMPARE(frame->log_window_count(), 2);
        const QImage quiet = image_of(tray->icon());
        QVERIFY(!quiet.isNull());

        // r: a window raises; a<n>: window n's acknowledge button.
        const QStringList steps{"r", "r", "r", "a0", "a1", "a1"};
        const QStringList tooltips{"Vesmira — 1 alert pending", "Vesmira — 2 alerts pending",
                                   "Vesmira — 2 alerts pending", "Vesmira — 1 alert pending",
                                   "Vesmira — no alerts pending", "Vesmira — no alerts pending"};
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
            frame->log_window(index)->FormClose();
    }

    void red_face_keeps_the_icons_shape()
    {
        const QImage base = image_of(QIcon(QStringLiteral(":/shell/vesmira.png")));
        const QImage red = image_of(shell::AlertTray::red_variant(QIcon(QStringLiteral(":/shell/vesmira.png"))));
        QCOMPARE(red.size(), base.size());
        int opaque = 0;
        for (int y = 0; y < base.height(); ++y)
            for (int x = 0; x < base.width(); ++x) {
                const QColor before = base.pixelColor(x, y);
                const QColor after = red.pixelColor(x, y);
                QCOMPARE(after.alpha(), before.alpha());
                if (before.alpha() < 255)
                    continue;
                ++opaque;
                QVERIFY2(after.red() > 150 && after.green() < 100 && after.blue() < 100,
                         qPrintable(QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(after.name())));
            }
        QVERIFY(opaque > base.width() * base.height() / 2);
    }
};

QTEST_MAIN(TestAlertTray)
#include "test_alert_tray.moc"
