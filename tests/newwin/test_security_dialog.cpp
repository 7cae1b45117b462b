// The New window dialog's "Who may send" dialog: a malformed entry is told and keeps it open,
// what a sender over TLS must show is asked only of TLS windows, and what OK takes is held,
// saved, read back and handed to the window that opens.

#include "config/window_config.h"
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
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <set>

using namespace newwin;

class TestSecurityDialog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_dir;
    QStringList boxes;  // "text|caption"
    const QString sha256 = QStringLiteral("SHA256:") + QStringLiteral("0F:").repeated(31) + QStringLiteral("A0");
    const QString sha1 = QStringLiteral("sha1:") + QStringLiteral("ab:").repeated(19) + QStringLiteral("CD");

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
    // A radio button takes a click on its indicator only: a laid-out one is wider than its text.
    static void choose(QRadioButton* radio)
    {
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
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
                QVERIFY(!security.tls_group->isEnabled() && security.tls_note->isVisible());
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
            // A window receiving syslog over TLS takes the fingerprints its senders must show.
            dialog.protocol_combo->setCurrentIndex(
                dialog.protocol_combo->findData(QVariant::fromValue(net::Protocol::syslog_tls)));
            with_security_dialog(dialog, [&](SecurityDialog& security) {
                QVERIFY(security.tls_group->isEnabled() && !security.tls_note->isVisible());
                QVERIFY(security.anon_radio->isChecked());
                choose(security.fingerprint_radio);
                security.fingerprints_edit->setPlainText(sha256);
                QTest::mouseClick(security.ok_button, Qt::LeftButton);
            });
            QCOMPARE(dialog.tls_auth + dialog.tls_fingerprints, QStringLiteral("fingerprint") + sha256);
            QTest::mouseClick(dialog.save_button, Qt::LeftButton);
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::config_key("guarded"), false));
            QCOMPARE(registry.ReadString(store::allow_from_value), std::string("10.0.0.5, 192.168.1.0/24"));
            QCOMPARE(registry.ReadString(store::tls_auth_value), std::string("fingerprint"));
            QCOMPARE(registry.ReadString(store::tls_fingerprints_value), sha256.toStdString());

            // Selecting a configuration shows its list; one saved without it lets everyone send.
            registry.OpenKey(store::config_key("open"), true);
            registry.WriteInteger(store::port_value, 80);
            dialog.allow_from = QStringLiteral("::1");
            QTest::mouseClick(dialog.preconfigured_radio, Qt::LeftButton);
            dialog.config_name_combo->setEditText(QStringLiteral("open"));
            QVERIFY(dialog.allow_from.isEmpty() && dialog.tls_auth.isEmpty() && dialog.tls_fingerprints.isEmpty());
            dialog.config_name_combo->setEditText(QStringLiteral("guarded"));
            QCOMPARE(dialog.allow_from, QStringLiteral("10.0.0.5, 192.168.1.0/24"));
            QCOMPARE(dialog.tls_auth + dialog.tls_fingerprints, QStringLiteral("fingerprint") + sha256);
            QTest::mouseClick(dialog.ok_button, Qt::LeftButton);
        });
        run_new_action(dialog, [&](const config::WindowConfiguration& shown, const QString&, const config::WindowTitles&) {
            opened_with =
                shown.allow_from + QLatin1Char('|') + shown.tls_auth + QLatin1Char('|') + shown.tls_fingerprints;
        });
        QCOMPARE(opened_with, QStringLiteral("10.0.0.5, 192.168.1.0/24|fingerprint|") + sha256);
        QCOMPARE(boxes.size(), 1);
    }

    void tls_senders_are_checked_on_ok_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("choice");  // the radio button clicked
        QTest::addColumn<QString>("typed");  // into the choice's field ("browse:" for the CA's Browse); DIR: a folder
        QTest::addColumn<QString>("outcome");  // the messages, or "taken " and the three values
        QTest::newRow("no certificate") << true << "anon" << "" << "taken anon||SHA256:zz";
        QTest::newRow("no CA file") << true << "ca" << "" << "Choose the CA certificate file.|Error";
        QTest::newRow("a CA file gone") << true << "ca" << "DIR/gone.pem" << "'DIR/gone.pem' does not exist.|Error";
        QTest::newRow("a CA file browsed for")
            << true << "ca" << "browse:DIR/ca.pem" << "taken ca|DIR/ca.pem|SHA256:zz";
        QTest::newRow("a bad fingerprint") << true << "fingerprint" << (sha256 + "\nSHA256:zz")
                                           << "'SHA256:zz' is not a fingerprint.|Error";
        QTest::newRow("no fingerprint") << true << "fingerprint" << "\n \n" << "Give at least one fingerprint.|Error";
        QTest::newRow("fingerprints") << true << "fingerprint" << (sha256 + "\n\n " + sha1 + " ")
                                      << "taken fingerprint||" + sha256 + "\n\n " + sha1 + " ";
        // Another protocol leaves the group as it was, unchecked and kept.
        QTest::newRow("not TLS") << false << "anon" << "" << "taken fingerprint||SHA256:zz";
    }
    void tls_senders_are_checked_on_ok()
    {
        QFETCH(bool, tls);
        QFETCH(QString, choice);
        QFETCH(QString, typed);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        QFile ca(dir.filePath(QStringLiteral("ca.pem")));
        QVERIFY(ca.open(QIODevice::WriteOnly));
        typed.replace(QStringLiteral("DIR"), dir.path());
        outcome.replace(QStringLiteral("DIR"), dir.path());

        SecurityDialog security(QStringLiteral("6514"), QString());
        security.show_tls_senders(config::tls_auth_fingerprint, QString(), QStringLiteral("SHA256:zz"));
        security.set_tls(tls);
        QStringList asked;
        security.ask_file_name = [&](const QString& caption, const QString& start) {
            asked << caption + QLatin1Char('|') + start;
            return typed.mid(7);
        };
        security.show();
        QCOMPARE(security.tls_note->isVisible(), !tls);
        QRadioButton* radio = choice == "ca" ? security.ca_radio
                              : choice == "fingerprint" ? security.fingerprint_radio
                                                        : security.anon_radio;
        choose(radio);
        QCOMPARE(security.ca_file_edit->isEnabled(), tls && choice == "ca");
        QCOMPARE(security.browse_button->isEnabled(), tls && choice == "ca");
        QCOMPARE(security.fingerprints_edit->isEnabled(), tls && choice == "fingerprint");
        QWidget* field = choice == "ca" ? static_cast<QWidget*>(security.ca_file_edit) : security.fingerprints_edit;
        if (typed.startsWith(QLatin1String("browse:"))) {
            QTest::mouseClick(security.browse_button, Qt::LeftButton);
            QCOMPARE(asked, QStringList{"CA certificate (PEM)|"});
        } else if (!typed.isEmpty() && choice == "ca") {
            retype(security.ca_file_edit, typed);
        } else if (!typed.isEmpty()) {
            security.fingerprints_edit->setPlainText(typed);
        }
        QTest::mouseClick(security.ok_button, Qt::LeftButton);
        if (security.isVisible()) {
            QCOMPARE(boxes.join(';'), outcome);
            QCOMPARE(security.focusWidget(), field);
        } else {
            QVERIFY(boxes.isEmpty());
            QCOMPARE(QStringLiteral("taken ") + security.tls_auth() + QLatin1Char('|') + security.tls_ca()
                         + QLatin1Char('|') + security.tls_fingerprints(),
                     outcome);
        }
    }

    // Each Alt key of the dialog reaches one control.
    void mnemonics_are_unique()
    {
        SecurityDialog security(QStringLiteral("6514"), QString());
        std::multiset<QString> keys;
        for (const QWidget* control : security.findChildren<QWidget*>()) {
            QString text;
            if (const auto* button = qobject_cast<const QAbstractButton*>(control))
                text = button->text();
            else if (const auto* label = qobject_cast<const QLabel*>(control))
                text = label->text();
            else if (const auto* group = qobject_cast<const QGroupBox*>(control))
                text = group->title();
            const QKeySequence key = QKeySequence::mnemonic(text);
            if (!key.isEmpty())
                keys.insert(key.toString());
        }
        QCOMPARE(QStringList(keys.begin(), keys.end()).join(' '),
                 QStringLiteral("Alt+A Alt+B Alt+C Alt+H Alt+O Alt+S"));
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
