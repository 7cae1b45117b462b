// The New window dialog's "Who may send" dialog: a malformed entry is told and keeps it open,
// and what OK takes is held, saved, read back and handed to the window that opens.

#include "help/helpsys.h"
#include "help/helpsys_funcs.h"
#include "newwin/new_action.h"
#include "newwin/new_window_dialog.h"
#include "newwin/port_mask_edit.h"
#include "newwin/security_dialog.h"
#include "platform/message_box.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace newwin;

class TestSecurityDialog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_dir;
    QStringList boxes;  // "text|caption"

    // Clicks the Security button and runs `while_shown` on the dialog it opens; a dialog left
    // open is cancelled so that a failing check never hangs the test.
    static void with_security_dialog(NewWindowDialog& dialog, const std::function<void(SecurityDialog&)>& while_shown)
    {
        QTimer::singleShot(0, &dialog, [&] {
            auto* security = qobject_cast<SecurityDialog*>(QApplication::activeModalWidget());
            QVERIFY(security != nullptr);
            while_shown(*security);
            if (security->isVisible())
                security->reject();
        });
        QTest::mouseClick(dialog.security_button, Qt::LeftButton);
    }
    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

private Q_SLOTS:
    void init()
    {
        qputenv("XDG_CONFIG_HOME", config_dir.path().toLocal8Bit());
        boxes.clear();
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon) {
            boxes.append(text + QLatin1Char('|') + caption);
            return platform::MessageAnswer::Ok;
        });
    }
    void cleanup() { platform::set_message_box_handler({}); }

    void accept_from_is_checked_held_saved_and_opened()
    {
        NewWindowDialog dialog;
        QString opened_with;
        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseClick(dialog.new_radio, Qt::LeftButton);
            retype(dialog.new_name_edit, QStringLiteral("guarded"));
            dialog.port_edit->setFocus();
            QTest::keyClicks(dialog.port_edit, QStringLiteral("514"));
            with_security_dialog(dialog, [&](SecurityDialog& security) {
                QCOMPARE(security.windowTitle(), QStringLiteral("Who may send to port 514"));
                QVERIFY(security.accept_from_edit->text().isEmpty());
                retype(security.accept_from_edit, QStringLiteral("10.0.0.5, 192.168.1.0/33"));
                QTest::keyClick(security.accept_from_edit, Qt::Key_Return);
                QCOMPARE(boxes, QStringList{"'192.168.1.0/33' is not an address or network.|Error"});
                QVERIFY(security.isVisible());
                retype(security.accept_from_edit, QStringLiteral("10.0.0.5, 192.168.1.0/24"));
                QTest::mouseClick(security.ok_button, Qt::LeftButton);
                QVERIFY(!security.isVisible());
            });
            QCOMPARE(dialog.allow_from, QStringLiteral("10.0.0.5, 192.168.1.0/24"));
            // Cancel keeps what was taken before.
            with_security_dialog(dialog, [&](SecurityDialog& security) {
                QCOMPARE(security.accept_from_edit->text(), QStringLiteral("10.0.0.5, 192.168.1.0/24"));
                retype(security.accept_from_edit, QStringLiteral("::1"));
                QTest::mouseClick(security.cancel_button, Qt::LeftButton);
            });
            QCOMPARE(dialog.allow_from, QStringLiteral("10.0.0.5, 192.168.1.0/24"));
            QTest::mouseClick(dialog.save_button, Qt::LeftButton);
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::config_key("guarded"), false));
            QCOMPARE(registry.ReadString(store::allow_from_value), std::string("10.0.0.5, 192.168.1.0/24"));

            // Selecting a configuration shows its list; one saved without it lets everyone send.
            registry.OpenKey(store::config_key("open"), true);
            registry.WriteInteger(store::port_value, 80);
            dialog.allow_from = QStringLiteral("::1");
            QTest::mouseClick(dialog.preconfigured_radio, Qt::LeftButton);
            dialog.config_name_combo->setEditText(QStringLiteral("open"));
            QVERIFY(dialog.allow_from.isEmpty());
            dialog.config_name_combo->setEditText(QStringLiteral("guarded"));
            QCOMPARE(dialog.allow_from, QStringLiteral("10.0.0.5, 192.168.1.0/24"));
            QTest::mouseClick(dialog.ok_button, Qt::LeftButton);
        });
        run_new_action(dialog, [&](const config::WindowConfiguration& shown, const QString&, const config::WindowTitles&) {
            opened_with = shown.allow_from;
        });
        QCOMPARE(opened_with, QStringLiteral("10.0.0.5, 192.168.1.0/24"));
        QCOMPARE(boxes.size(), 1);
    }

    // The Help button and F1 in the field ask for the topic with the "Who may send" section.
    void help_button_and_f1_ask_for_who_may_send()
    {
        QTemporaryDir run_dir;
        help::initialize_help(run_dir.path());
        help::set_viewer_installed_for_testing(false);
        {
            help::THookHelpSystem help_system(QStringLiteral("vesmira.chm"), QString(), 0);
            SecurityDialog security(QStringLiteral("514"), QString());
            security.show();
            security.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&security));
            QTest::mouseClick(security.help_button, Qt::LeftButton);
            security.accept_from_edit->setFocus();
            QTest::keyClick(security.accept_from_edit, Qt::Key_F1);
        }
        QFile log(help::debug_log_path());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QCOMPARE(text.count(QStringLiteral("HHHelpContext(\"vesmira.chm\", 1500, \"\", 0)")), 2);
    }
};

QTEST_MAIN(TestSecurityDialog)
#include "test_security_dialog.moc"
