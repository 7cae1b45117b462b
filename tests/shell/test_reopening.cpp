// The global option driven through real start-ups and quits: the Global options dialog,
// recording the saved windows at quit and reopening them at the next start.

#include "logwin/log_window.h"
#include "colormemo/tcolormemo.h"
#include "local_addresses.h"
#include "loopback.h"
#include "open_window.h"
#include "shell/startup.h"
#include "start_up_fixture.h"
#include "shell/options_dialog.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <filesystem>
#include <optional>

using logwin::LogWindow;

class TestReopening : public QObject, private StartUpFixture {
    Q_OBJECT

private:
    std::unique_ptr<shell::MainWindow> frame;

    // One program run: start-up as main() does it.
    void start()
    {
        frame = shell::create_main_windows();
        frame->show();
        frame->reopen_windows();
    }
    void quit()
    {
        frame->quit_action->trigger();
        frame.reset();
    }
    QStringList window_captions() const
    {
        QStringList captions;
        for (int index = 0; index < frame->log_window_count(); ++index)
            captions.append(frame->log_window(index)->windowTitle());
        return captions;
    }
    static void save_config(const std::string& name, std::int32_t port, const std::string& command)
    {
        store::TRegistry registry;
        QVERIFY(registry.OpenKey(store::config_key(name), true));
        registry.WriteInteger(store::port_value, port);
        registry.WriteString(store::command_value, command);
    }
    static std::vector<std::string> recorded_names()
    {
        store::TRegistry registry;
        std::vector<std::string> names;
        if (registry.OpenKey(store::open_windows_key, false))
            registry.GetValueNames(names);
        return names;
    }
    // Shows the Global options dialog, sets the box and leaves with OK or Cancel.
    void set_option_in_dialog(bool checked, bool ok, bool* shown_checked = nullptr)
    {
        QTimer::singleShot(0, this, [&] {
            auto* dialog = frame->findChild<shell::OptionsDialog*>();
            QVERIFY(dialog && dialog->isVisible());
            auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox1"));
            if (shown_checked != nullptr)
                *shown_checked = box->isChecked();
            box->setChecked(checked);
            dialog->findChild<QPushButton*>(ok ? QStringLiteral("OKBtn") : QStringLiteral("CancelBtn"))->click();
        });
        frame->global_options_action->trigger();
    }

private Q_SLOTS:
    void initTestCase() { start_help(); }
    void init() { begin_test(); }
    void cleanup()
    {
        if (frame)
            quit();
        end_test();
    }

    void first_start_creates_nothing()
    {
        start();
        QCOMPARE(frame->log_window_count(), 0);
        QVERIFY(!std::filesystem::exists(store::TRegistry::default_database_file()));
        quit();
        // Quit opens the product key with create, and records nothing without the option.
        store::TRegistry registry;
        QVERIFY(registry.OpenKey(store::product_key, false));
        QVERIFY(!registry.OpenKey(store::open_windows_key, false));
        QVERIFY(boxes.isEmpty());
    }

    void saved_windows_open_again_at_the_next_start()
    {
        const quint16 web_port = loopback::free_port();
        const quint16 db_port = loopback::free_port();
        save_config("web", web_port, "");
        save_config("db", db_port, "");
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::alert_key("web", "errors"), true));
            registry.WriteString(store::catchwords_value, "ERROR");
            registry.WriteBool(store::color_titlebar_value, true);
            registry.WriteBool(store::active_value, true);
        }

        start();
        set_option_in_dialog(true, true);
        open_test_window(*frame, db_port, "db", "LOG: db", "", "db");
        open_test_window(*frame, loopback::free_port(), {}, "LOG: Receiving on port 1", "", "unsaved");
        open_test_window(*frame, web_port, "web", "LOG: web", "", "web");
        QCOMPARE(frame->log_window_count(), 3);
        quit();
        QCOMPARE(recorded_names(), (std::vector<std::string>{"db", "web"}));

        start();
        QCOMPARE(window_captions(), (QStringList{"LOG: db", "LOG: web"}));
        LogWindow* web = frame->log_window(1);
        QVERIFY(web->is_saved);
        QCOMPARE(web->config_name, QStringLiteral("web"));
        QCOMPARE(web->listen_port, web_port);
        QCOMPARE(web->alerts.size(), std::size_t{1});
        QCOMPARE(web->alerts[0].name, QStringLiteral("errors"));
        QVERIFY(web->alerts[0].active);
        QVERIFY(loopback::Sender(web_port).send("still here\n"));
        QTRY_COMPARE(web->log_view()->line_count(), 1);
        QVERIFY(boxes.isEmpty());
    }

    void a_reopened_window_listens_as_it_was_saved()
    {
        const quint16 local_port = loopback::free_port();
        const quint16 open_port = loopback::free_port();
        save_config("local", local_port, "");
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::config_key("local"), false));
            registry.WriteBool(store::local_only_value, true);
        }
        save_config("open", open_port, "");  // saved before there was a choice
        start();
        set_option_in_dialog(true, true);
        open_test_window(*frame, local_port, "local", "LOG: local", "", "local", true);
        open_test_window(*frame, open_port, "open", "LOG: open", "", "open");
        quit();

        start();
        QCOMPARE(window_captions(), (QStringList{"LOG: local", "LOG: open"}));
        QVERIFY(frame->log_window(0)->local_only);
        QVERIFY(!frame->log_window(1)->local_only);
        QVERIFY(loopback::accepts_connections(local_port));
        if (local_addresses::has_ipv6())
            QVERIFY(local_addresses::accepts_at("::1", local_port));
        QVERIFY(boxes.isEmpty());
        const std::optional<std::string> own = local_addresses::non_loopback_address();
        if (!own)
            QSKIP("this machine has no address but loopback to show that others are refused");
        QCOMPARE(local_addresses::connect_to(*own, local_port), -ECONNREFUSED);
        QVERIFY2(local_addresses::accepts_at(*own, open_port), own->c_str());
    }

    void nothing_is_reopened_when_nothing_was_open_or_the_option_is_cleared()
    {
        save_config("web", loopback::free_port(), "");
        start();
        set_option_in_dialog(true, true);
        quit();
        QVERIFY(recorded_names().empty());

        start();
        QCOMPARE(frame->log_window_count(), 0);
        open_test_window(*frame, loopback::free_port(), "web", "LOG: web", "", "web");
        quit();
        QCOMPARE(recorded_names(), std::vector<std::string>{"web"});

        // Clearing the option keeps the old list but reopens nothing; Cancel writes nothing.
        start();
        QCOMPARE(frame->log_window_count(), 1);
        bool shown_checked = false;
        set_option_in_dialog(false, false, &shown_checked);
        QVERIFY(shown_checked);
        set_option_in_dialog(false, true, &shown_checked);
        QVERIFY(shown_checked);
        quit();
        start();
        QCOMPARE(frame->log_window_count(), 0);
        QCOMPARE(recorded_names(), std::vector<std::string>{"web"});
    }

    void the_text_limit_is_stored_and_applies_to_open_windows_at_once()
    {
        start();
        open_test_window(*frame, loopback::free_port(), {}, "LOG: one", "", "one");
        LogWindow* window = frame->log_window(0);
        // Nothing stored: the default, 1024 MB.
        QCOMPARE(window->text_limit(), std::int64_t{1024} << 20);

        const auto set_limit_in_dialog = [&](bool limited, int megabytes, bool* shown_limited, int* shown_megabytes) {
            QTimer::singleShot(0, this, [&] {
                auto* dialog = frame->findChild<shell::OptionsDialog*>();
                QVERIFY(dialog && dialog->isVisible());
                auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox2"));
                auto* size = dialog->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"));
                QCOMPARE(box->text(), QStringLiteral("&Limit each window to"));
                *shown_limited = box->isChecked();
                *shown_megabytes = size->value();
                size->setValue(megabytes);
                box->setChecked(limited);
                QCOMPARE(size->isEnabled(), limited);
                dialog->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
            });
            frame->global_options_action->trigger();
        };
        bool shown_limited = false;
        int shown_megabytes = 0;
        set_limit_in_dialog(true, 5, &shown_limited, &shown_megabytes);
        QVERIFY(shown_limited);
        QCOMPARE(shown_megabytes, 1024);
        QCOMPARE(window->text_limit(), std::int64_t{5} << 20);
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::product_key, false));
            QCOMPARE(registry.ReadInteger(store::max_window_text_value), 5);
        }

        // Unchecked is no limit, stored as 0; a window opened later reads the stored value.
        set_limit_in_dialog(false, 5, &shown_limited, &shown_megabytes);
        QCOMPARE(shown_megabytes, 5);
        QCOMPARE(window->text_limit(), std::int64_t{0});
        open_test_window(*frame, loopback::free_port(), {}, "LOG: two", "", "two");
        QCOMPARE(frame->log_window(1)->text_limit(), std::int64_t{0});
        set_limit_in_dialog(true, 7, &shown_limited, &shown_megabytes);
        QVERIFY(!shown_limited);
        QCOMPARE(frame->log_window(1)->text_limit(), std::int64_t{7} << 20);

        // A value out of range counts as missing.
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::product_key, false));
            registry.WriteInteger(store::max_window_text_value, -3);
        }
        open_test_window(*frame, loopback::free_port(), {}, "LOG: three", "", "three");
        QCOMPARE(frame->log_window(2)->text_limit(), std::int64_t{1024} << 20);
        QVERIFY(boxes.isEmpty());
    }

    void unusable_recorded_configurations_affect_only_their_own_name()
    {
        const quint16 good_port = loopback::free_port();
        save_config("gone", loopback::free_port(), "");
        save_config("broken", loopback::free_port(), "");
        save_config("good", good_port, "");
        start();
        set_option_in_dialog(true, true);
        for (const char* name : {"gone", "broken", "good"})
            open_test_window(*frame, loopback::free_port(), name, QStringLiteral("LOG: ") + name, "", name);
        quit();

        store::TRegistry registry;
        QVERIFY(registry.DeleteKey(store::config_key("gone")));
        QVERIFY(registry.DeleteKey(store::config_key("broken")));
        QVERIFY(registry.OpenKey(store::config_key("broken"), true));
        registry.WriteString(store::command_value, "");  // a configuration without its port

        start();
        QCOMPARE(window_captions(), QStringList{"LOG: good"});
        QCOMPARE(frame->log_window(0)->listen_port, good_port);
        QCOMPARE(boxes, QStringList{"Vesmira|Konnte Daten für '' nicht holen."});
    }
};

QTEST_MAIN(TestReopening)
#include "test_reopening.moc"
