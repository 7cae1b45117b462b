// The frame as the program starts it: opening and closing log windows with their failures, the
// alert counter, Quit, the window list, arrangement and the About box.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/find_bar.h"
#include "logwin/log_window.h"
#include "logwin/refused_senders_dialog.h"
#include "loopback.h"
#include "open_window.h"
#include "platform/message_box.h"
#include "shell/startup.h"
#include "shell/about_dialog.h"
#include "window_controls.h"

#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using logwin::LogWindow;
using loopback::reaped;

class TestFrame : public QObject {
    Q_OBJECT

private:
    QTemporaryDir help_folder;
    QStringList boxes;  // "caption|icon|text" of every message shown
    std::unique_ptr<shell::MainWindow> frame;

    QString panel_text(int index) const
    {
        return frame->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(index))->text();
    }
    QList<LogWindow*> log_windows() const
    {
        QList<LogWindow*> windows;
        for (int index = 0; index < frame->log_window_count(); ++index)
            windows.append(frame->log_window(index));
        return windows;
    }
    // Opens an unsaved window on a free port; null when none was added.
    LogWindow* open_window(const QString& caption, const QString& command = {}, quint16* port_used = nullptr)
    {
        const quint16 port = loopback::free_port();
        if (port_used != nullptr)
            *port_used = port;
        const int before = frame->log_window_count();
        open_test_window(*frame, port, QString(), caption, command, QStringLiteral("unsaved"));
        return frame->log_window_count() == before + 1 ? frame->log_window(before) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() { help::initialize_help(help_folder.path()); }
    void init()
    {
        boxes.clear();
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon icon) {
            boxes.append(caption + QLatin1Char('|') + QString::number(int(icon)) + QLatin1Char('|') + text);
            return platform::MessageAnswer::Ok;
        });
        frame = shell::create_main_windows();
        frame->show();
    }
    void cleanup()
    {
        for (LogWindow* window : log_windows())
            window->shut_down();
        frame.reset();
        platform::set_message_box_handler({});
    }

    void frame_as_started()
    {
        QCOMPARE(frame->windowTitle(), QStringLiteral("VESMIRA"));
        QCOMPARE(panel_text(0), QStringLiteral("Ready"));
        QCOMPARE(panel_text(1), QString());
        QCOMPARE(frame->quit_action->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QStringList window_menu;
        for (QAction* item : frame->window_menu->actions())
            window_menu.append(item->text() + (item->icon().isNull() ? "" : "+image"));
        QCOMPARE(window_menu, (QStringList{"&Cascade+image", "&Minimize all", "Tile &vertical+image",
                                           "Tile &horizontal+image"}));
    }

    void open_log_window_starts_a_listening_window()
    {
        const quint16 port = loopback::free_port();
        open_test_window(*frame, port, "web", "LOG: web", "/bin/sleep 30", "web label");
        QCOMPARE(frame->log_window_count(), 1);
        LogWindow* window = frame->log_window(0);
        QCOMPARE(window->windowTitle(), QStringLiteral("LOG: web"));
        QCOMPARE(window->findChild<QLabel*>("Label2")->text(), QStringLiteral("web label"));
        QCOMPARE(window->listen_port, port);
        QVERIFY(window->is_saved);
        QCOMPARE(window->config_name, QStringLiteral("web"));
        QCOMPARE(window->command_params, QStringLiteral(" 30"));
        QCOMPARE(window->window_command(), QStringLiteral("/bin/sleep 30"));
        QVERIFY(window->process_handle && window->process_handle->running());
        QVERIFY(loopback::Sender(port).send("hello\n"));
        QTRY_COMPARE(window->log_view()->line_count(), 1);
        QCOMPARE(window->log_view()->line_text(0), std::string("hello"));
        QVERIFY(boxes.isEmpty());
    }

    void failures_of_open_log_window()
    {
        quint16 port = 0;
        QVERIFY(open_window("LOG: first", {}, &port));
        const QList<LogWindow*> before = log_windows();
        open_test_window(*frame, port, {}, "LOG: again", "/bin/sleep 30", {});
        QCOMPARE(boxes, QStringList{QStringLiteral("Error|0|You are already listening on port %1.").arg(port)});
        QCOMPARE(log_windows(), before);
        QCOMPARE(frame->mdi_area->subWindowList().size(), 1);

        boxes.clear();
        LogWindow* window = open_window("LOG: x", "/nonexistent/program -v", &port);
        QVERIFY(window);
        QCOMPARE(boxes, QStringList{"Error|0|Couldn't run your command."});
        QVERIFY(!window->process_handle && window->command_program.isEmpty());
        QVERIFY(loopback::accepts_connections(port));

        // Any reason but a port in use is said as it is: here the process has no descriptor left.
        boxes.clear();
        const quint16 other_port = loopback::free_port();
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        const int lowest_free = open("/dev/null", O_RDONLY);
        close(lowest_free);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(lowest_free);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
        open_test_window(*frame, other_port, {}, "LOG: no descriptor", {}, {});
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        QCOMPARE(boxes, QStringList{QStringLiteral("Error|0|Can't listen on port %1: Too many open files.").arg(other_port)});

        // A bare program name is looked up on PATH as a shell would; one that isn't there fails.
        boxes.clear();
        QVERIFY(open_window("LOG: missing", "no-such-program-of-vesmira -v"));
        QCOMPARE(boxes, QStringList{"Error|0|Couldn't run your command."});
        boxes.clear();
        LogWindow* sleeper = open_window("LOG: sleeper", "sleep 30");
        QVERIFY(sleeper && boxes.isEmpty());
        QVERIFY(sleeper->process_handle && sleeper->process_handle->running());
        QCOMPARE(sleeper->window_command(), QStringLiteral("sleep 30"));
    }

    void closing_a_window_stops_command_and_listener_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QKeySequence>("keys");  // none: closed by its close button
        QTest::newRow("no command, Ctrl+F4") << QString() << QStringList{} << QKeySequence(Qt::CTRL | Qt::Key_F4);
        QTest::newRow("running command, Ctrl+W") << "/bin/sleep 30" << QStringList{}
                                                 << QKeySequence(Qt::CTRL | Qt::Key_W);
        QTest::newRow("command that ended already")
            << "/bin/true"
            << QStringList{"Error|0|Couldn't stop the running process. Next connect might\r\nfail if you are running ssh."}
            << QKeySequence();
    }
    void closing_a_window_stops_command_and_listener()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, messages);
        QFETCH(QKeySequence, keys);
        quint16 port = 0;
        QPointer<LogWindow> window = open_window("LOG: x", command, &port);
        QVERIFY(window);
        const pid_t pid = window->process_handle ? window->process_handle->pid() : 0;
        if (command == QLatin1String("/bin/true"))
            QTRY_VERIFY(reaped(pid));
        if (keys.isEmpty()) {
            QVERIFY(window->close());
        } else {
            frame->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(frame.get()));
            QTest::keySequence(window->log_view(), keys);
        }
        QCOMPARE(boxes, messages);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(frame->log_window_count(), 0);
        QVERIFY(!loopback::accepts_connections(port));
        if (pid != 0)
            QTRY_VERIFY(reaped(pid));
    }

    void alert_counter_sets_panel_text_data()
    {
        QTest::addColumn<QString>("events");  // r: a window raises; a<n>: window n's acknowledge button
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("two raised, both acknowledged")
            << "r r a0 a1" << QStringList{"Alerts pending", "Alerts pending", "Alerts pending", "No alerts"}
            << QList<int>{1, 2, 1, 0};
        QTest::newRow("acknowledged where nothing was pending")
            << "r a1 a1" << QStringList{"Alerts pending", "No alerts", "No alerts"} << QList<int>{1, 0, 0};
        QTest::newRow("no more than there are windows")
            << "r r r a0" << QStringList(4, QStringLiteral("Alerts pending")) << QList<int>{1, 2, 2, 1};
    }
    void alert_counter_sets_panel_text()
    {
        QFETCH(QString, events);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, counts);
        LogWindow* windows[2] = {open_window("LOG: a"), open_window("LOG: b")};
        QVERIFY(windows[0] && windows[1]);
        const QStringList steps = events.split(QLatin1Char(' '));
        for (qsizetype step = 0; step < steps.size(); ++step) {
            if (steps[step] == QLatin1String("r"))
                frame->note_alert_raised();
            else
                QTest::mouseClick(windows[steps[step][1].digitValue()]->findChild<QAbstractButton*>("ToolButton1"),
                                  Qt::LeftButton);
            QCOMPARE(panel_text(1), texts[step]);
            QCOMPARE(frame->pending_alerts, counts[step]);
        }
    }

    void quit_runs_every_close_handler_data()
    {
        QTest::addColumn<bool>("close_frame");
        QTest::newRow("Quit") << false;
        QTest::newRow("closing the frame") << true;
    }
    void quit_runs_every_close_handler()
    {
        QFETCH(bool, close_frame);
        QList<std::pair<pid_t, quint16>> started;
        for (const char* caption : {"LOG: a", "LOG: b"}) {
            quint16 port = 0;
            LogWindow* window = open_window(caption, "/bin/sleep 30", &port);
            QVERIFY(window && window->process_handle);
            started.append({window->process_handle->pid(), port});
        }
        close_frame ? void(frame->close()) : frame->quit_action->trigger();
        for (const auto& [pid, port] : started) {
            QTRY_VERIFY(reaped(pid));
            QVERIFY(!loopback::accepts_connections(port));
        }
        QCOMPARE(frame->mdi_area->subWindowList().size(), 2);  // they go with the frame
        QVERIFY(boxes.isEmpty());
    }

    void window_menu_lists_and_activates_windows()
    {
        LogWindow* first = open_window("LOG: a&b");
        LogWindow* second = open_window("LOG: c");
        QCOMPARE(frame->mdi_area->activeSubWindow(), second);
        for (int showing = 0; showing < 2; ++showing)  // listed once, however often it opens
            QMetaObject::invokeMethod(frame->window_menu, "aboutToShow");
        const QList<QAction*> items = frame->window_menu->actions().mid(4);
        QCOMPARE(items.size(), 3);
        QVERIFY(items[0]->isSeparator());
        QCOMPARE(items[1]->text(), QStringLiteral("LOG: a&&b"));
        QCOMPARE(items[2]->text(), QStringLiteral("LOG: c"));
        QVERIFY(items[2]->isChecked() && !items[1]->isChecked());
        items[1]->trigger();
        QCOMPARE(frame->mdi_area->activeSubWindow(), first);
    }

    void edit_menu_finds_in_the_active_window()
    {
        QStringList menus;
        for (QAction* menu : frame->menuBar()->actions())
            menus.append(menu->text());
        QCOMPARE(menus, (QStringList{"&Vesmira", "&Edit", "&Options", "&Window", "&Help"}));
        QStringList items;
        for (QAction* item : frame->edit_menu->actions())
            if (!item->isSeparator())
                items.append(item->text() + '|' + item->shortcut().toString() + '|' + (item->isEnabled() ? "on" : "off"));
        QCOMPARE(items, (QStringList{"&Find...|Ctrl+F|off", "Find &Next|F3|off", "Find &Previous|Shift+F3|off",
                                     "C&lear|Ctrl+Shift+L|off", "Show &arrival times||off",
                                     "Show &sender addresses||off", "&Refused senders...||off"}));

        LogWindow* first = open_window("LOG: a");
        LogWindow* second = open_window("LOG: b");
        QVERIFY(frame->find_action->isEnabled());
        for (LogWindow* window : {first, second})
            window->log_view()->set_text("one match\nmore match");
        auto* first_tabs = control<QTabWidget>(*first, "PageControl1");
        first_tabs->setCurrentIndex(1);
        frame->mdi_area->setActiveSubWindow(first);
        frame->find_action->trigger();
        QCOMPARE(first_tabs->currentIndex(), 0);
        QVERIFY(first->find_bar()->isVisible() && !second->find_bar()->isVisible());
        QTest::keyClicks(first->find_bar()->find_edit, QStringLiteral("match"));
        QTRY_COMPARE(first->log_view()->selection_start(), lines::TextOffset{4});
        frame->find_next_action->trigger();
        QTRY_COMPARE(first->log_view()->selection_start(), lines::TextOffset{16});
        frame->find_previous_action->trigger();
        QTRY_COMPARE(first->log_view()->selection_start(), lines::TextOffset{4});
        QCOMPARE(second->log_view()->selection_length(), lines::TextOffset{0});
        frame->clear_action->trigger();
        QCOMPARE(first->log_view()->line_count(), 0);
        QCOMPARE(second->log_view()->line_count(), 2);

        // Arrival times: each window keeps its own choice, the check mark shows the active one's.
        QVERIFY(frame->arrival_times_action->isCheckable() && !frame->arrival_times_action->isChecked());
        frame->arrival_times_action->trigger();
        QVERIFY(first->shows_arrival_times() && !second->shows_arrival_times());
        frame->mdi_area->setActiveSubWindow(second);
        QTRY_VERIFY(!frame->arrival_times_action->isChecked());
        frame->mdi_area->setActiveSubWindow(first);
        QTRY_VERIFY(frame->arrival_times_action->isChecked());
        QVERIFY(first->shows_arrival_times() && !second->shows_arrival_times());

        // The refusals listed are the active window's.
        QString listed;
        QTimer::singleShot(0, frame.get(), [&] {
            auto* dialog = qobject_cast<logwin::RefusedSendersDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            listed = dialog->parentWidget() == first ? dialog->count_label->text() : QStringLiteral("another window's");
            dialog->close_button->click();
        });
        frame->refused_senders_action->trigger();
        QCOMPARE(listed, QStringLiteral("0 refused, newest first."));
    }

    void vesmira_menu_saves_the_active_window()
    {
        const auto items = [&] {
            QMetaObject::invokeMethod(frame->vesmira_menu, "aboutToShow");
            QStringList listed;
            for (QAction* item : frame->vesmira_menu->actions())
                if (!item->isSeparator())
                    listed.append(item->text() + '|' + item->shortcut().toString() + '|' +
                                  (item->isEnabled() ? "on" : "off"));
            return listed;
        };
        QCOMPARE(items(), (QStringList{"&New|Ctrl+N|on", "&Save log as...|Ctrl+S|off", "Save &selection as...||off",
                                       "&Quit|Ctrl+Q|on"}));
        LogWindow* window = open_window("LOG: a");
        window->log_view()->set_text("one\ntwo");
        QCOMPARE(items().mid(1, 2), (QStringList{"&Save log as...|Ctrl+S|on", "Save &selection as...||off"}));
        window->log_view()->set_selection(0, 3);
        QCOMPARE(items().mid(1, 2), (QStringList{"&Save log as...|Ctrl+S|on", "Save &selection as...||on"}));
        // The action asks the active window for its file; nothing is written when none is given.
        int asked = 0;
        window->ask_save_file_name = [&] {
            ++asked;
            return QString();
        };
        frame->save_selection_action->trigger();
        QCOMPARE(asked, 1);
        QVERIFY(!window->saving());
    }

    void arranging_windows()
    {
        // Room for two windows one above the other at their least height.
        frame->resize(1400, 1300);
        LogWindow* windows[2] = {open_window("LOG: a"), open_window("LOG: b")};
        QVERIFY(windows[0] && windows[1]);
        const QRect area = frame->mdi_area->viewport()->rect();
        const int half_height = area.height() / 2;
        const int half_width = area.width() / 2;
        frame->tile_rows_action->trigger();  // "Tile vertical": one above another
        QCOMPARE(windows[0]->geometry(), QRect(0, 0, area.width(), half_height));
        QCOMPARE(windows[1]->geometry(), QRect(0, half_height, area.width(), area.height() - half_height));
        frame->tile_columns_action->trigger();  // "Tile horizontal": side by side
        QCOMPARE(windows[0]->geometry(), QRect(0, 0, half_width, area.height()));
        QCOMPARE(windows[1]->geometry(), QRect(half_width, 0, area.width() - half_width, area.height()));
        frame->minimize_all_action->trigger();
        QVERIFY(windows[0]->isMinimized() && windows[1]->isMinimized());
    }

    void about_box_shows_logo_and_notice_and_ignores_escape()
    {
        QVERIFY(QImageReader::supportedImageFormats().contains("gif"));
        shell::AboutDialog* about = frame->about_dialog;
        const QImage logo = about->findChild<QLabel*>("Image1")->pixmap().toImage();
        QCOMPARE(logo.size(), QSize(251, 50));
        QCOMPARE(qAlpha(logo.pixel(250, 0)), 0);   // drawn transparently
        QCOMPARE(qAlpha(logo.pixel(8, 24)), 255);  // the receiver dot
        QCOMPARE(about->findChild<QLabel*>("Label1")->text(), QStringLiteral("Version " VESMIRA_VERSION));
        auto* notice = about->findChild<QPlainTextEdit*>("Memo1");
        QCOMPARE(notice->document()->blockCount(), 13);
        const QString original = notice->toPlainText();
        bool open_after_escape = false;
        QString text_after_typing;
        QTimer::singleShot(0, about, [&] {
            QTest::keyClick(notice, Qt::Key_X);
            QTest::keyClick(notice, Qt::Key_A, Qt::ControlModifier);  // selecting works
            text_after_typing = notice->textCursor().selectedText();
            QTest::keyClick(notice, Qt::Key_Escape);
            open_after_escape = about->isVisible();
            QTest::mouseClick(about->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        });
        frame->about_action->trigger();
        QVERIFY(open_after_escape);
        QCOMPARE(about->result(), int(QDialog::Accepted));
        QCOMPARE(text_after_typing.replace(QChar::ParagraphSeparator, QLatin1Char('\n')), original);
    }
};

QTEST_MAIN(TestFrame)
#include "test_frame.moc"
