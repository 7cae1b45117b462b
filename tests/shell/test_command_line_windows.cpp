// The windows a command line asks for, opened at start-up as the program does it: after the
// reopened ones, in order, through the same opening as the New window dialog, with its messages.

#include "config/window_config.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "shell/command_line.h"
#include "shell/startup.h"
#include "start_up_fixture.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QLabel>
#include <QtTest>

using logwin::LogWindow;

class TestCommandLineWindows : public QObject, private StartUpFixture {
    Q_OBJECT

private:
    std::unique_ptr<shell::MainWindow> frame;

    // Start-up as main() does it, from the arguments after the program's name.
    void start(QStringList arguments)
    {
        arguments.prepend(QStringLiteral("vesmira"));
        shell::CommandLine command_line = shell::parse_command_line(arguments);
        shell::check_names_in_store(command_line);
        QCOMPARE(command_line.error, QString());
        frame = shell::create_main_windows();
        shell::open_start_windows(*frame, command_line);
    }
    // Each open log window in one line: caption, port, saved or not, label, command.
    QStringList windows() const
    {
        QStringList lines;
        for (int index = 0; index < frame->log_window_count(); ++index) {
            const LogWindow* window = frame->log_window(index);
            lines.append(QStringLiteral("%1|%2|%3|%4|%5")
                             .arg(window->windowTitle())
                             .arg(window->listen_port)
                             .arg(window->is_saved ? "saved" : "unsaved")
                             .arg(window->findChild<QLabel*>(QStringLiteral("Label2"))->text())
                             .arg(window->window_command()));
        }
        return lines;
    }

private Q_SLOTS:
    void initTestCase() { start_help(); }
    void init() { begin_test(); }
    void cleanup()
    {
        if (frame)
            frame->quit_action->trigger();
        frame.reset();
        end_test();
    }

    void named_windows_open_after_the_reopened_ones_then_the_port()
    {
        const quint16 recorded_port = loopback::free_port();
        const quint16 web_port = loopback::free_port();
        const quint16 db_port = loopback::free_port();
        const quint16 bare_port = loopback::free_port();
        config::write_window_configuration("recorded", {recorded_port, "", false});
        config::write_window_configuration("web", {web_port, "  /bin/sleep 30  ", false});
        config::write_window_configuration("db", {db_port, "", true});
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::product_key, true));
            registry.WriteBool(store::reopen_windows_value, true);
            QVERIFY(registry.OpenKey(store::open_windows_key, true));
            registry.WriteBool("recorded", true);
        }

        start({"db", "--port", QString::number(bare_port), "--command", " sleep 30 ", "web"});
        // Commands are trimmed as the New window dialog trims them.
        QCOMPARE(windows(), (QStringList{QStringLiteral("LOG: recorded|%1|saved|recorded|").arg(recorded_port),
                                         QStringLiteral("LOG: db|%1|saved|db|").arg(db_port),
                                         QStringLiteral("LOG: web|%1|saved|web|/bin/sleep 30").arg(web_port),
                                         QStringLiteral("LOG: Receiving on port %1|%1|unsaved|on port %1, but not "
                                                        "saved yet.|sleep 30")
                                             .arg(bare_port)}));
        for (const quint16 port : {recorded_port, db_port, web_port, bare_port})
            QVERIFY(loopback::accepts_connections(port));
        // A name opens its window as saved, only this computer sending included.
        QVERIFY(frame->log_window(1)->local_only && !frame->log_window(2)->local_only);
        QVERIFY(frame->log_window(3)->process_handle && frame->log_window(3)->process_handle->running());
        QVERIFY(boxes.isEmpty());
    }

    void each_window_fails_on_its_own_with_the_usual_messages()
    {
        const quint16 web_port = loopback::free_port();
        const quint16 db_port = loopback::free_port();
        config::write_window_configuration("web", {web_port, "", false});
        config::write_window_configuration("db", {db_port, "/nonexistent/program", false});
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::config_key("portless"), true));
            registry.WriteString(store::command_value, "");
        }

        // The second "web" and the bare window find their ports taken; "portless" can't be read.
        start({"web", "portless", "db", "web", "--port", QString::number(db_port)});
        QCOMPARE(windows(), (QStringList{QStringLiteral("LOG: web|%1|saved|web|").arg(web_port),
                                         QStringLiteral("LOG: db|%1|saved|db|").arg(db_port)}));
        QCOMPARE(boxes, (QStringList{"Vesmira|Konnte Daten für '' nicht holen.", "Error|Couldn't run your command.",
                                     QStringLiteral("Error|You are already listening on port %1.").arg(web_port),
                                     QStringLiteral("Error|You are already listening on port %1.").arg(db_port)}));
    }
};

QTEST_MAIN(TestCommandLineWindows)
#include "test_command_line_windows.moc"
