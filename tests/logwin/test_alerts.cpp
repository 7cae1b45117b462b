// Alerts in real log windows: catchwords arriving from loopback senders fire the actions, and
// the "&Alert" tab edits, saves, loads and removes alerts in a real store.

#include "alerts/tgradientcaption.h"
#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/find_bar.h"
#include "logwin/log_window.h"
#include "logwin/save_configuration_dialog.h"
#include "loopback.h"
#include "platform/message_box.h"
#include "platform/text_fit.h"
#include "store/store_paths.h"
#include "store/tregistry.h"
#include "window_controls.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using logwin::LogWindow;

namespace {

class RecordingCounter final : public logwin::AlertCounter {
public:
    int raised = 0;
    int acknowledged = 0;
    void note_alert_raised() override { ++raised; }
    void note_alert_acknowledged() override { ++acknowledged; }
};

// Our children that are alive (not yet ended); the alert commands of these tests sleep on.
QList<pid_t> live_children()
{
    QList<pid_t> children;
    const QByteArray self = QByteArray::number(getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.toInt() == 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');  // state, ppid, ...
        if (fields.size() > 1 && fields[1] == self && fields[0] != "Z")
            children.append(entry.toInt());
    }
    return children;
}

std::string stored_string(const std::string& key, const std::string& name)
{
    store::TRegistry registry;
    return registry.OpenKey(key, false) ? registry.ReadString(name) : "<no key>";
}

QStringList list_entries(const LogWindow& window, bool checked_only = false)
{
    const auto* list = control<QListWidget>(window, "CheckListBox1");
    QStringList entries;
    for (int row = 0; row < list->count(); ++row)
        if (!checked_only || list->item(row)->checkState() == Qt::Checked)
            entries.append(list->item(row)->text());
    return entries;
}

std::vector<std::string> keywords(LogWindow& window)
{
    return window.log_view()->ColorRules().Items(0).Keywords();
}

}  // namespace

class TestAlerts : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString runs_file;    // one line per alert command run
    QString command;      // appends to runs_file, then sleeps on
    RecordingCounter counter;
    std::unique_ptr<LogWindow> window;
    quint16 port = 0;
    struct Shown {
        QString text;
        QString caption;
        platform::MessageIcon icon;
    };
    QList<Shown> shown;
    platform::MessageAnswer answer = platform::MessageAnswer::Yes;

    void save_alert(const QString& name, const QString& catchwords, const QString& alert_command = {},
                    const QString& sound = {})
    {
        control<QLineEdit>(*window, "Edit1")->setText(name);
        control<QLineEdit>(*window, "Edit3")->setText(sound);
        control<QLineEdit>(*window, "Edit2")->setText(alert_command);
        control<QPlainTextEdit>(*window, "Memo2")->setPlainText(catchwords);
        control<QPushButton>(*window, "Button1")->click();
    }
    void receive(const QByteArray& lines)
    {
        const int before = window->log_view()->line_count();
        QVERIFY(loopback::Sender(port).send(lines.toStdString()));
        QTRY_COMPARE(window->log_view()->line_count(), before + int(lines.count('\n')));
    }
    int runs() const
    {
        QFile file(runs_file);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath(QStringLiteral("config"))));
        help::initialize_help(folder.path());
        runs_file = folder.filePath(QStringLiteral("runs"));
        QFile script(folder.filePath(QStringLiteral("hold")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho run >> \"$1\"\nexec sleep 60\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        command = script.fileName() + QLatin1Char(' ') + runs_file;
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon icon) {
            shown.append({text, caption, icon});
            return answer;
        });
    }
    void init()
    {
        store::TRegistry().DeleteKey(store::product_key);
        QFile::remove(runs_file);
        shown.clear();
        answer = platform::MessageAnswer::Yes;
        counter = RecordingCounter();
        window = std::make_unique<LogWindow>(&counter);
        window->show();
        port = loopback::free_port();
        window->log_channel->listen(port, false);
        window->listen_port = port;
        window->is_saved = true;
        window->config_name = QStringLiteral("web");
    }
    void cleanup()
    {
        window.reset();
        for (const pid_t child : live_children())
            kill(child, SIGKILL);
        QTRY_VERIFY(live_children().isEmpty());
    }

    void received_lines_run_matching_alerts_data()
    {
        QTest::addColumn<QString>("catchwords");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("runs");
        QTest::newRow("ERR in ERROR") << "ERR" << true << QByteArray("disk ERROR\r\n") << 1;
        QTest::newRow("ERR not in error") << "ERR" << true << QByteArray("disk error\n") << 0;
        QTest::newRow("inactive alert") << "ERR" << false << QByteArray("ERR\n") << 0;
        QTest::newRow("two catchwords, two runs") << "ERR\nWARN" << true << QByteArray("WARN: ERR\n") << 2;
        QTest::newRow("repeated word, one run") << "ERR\n\n" << true << QByteArray("ERR ERR ERR\n") << 1;
    }
    void received_lines_run_matching_alerts()
    {
        QFETCH(QString, catchwords);
        QFETCH(bool, active);
        QFETCH(QByteArray, line);
        QFETCH(int, runs);
        save_alert(QStringLiteral("disk"), catchwords, command);
        if (!active)
            control<QListWidget>(*window, "CheckListBox1")->item(0)->setCheckState(Qt::Unchecked);
        receive(line);
        // Commands start before the line is shown, so every run is counted by now.
        QCOMPARE(live_children().size(), runs);
        QTRY_COMPARE(this->runs(), runs);
        QCOMPARE(counter.raised, runs > 0 ? 1 : 0);
        QVERIFY(shown.isEmpty());
    }

    void alert_stays_raised_until_acknowledged()
    {
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR"));
        auto* acknowledge = control<QToolButton>(*window, "ToolButton1");
        const auto* caption = control<TGradientCaption>(*window, "GradientCaption1");
        acknowledge->click();  // nothing raised: the frame is told all the same
        QCOMPARE(counter.acknowledged, 1);
        receive("ERR 1\nERR 2\n");
        QCOMPARE(counter.raised, 1);
        QVERIFY(window->alert_raised);
        QCOMPARE(caption->StartColor(), platform::clRed);
        QCOMPARE(caption->FontInactiveColor(), platform::clRed);
        acknowledge->click();
        QCOMPARE(counter.acknowledged, 2);
        QVERIFY(!window->alert_raised);
        QCOMPARE(caption->StartColor(), platform::clBlack);
        QCOMPARE(caption->FontInactiveColor(), platform::clInactiveCaptionText);
        receive("ERR 3\n");
        QCOMPARE(counter.raised, 2);
    }

    void silence_fires_once_and_again_only_after_a_line()
    {
        // Saved as the editor saves it, then made a second long, as the store may hold it.
        control<QLineEdit>(*window, "Edit1")->setText(QStringLiteral("quiet"));
        control<QLineEdit>(*window, "Edit2")->setText(command);
        control<QCheckBox>(*window, "silence_box")->setChecked(true);
        control<QSpinBox>(*window, "silence_spin")->setValue(600);
        auto* save = control<QPushButton>(*window, "Button1");
        QVERIFY(save->isEnabled());  // no catchwords needed
        save->click();
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::alert_key("web", "quiet"), false));
            QCOMPARE(registry.ReadInteger("silence"), 600);
            registry.WriteInteger("silence", 1);
        }
        window->load_alerts();
        QTRY_COMPARE(runs(), 1);
        QCOMPARE(counter.raised, 1);
        control<QToolButton>(*window, "ToolButton1")->click();
        QTest::qWait(2500);
        QCOMPARE(runs(), 1);
        QCOMPARE(counter.raised, 1);
        receive("alive\n");
        QTRY_COMPARE(runs(), 2);
        QCOMPARE(counter.raised, 2);
        // A window that stopped listening counts no silence.
        window->log_channel->close();
        control<QToolButton>(*window, "ToolButton1")->click();
        QTest::qWait(2500);
        QCOMPARE(runs(), 2);
    }

    void a_bad_expression_is_refused_and_nothing_is_saved()
    {
        control<QCheckBox>(*window, "regex_box")->setChecked(true);
        save_alert(QStringLiteral("disk"), QStringLiteral("disk\n(full"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
                 QStringLiteral("Catchword 2 is not a valid regular expression: missing closing parenthesis at 5."));
        QCOMPARE(stored_string(store::alert_key("web", "disk"), "catchwords"), std::string("<no key>"));
        QVERIFY(list_entries(*window).isEmpty());
    }

    void alerts_fire_on_lines_the_filter_hides()
    {
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR"), command);
        window->open_find_bar();
        window->find_bar()->filter_edit->setText(QStringLiteral("keep"));
        receive("keep 1\nERR hidden\nkeep 2\n");
        QCOMPARE(counter.raised, 1);
        QVERIFY(window->alert_raised);
        QTRY_COMPARE(runs(), 1);
        const TColorMemo* filtered = control<TColorMemo>(*window, "filter_memo");
        QTRY_COMPARE(filtered->line_count(), 2);
        QCOMPARE(std::string(filtered->source().line_view(1)), std::string("keep 2"));
    }

    void missing_sound_file_is_saved_and_fires_silently()
    {
        const QString sound = folder.filePath(QStringLiteral("missing.wav"));
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR"), command, sound);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("The given soundfile doesn't exist."));
        QCOMPARE(shown[0].caption, QStringLiteral("Warning"));
        QCOMPARE(shown[0].icon, platform::MessageIcon::Warning);
        QCOMPARE(stored_string(store::alert_key("web", "disk"), "sound"), sound.toStdString());
        receive("ERR\n");
        QCOMPARE(control<TGradientCaption>(*window, "GradientCaption1")->StartColor(), platform::clRed);
        QCOMPARE(live_children().size(), 1);
        QCOMPARE(shown.size(), 1);
    }

    void flood_of_matching_lines_with_a_sound_keeps_the_window_responsive()
    {
        // Two seconds of silence, 8 kHz, 8-bit mono PCM.
        const QString sound = folder.filePath(QStringLiteral("beep.wav"));
        QFile wav(sound);
        QVERIFY(wav.open(QIODevice::WriteOnly));
        const quint32 samples = 16000;
        QByteArray header("RIFF");
        const auto put32 = [&header](quint32 value) { header.append(reinterpret_cast<const char*>(&value), 4); };
        const auto put16 = [&header](quint16 value) { header.append(reinterpret_cast<const char*>(&value), 2); };
        put32(36 + samples);
        header.append("WAVEfmt ");
        put32(16);
        put16(1);
        put16(1);
        put32(8000);
        put32(8000);
        put16(1);
        put16(8);
        header.append("data");
        put32(samples);
        wav.write(header + QByteArray(int(samples), char(0x80)));
        wav.close();

        save_alert(QStringLiteral("beep"), QStringLiteral("BEEP"), {}, sound);
        // Opening the sound device for every one of these lines held the window for over
        // half a minute; a responsive window takes well under a second.
        QElapsedTimer held;
        held.start();
        receive(QByteArray("BEEP\n").repeated(1000));
        QVERIFY2(held.elapsed() < 10000, "the window froze while matching lines kept restarting the sound");
        QCOMPARE(control<TGradientCaption>(*window, "GradientCaption1")->StartColor(), platform::clRed);
        QCOMPARE(counter.raised, 1);
    }

    void flood_of_matching_lines_runs_at_most_16_commands_at_once()
    {
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR"), command);
        receive(QByteArray("ERR flood\n").repeated(100));
        const QList<pid_t> running = live_children();
        QCOMPARE(running.size(), 16);
        // A command that ends frees its place for the next match.
        kill(running[0], SIGKILL);
        QTRY_COMPARE(live_children().size(), 15);
        receive("ERR again\nERR and again\n");
        QCOMPARE(live_children().size(), 16);
        QTRY_COMPARE(runs(), 17);
    }

    void saved_alerts_are_listed_stored_and_highlighted()
    {
        control<QLineEdit>(*window, "Edit1")->setText(QStringLiteral(" "));
        QVERIFY(!control<QPushButton>(*window, "Button1")->isEnabled());
        control<QPlainTextEdit>(*window, "Memo2")->setPlainText(QStringLiteral("x"));
        QVERIFY(control<QPushButton>(*window, "Button1")->isEnabled());  // a blank is a name
        control<QPlainTextEdit>(*window, "Memo2")->clear();
        QVERIFY(!control<QPushButton>(*window, "Button1")->isEnabled());

        save_alert(QStringLiteral("disk"), QStringLiteral("full\nERR\n"));
        QCOMPARE(list_entries(*window, true), QStringList{"disk"});
        QCOMPARE(window->alerts.size(), std::size_t(1));
        QVERIFY(window->alerts[0].active);
        QCOMPARE(keywords(*window), (std::vector<std::string>{"full", "ERR"}));
        const std::string key = store::alert_key("web", "disk");
        QCOMPARE(stored_string(key, "catchwords"), std::string("full\r\nERR\r\n"));
        store::TRegistry registry;
        QVERIFY(registry.OpenKey(key, false));
        QVERIFY(registry.ReadBool("active"));
        QVERIFY(registry.ReadBool("color_titlebar"));

        // Re-saving: words taken out of an active alert stop being highlighted; an unchecked
        // entry stays inactive.
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR\nWARN"));
        QCOMPARE(keywords(*window), (std::vector<std::string>{"", "", "ERR", "WARN"}));
        control<QListWidget>(*window, "CheckListBox1")->item(0)->setCheckState(Qt::Unchecked);
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR\nfatal"));
        QCOMPARE(window->alerts.size(), std::size_t(1));
        QVERIFY(!window->alerts[0].active);
        QCOMPARE(keywords(*window), (std::vector<std::string>{"", "", "", ""}));
        QCOMPARE(list_entries(*window, true), QStringList{});
        QVERIFY(!registry.ReadBool("active"));
        receive("fatal ERR\n");
        QCOMPARE(counter.raised, 0);
    }

    void catchwords_differing_in_case_share_one_keyword()
    {
        save_alert(QStringLiteral("upper"), QStringLiteral("ERR"));
        save_alert(QStringLiteral("lower"), QStringLiteral("err"));
        QCOMPARE(keywords(*window), std::vector<std::string>{"ERR"});
        QCOMPARE(list_entries(*window), (QStringList{"lower", "upper"}));
        control<QListWidget>(*window, "CheckListBox1")->item(0)->setCheckState(Qt::Unchecked);
        QCOMPARE(keywords(*window), std::vector<std::string>{""});
        QVERIFY(window->alerts[0].active);
        QVERIFY(!window->alerts[1].active);
    }

    void load_lists_sorted_and_selecting_fills_the_fields()
    {
        {
            store::TRegistry registry;
            for (const char* name : {"zeta", "Beta", "alpha"}) {
                QVERIFY(registry.OpenKey(store::alert_key("web", name), true));
                registry.WriteString("catchwords", std::string(name) + "\r\nshared");
                registry.WriteString("command", std::string("run ") + name);
                registry.WriteBool("color_titlebar", name[0] == 'z');
                registry.WriteBool("active", name[0] != 'z');
            }
        }
        window->load_alerts();
        QCOMPARE(list_entries(*window), (QStringList{"alpha", "Beta", "zeta"}));
        QCOMPARE(list_entries(*window, true), (QStringList{"alpha", "Beta"}));
        QCOMPARE(window->alerts.size(), std::size_t(3));
        QCOMPARE(window->alerts[0].name, QStringLiteral("zeta"));  // collection in store order
        QCOMPARE(keywords(*window), (std::vector<std::string>{"Beta", "shared", "alpha"}));

        control<QListWidget>(*window, "CheckListBox1")->setCurrentRow(2);
        QCOMPARE(control<QLineEdit>(*window, "Edit1")->text(), QStringLiteral("zeta"));
        QCOMPARE(control<QLineEdit>(*window, "Edit2")->text(), QStringLiteral("run zeta"));
        QCOMPARE(control<QPlainTextEdit>(*window, "Memo2")->toPlainText(), QStringLiteral("zeta\nshared"));
        QVERIFY(control<QCheckBox>(*window, "CheckBox1")->isChecked());

        // An alert key without "active" ends the loading with the store's error.
        store::TRegistry registry;
        QVERIFY(registry.OpenKey(store::alert_key("web", "broken"), true));
        registry.WriteString("catchwords", "x");
        QVERIFY_THROWS_EXCEPTION(store::ERegistryException, window->load_alerts());
    }

    void removing_asks_and_the_last_alert_leaves_nothing()
    {
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR"));
        control<QListWidget>(*window, "CheckListBox1")->setCurrentRow(0);
        answer = platform::MessageAnswer::No;
        control<QPushButton>(*window, "Button3")->click();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("Are you sure you want to remove the alert\r\nentry disk?"));
        QCOMPARE(shown[0].caption, QStringLiteral("Question"));
        QCOMPARE(window->alerts.size(), std::size_t(1));

        answer = platform::MessageAnswer::Yes;
        control<QPushButton>(*window, "Button3")->click();
        QCOMPARE(control<QListWidget>(*window, "CheckListBox1")->count(), 0);
        QVERIFY(window->alerts.empty());
        QCOMPARE(stored_string(store::alert_key("web", "disk"), "catchwords"), std::string("<no key>"));
        QCOMPARE(control<QLineEdit>(*window, "Edit1")->text(), QStringLiteral("disk"));
        receive("ERR\n");
        QCOMPARE(counter.raised, 0);
    }

    void unsaved_window_is_saved_through_the_dialog_first_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("params");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("local_only");  // only this computer may send to the window
        // The window logs to a file and shows arrival times, choices that go with the configuration.
        QTest::addColumn<bool>("choices");
        QTest::newRow("with a command") << "/bin/sleep" << " -- 30" << true << false << false;
        QTest::newRow("without a command, local only, logging, times")
            << "" << "" << true << true << true;
        QTest::newRow("cancelled") << "/bin/true" << "" << false << true << true;
    }
    void unsaved_window_is_saved_through_the_dialog_first()
    {
        QFETCH(QString, program);
        QFETCH(QString, params);
        QFETCH(bool, accept);
        QFETCH(bool, local_only);
        QFETCH(bool, choices);
        logwin::SaveConfigurationDialog dialog;
        logwin::set_save_configuration_dialog(&dialog);
        window->is_saved = false;
        window->config_name.clear();
        window->command_program = program;
        window->command_params = params;
        window->local_only = local_only;
        const QString log_path = folder.filePath(QStringLiteral("received.log"));
        if (choices) {
            window->ask_log_file_name = [&log_path] { return log_path; };
            auto* log_to_file = control<QToolButton>(*window, "ToolButton2");
            log_to_file->click();
            QVERIFY(log_to_file->isChecked());
        }
        window->set_shows_arrival_times(choices);
        QString shown_command;
        QString shown_port;
        QTimer::singleShot(0, &dialog, [&] {
            shown_port = dialog.port_edit->text();
            shown_command = dialog.command_edit->text();
            dialog.name_edit->setText(QStringLiteral("tunnel"));
            (accept ? dialog.save_button : dialog.cancel_button)->click();
        });
        save_alert(QStringLiteral("disk"), QStringLiteral("ERR"));
        QCOMPARE(shown_port, QString::number(port));
        QCOMPARE(shown_command, program + params);
        QCOMPARE(window->is_saved, accept);
        QCOMPARE(window->alerts.size(), std::size_t(accept ? 1 : 0));
        QVERIFY(shown.isEmpty());
        QCOMPARE(window->config_name, accept ? QStringLiteral("tunnel") : QString());
        QCOMPARE(stored_string(store::config_key("tunnel"), "command"),
                 accept ? (program + params).toStdString() : "<no key>");
        QCOMPARE(stored_string(store::alert_key("tunnel", "disk"), "catchwords"), accept ? "ERR" : "<no key>");
        store::TRegistry registry;
        QCOMPARE(registry.OpenKey(store::config_key("tunnel"), false) ? registry.ReadInteger("") : 0,
                 accept ? int(port) : 0);
        if (!accept)
            return;
        QCOMPARE(registry.ReadInteger(store::local_only_value), local_only ? 1 : 0);
        QCOMPARE(QString::fromStdString(registry.ReadString(store::log_file_value)), choices ? log_path : QString());
        QCOMPARE(registry.ReadInteger(store::arrival_times_value), choices ? 1 : 0);
    }

    void alert_tab_keeps_tab_order_and_help_and_a_key_in_the_list_fills_the_fields()
    {
        auto* tabs = control<QTabWidget>(*window, "PageControl1");
        tabs->setCurrentIndex(1);
        QWidget* tab = tabs->currentWidget();
        QCOMPARE(tab->objectName(), QStringLiteral("TabSheet2"));
        QCOMPARE(help::help_context(tab), help::context_alert_tab);
        QStringList order;
        for (QWidget* widget = tab->nextInFocusChain(); widget != tab; widget = widget->nextInFocusChain())
            if (tab->isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus) != 0)
                order.append(widget->objectName());
        // A spin box's own line edit follows it.
        order.removeAll(QStringLiteral("qt_spinbox_lineedit"));
        QCOMPARE(order, (QStringList{"CheckListBox1", "Button3", "Edit1", "Edit3", "Button2", "Edit2", "CheckBox1",
                                     "CheckBox2", "regex_box", "severity_combo", "burst_count_spin",
                                     "burst_seconds_spin", "silence_box", "silence_spin", "Memo2", "Button1",
                                     "Button4"}));

        // A character the list finds no entry for still fills the fields from the selected one.
        save_alert(QStringLiteral("alpha"), QStringLiteral("A"));
        save_alert(QStringLiteral("beta"), QStringLiteral("B"));
        auto* list = control<QListWidget>(*window, "CheckListBox1");
        list->setCurrentRow(0);
        control<QLineEdit>(*window, "Edit1")->setText(QStringLiteral("typed"));
        QTest::keyClick(list, 'z');
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(control<QLineEdit>(*window, "Edit1")->text(), QStringLiteral("alpha"));
    }

    void editor_follows_the_window_size_and_keeps_the_splitter_limits()
    {
        control<QTabWidget>(*window, "PageControl1")->setCurrentIndex(1);
        auto* save_button = control<QPushButton>(*window, "Button1");
        auto* name_edit = control<QLineEdit>(*window, "Edit1");
        auto* help_button = control<QPushButton>(*window, "Button4");
        auto* splitter = control<QSplitter>(*window, "Splitter1");
        const QRect save = save_button->geometry();
        const QRect name = name_edit->geometry();
        const QPoint help = help_button->pos();
        window->resize(window->size() + QSize(100, 60));
        QTRY_COMPARE(save_button->geometry(), save.translated(100, 60));
        QCOMPARE(name_edit->geometry(), name.adjusted(0, 0, 100, 0));
        QCOMPARE(help_button->pos(), help + QPoint(0, 60));
        splitter->setSizes({0, 10000});
        // The form's 150 pixels, or as much as the box's title takes in the font at hand.
        auto* saved_alerts = control<QGroupBox>(*window, "GroupBox1");
        QCOMPARE(saved_alerts->width(), std::max(150, platform::text_width_needed(saved_alerts)));
        splitter->setSizes({10000, 0});
        QCOMPARE(control<QGroupBox>(*window, "GroupBox2")->width(), 168);
    }
};

QTEST_MAIN(TestAlerts)
#include "test_alerts.moc"
