// The New window dialog and the New action, driven through the dialog's controls with a real
// store file in a temporary configuration folder.

#include "help/helpsys.h"
#include "help/helpsys_funcs.h"
#include "newwin/new_action.h"
#include "newwin/port_mask_edit.h"
#include "newwin/new_window_dialog.h"
#include "platform/message_box.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <optional>

using namespace newwin;
using platform::MessageAnswer;
using platform::MessageIcon;

namespace {

void put_config(const std::string& name, std::optional<int> port, std::optional<std::string> command)
{
    store::TRegistry registry;
    QVERIFY(registry.OpenKey(store::config_key(name), true));
    if (port)
        registry.WriteInteger(store::port_value, *port);
    if (command)
        registry.WriteString(store::command_value, *command);
}

bool key_exists(const std::string& path)
{
    return store::TRegistry().OpenKey(path, false);
}

QStringList stored_names()
{
    std::vector<std::string> names;
    store::TRegistry registry;
    if (registry.OpenKey(store::configs_key, false))
        registry.GetKeyNames(names);
    QStringList list;
    for (const std::string& name : names)
        list.append(QString::fromStdString(name));
    return list;
}

// "port|command" as stored, or "none".
QString stored(const std::string& name)
{
    store::TRegistry registry;
    if (!registry.OpenKey(store::config_key(name), false))
        return QStringLiteral("none");
    return QString::number(registry.ReadInteger(store::port_value)) + QLatin1Char('|')
        + QString::fromStdString(registry.ReadString(store::command_value));
}

// The configuration's "localonly" and "protocol" as stored: "1|syslog"; "missing" for either
// that isn't there.
QString stored_local_only(const std::string& name)
{
    store::TRegistry registry;
    registry.OpenKey(store::config_key(name), false);
    QString local_only = QStringLiteral("missing");
    try {
        local_only = QString::number(registry.ReadInteger(store::local_only_value));
    } catch (const store::ERegistryException&) {
    }
    const std::string protocol = registry.ReadString(store::protocol_value);
    return local_only + QLatin1Char('|') + (protocol.empty() ? QStringLiteral("missing") : QString::fromStdString(protocol));
}

QString unsaved(int port, const QString& port_text, const QString& command)
{
    return QStringLiteral("%1|unsaved||LOG: Receiving on port %2|%3|on port %2, but not saved yet.")
        .arg(port).arg(port_text, command);
}

QString saved(int port, const QString& name, const QString& command)
{
    return QStringLiteral("%1|saved|%2|LOG: %2|%3|%2").arg(port).arg(name, command);
}

}  // namespace

class TestNewWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> config_dir;
    std::unique_ptr<NewWindowDialog> dialog;
    QStringList boxes;  // "text|caption|icon"
    MessageAnswer question_answer = MessageAnswer::Yes;
    QStringList calls;  // open_log_window calls, as unsaved() and saved() spell them

    template <typename Widget = QWidget>
    Widget* control(const char* name)
    {
        auto* widget = dialog->findChild<Widget*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QComboBox* combo() { return control<QComboBox>("ComboBox1"); }
    PortMaskEdit* port() { return control<PortMaskEdit>("MaskEdit1"); }
    QLineEdit* command() { return control<QLineEdit>("Edit2"); }
    QStringList list() const
    {
        QStringList items;
        auto* box = dialog->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
        for (int i = 0; i < box->count(); ++i)
            items.append(box->itemText(i));
        return items;
    }

    // Shown active, so that focus-dependent editing (completion, F1) behaves as on a desktop.
    void show_dialog()
    {
        dialog->show();
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    }
    void click(const char* name) { QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton); }
    // Types over what the field shows, from `position` on.
    void type_port(const QString& digits, int position = 0)
    {
        port()->setFocus();
        port()->setCursorPosition(position);
        QTest::keyClicks(port(), digits);
    }
    // Replaces the whole text of a line edit (the combo box's text part included) by typing.
    void retype(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void type_name(const QString& text) { retype(combo()->lineEdit(), text); }
    // Opens the list and clicks the item.
    void pick(const QString& name)
    {
        const int index = combo()->findText(name);
        QVERIFY2(index >= 0, qPrintable(name));
        combo()->showPopup();
        QAbstractItemView* view = combo()->view();
        QTRY_VERIFY(view->isVisible());
        const QModelIndex item = view->model()->index(index, 0);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(combo()->currentText(), name);
    }

    // Runs the New action; `while_shown` acts on the modal dialog. A dialog it leaves open is
    // cancelled so that a failing check never hangs the test.
    void run_new(const std::function<void()>& while_shown)
    {
        QTimer::singleShot(0, dialog.get(), [&] {
            while_shown();
            if (dialog->isVisible())
                dialog->reject();
        });
        run_new_action(*dialog, [this](const config::WindowConfiguration& shown, const QString& name,
                                       const config::WindowTitles& titles) {
            calls.append(QStringLiteral("%1|%2|%3|%4|%5|%6")
                             .arg(shown.port)
                             .arg(name.isEmpty() ? "unsaved" : "saved", name, titles.caption, shown.command,
                                  titles.label)
                         + (shown.local_only ? QStringLiteral("|local only") : QString())
                         + (shown.protocol == net::Protocol::syslog ? QStringLiteral("|syslog") : QString()));
        });
    }
    void press_ok()
    {
        run_new([this] { click("Button1"); });
    }

private Q_SLOTS:
    void init()
    {
        config_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(config_dir->isValid());
        qputenv("XDG_CONFIG_HOME", config_dir->path().toLocal8Bit());
        boxes.clear();
        calls.clear();
        question_answer = MessageAnswer::Yes;
        platform::set_message_box_handler([this](const QString& text, const QString& caption, MessageIcon icon) {
            boxes.append(text + QLatin1Char('|') + caption + QLatin1Char('|') + QString::number(int(icon)));
            return icon == MessageIcon::Question ? question_answer : MessageAnswer::Ok;
        });
        dialog = std::make_unique<NewWindowDialog>();  // a freshly started program
    }

    void cleanup()
    {
        dialog.reset();
        platform::set_message_box_handler({});
        config_dir.reset();
    }

    void form_starts_as_created_and_tabs_in_order()
    {
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QVERIFY(control<QPushButton>("Button1")->isDefault());
        QVERIFY(control<QRadioButton>("RadioButton1")->isChecked());
        QVERIFY(combo()->isEnabled() && combo()->isEditable());
        QVERIFY(!control("Edit1")->isEnabled());
        QCOMPARE(port()->Text(), QStringLiteral("     "));
        QVERIFY(!dialog->port_edited && !dialog->port_set_by_selection);

        const QStringList expected{"Button1", "RadioButton1", "ComboBox1", "RadioButton2", "Edit1", "MaskEdit1",
                                   "Button3", "Edit2",        "Button5",   "Button2",      "Button4"};
        QStringList order;
        QWidget* widget = control("Button1");
        do {
            const QString name = widget->parentWidget() == combo() ? combo()->objectName() : widget->objectName();
            if (expected.contains(name) && !order.contains(name))
                order.append(name);
            widget = widget->nextInFocusChain();
        } while (widget != control("Button1"));
        QCOMPARE(order, expected);

        show_dialog();
        const QPoint offset = dialog->frameGeometry().center() - dialog->screen()->availableGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, "opens centred on the screen");
    }

    void ok_opens_unsaved_window_for_typed_port_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("expected");
        QTest::newRow("80 in the first two positions") << "80" << 0 << unsaved(80, "80   ", "ssh -L 1:h:2");
        QTest::newRow("80 in the middle") << "80" << 2 << unsaved(80, "  80 ", "ssh -L 1:h:2");
        QTest::newRow("five digits") << "99999" << 0 << unsaved(99999, "99999", "ssh -L 1:h:2");
        QTest::newRow("empty port field") << "" << 0 << "Can't connect without a port number.|Gross|0";
        QTest::newRow("blank between digits") << "8 0" << 1 << "'8 0' ist kein gültiger Integerwert.|Vesmira|0";
    }

    void ok_opens_unsaved_window_for_typed_port()
    {
        QFETCH(QString, digits);
        QFETCH(int, position);
        QFETCH(QString, expected);
        run_new([&] {
            type_port(digits, position);
            retype(command(), QStringLiteral("  ssh -L 1:h:2 \t"));
            click("Button1");
        });
        QCOMPARE(calls + boxes, QStringList{expected});
    }

    void enter_and_escape_close_the_dialog()
    {
        put_config("web", 80, "");
        run_new([&] {
            type_port(QStringLiteral("81"));
            QTest::keyClick(port(), Qt::Key_Return);
        });
        run_new([&] {
            type_name(QStringLiteral("not stored"));
            QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
        });
        QCOMPARE(list(), QStringList{"web"});  // Enter added nothing to the list
        run_new([&] { QTest::keyClick(port(), Qt::Key_Escape); });
        run_new([&] { click("Button2"); });
        QCOMPARE(calls, QStringList(2, unsaved(81, "81   ", "")));
        QVERIFY(boxes.isEmpty());
    }

    void selecting_a_configuration_opens_it_saved()
    {
        put_config("other", 1234, "x");
        put_config("web", 8080, " tail -f log ");
        run_new([&] {
            QCOMPARE(list(), (QStringList{"other", "web"}));
            QCOMPARE(combo()->currentText(), QString());  // loading the list selects nothing
            pick(QStringLiteral("web"));
            QCOMPARE(port()->Text(), QStringLiteral("8080 "));
            QCOMPARE(command()->text(), QStringLiteral(" tail -f log "));
            QVERIFY(!dialog->port_edited && !dialog->port_set_by_selection);
            click("Button1");
        });
        QCOMPARE(calls, QStringList{saved(8080, "web", "tail -f log")});
    }

    void typing_a_stored_name_fills_the_fields()
    {
        put_config("web", 80, "cmd");
        show_dialog();
        retype(command(), QStringLiteral("mine"));
        type_name(QStringLiteral("we"));
        QCOMPARE(port()->Text() + command()->text(), QStringLiteral("     mine"));
        QTest::keyClicks(combo()->lineEdit(), QStringLiteral("b"));
        QCOMPARE(port()->Text() + command()->text(), QStringLiteral("80   cmd"));
        QTest::keyClicks(combo()->lineEdit(), QStringLiteral("2"));  // no such name: fields stay
        QCOMPARE(port()->Text() + command()->text(), QStringLiteral("80   cmd"));
        QVERIFY(!dialog->port_edited);
    }

    void selecting_the_port_already_shown_absorbs_the_next_change()
    {
        put_config("a", 80, "ca");
        put_config("b", 80, "cb");
        show_dialog();
        pick(QStringLiteral("a"));
        QVERIFY(!dialog->port_set_by_selection);
        pick(QStringLiteral("b"));  // the field already shows 80: no change to absorb yet
        QCOMPARE(command()->text(), QStringLiteral("cb"));
        QVERIFY(dialog->port_set_by_selection);
        type_port(QStringLiteral("1"), 2);
        QVERIFY(!dialog->port_set_by_selection && !dialog->port_edited);
        type_port(QStringLiteral("2"), 3);
        QVERIFY(dialog->port_edited);
    }

    void selection_after_typing_keeps_the_port_edited()
    {
        put_config("a", 80, "ca");
        put_config("b", 81, "cb");
        run_new([&] {
            pick(QStringLiteral("a"));
            type_port(QStringLiteral("9"), 1);
            QVERIFY(dialog->port_edited);
            pick(QStringLiteral("b"));
            QVERIFY(dialog->port_edited && !dialog->port_set_by_selection);
            click("Button1");
        });
        QCOMPARE(calls, QStringList{unsaved(81, "81   ", "cb")});
    }

    void selecting_reads_what_is_stored_data()
    {
        QTest::addColumn<bool>("has_port");
        QTest::addColumn<int>("command_kind");  // 0 none, 1 string, 2 integer
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("reported");
        QTest::newRow("port and command") << true << 1 << "443  |stored" << QStringList();
        QTest::newRow("no command empties the field") << true << 0 << "443  |" << QStringList();
        QTest::newRow("command of another type keeps the field") << true << 2 << "443  |typed" << QStringList();
        QTest::newRow("no port changes nothing")
            << false << 1 << "7    |typed" << QStringList{"Konnte Daten für '' nicht holen.|Vesmira|0"};
    }

    void selecting_reads_what_is_stored()
    {
        QFETCH(bool, has_port);
        QFETCH(int, command_kind);
        QFETCH(QString, shown);
        QFETCH(QStringList, reported);
        put_config("cfg", has_port ? std::optional<int>(443) : std::nullopt,
                   command_kind == 1 ? std::optional<std::string>("stored") : std::nullopt);
        if (command_kind == 2) {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::config_key("cfg"), false));
            registry.WriteInteger(store::command_value, 5);
        }
        show_dialog();
        type_port(QStringLiteral("7"));
        retype(command(), QStringLiteral("typed"));
        dialog->port_edited = false;
        pick(QStringLiteral("cfg"));
        QCOMPARE(port()->Text() + QLatin1Char('|') + command()->text(), shown);
        QVERIFY(!dialog->port_set_by_selection && !dialog->port_edited);
        QCOMPARE(boxes, reported);
    }

    void save_refuses_what_it_cannot_store_data()
    {
        QTest::addColumn<bool>("new_mode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty port") << false << "web" << "" << "You really need to enter a port-number.|Sorry|0";
        QTest::newRow("blank between digits") << false << "web" << "8 0" << "'8 0' ist kein gültiger Integerwert.|Vesmira|0";
        QTest::newRow("no entry") << false << "" << "80" << "Select a pre-configured entry first to change it.|Error|0";
        QTest::newRow("no new name") << true << "" << "80" << "Enter a name for the config entry.|Error|0";
        // The store reads backslashes as level separators: this names the configs key itself.
        QTest::newRow("backslashes only") << true << "\\\\" << "80" << "Enter a name for the config entry.|Error|0";
        QTest::newRow("port checked first") << true << "" << "" << "You really need to enter a port-number.|Sorry|0";
    }

    void save_refuses_what_it_cannot_store()
    {
        QFETCH(bool, new_mode);
        QFETCH(QString, name);
        QFETCH(QString, digits);
        QFETCH(QString, message);
        show_dialog();
        if (new_mode)
            click("RadioButton2");
        retype(new_mode ? control<QLineEdit>("Edit1") : combo()->lineEdit(), name);
        type_port(digits, 1);
        const bool edited = dialog->port_edited;
        click("Button3");
        QCOMPARE(boxes, QStringList{message});
        QVERIFY(!key_exists(store::configs_key));
        QCOMPARE(dialog->port_edited, edited);
    }

    void save_in_new_mode_stores_under_the_typed_name()
    {
        put_config("web", 80, "w");
        show_dialog();
        click("RadioButton2");
        retype(control<QLineEdit>("Edit1"), QStringLiteral(" "));
        type_port(QStringLiteral("8"));
        retype(command(), QStringLiteral("  run  me "));
        click("Button3");
        QVERIFY(boxes.isEmpty());
        QCOMPARE(stored(" "), QStringLiteral("8|  run  me "));
        QCOMPARE(list(), (QStringList{"web", " "}));
        QVERIFY(!dialog->port_edited);
        // Save changes no control.
        QVERIFY(control<QRadioButton>("RadioButton2")->isChecked());
        QCOMPARE(combo()->currentText(), QString());
        QCOMPARE(combo()->currentIndex(), -1);
        dialog->hide();

        // The combo box names no stored configuration: the window opens unsaved.
        press_ok();
        // It names one: that configuration's window opens, with the port and command shown.
        run_new([&] {
            click("RadioButton1");
            type_name(QStringLiteral("web"));
            type_port(QStringLiteral("9"), 1);
            click("RadioButton2");
            retype(control<QLineEdit>("Edit1"), QStringLiteral("other"));
            click("Button3");
            click("Button1");
        });
        QCOMPARE(calls, (QStringList{unsaved(8, "8    ", "run  me"), saved(89, "web", "w")}));
        QCOMPARE(stored("other"), QStringLiteral("89|w"));
    }

    void save_in_preconfigured_mode_creates_or_overwrites()
    {
        put_config("web", 80, "old");
        show_dialog();
        pick(QStringLiteral("web"));
        type_port(QStringLiteral("81"));
        retype(command(), QStringLiteral("new"));
        click("Button3");
        QCOMPARE(stored("web"), QStringLiteral("81|new"));
        QVERIFY(!dialog->port_edited);

        // A typed name not stored yet becomes a configuration; reloading the list afterwards
        // neither changes the text nor runs the selection again.
        type_name(QStringLiteral("fresh"));
        type_port(QStringLiteral("9"), 2);
        retype(command(), QStringLiteral(" a  b "));
        click("Button3");
        QVERIFY(boxes.isEmpty());
        QCOMPARE(stored("fresh"), QStringLiteral("819| a  b "));
        QCOMPARE(list(), (QStringList{"web", "fresh"}));
        QCOMPARE(combo()->currentText(), QStringLiteral("fresh"));
        QVERIFY(!dialog->port_edited && !dialog->port_set_by_selection);

        pick(QStringLiteral("web"));
        pick(QStringLiteral("fresh"));
        QCOMPARE(port()->Text() + command()->text(), QStringLiteral("819   a  b "));
        dialog->hide();
        press_ok();
        QCOMPARE(calls, QStringList{saved(819, "fresh", "a  b")});
    }

    void sender_restriction_and_protocol_are_saved_read_and_opened()
    {
        put_config("older", 80, "");  // saved before there was a choice
        const QString local_only = QStringLiteral("|local only");
        const QString syslog = QStringLiteral("|syslog");
        auto* protocol = control<QComboBox>("protocol_combo");
        run_new([&] {
            QVERIFY(!control<QCheckBox>("CheckBox1")->isChecked());
            QCOMPARE(protocol->currentText(), QStringLiteral("Text lines over TCP"));
            click("RadioButton2");
            retype(control<QLineEdit>("Edit1"), QStringLiteral("mine"));
            type_port(QStringLiteral("514"));
            click("CheckBox1");
            protocol->setCurrentIndex(protocol->findText(QStringLiteral("Syslog over UDP and TCP")));
            click("Button3");
            QCOMPARE(stored_local_only("mine"), QStringLiteral("1|syslog"));
            QCOMPARE(stored_local_only("older"), QStringLiteral("missing|missing"));

            click("RadioButton1");
            pick(QStringLiteral("older"));
            QVERIFY(!control<QCheckBox>("CheckBox1")->isChecked());
            QCOMPARE(protocol->currentText(), QStringLiteral("Text lines over TCP"));
            pick(QStringLiteral("mine"));
            QVERIFY(control<QCheckBox>("CheckBox1")->isChecked());
            QCOMPARE(protocol->currentText(), QStringLiteral("Syslog over UDP and TCP"));
            click("Button1");
        });
        // Shown, not stored, decides, for an unsaved window and for a change not saved yet.
        run_new([&] {
            type_port(QStringLiteral("515"));
            click("Button1");
        });
        run_new([&] {
            pick(QStringLiteral("older"));
            pick(QStringLiteral("mine"));
            click("CheckBox1");
            dialog->port_edited = false;
            click("Button1");
        });
        QCOMPARE(stored_local_only("mine"), QStringLiteral("1|syslog"));
        // Saving with the box cleared takes the restriction away again.
        run_new([&] {
            click("Button3");
            QCOMPARE(stored_local_only("mine"), QStringLiteral("0|syslog"));
            pick(QStringLiteral("older"));
            click("CheckBox1");
            pick(QStringLiteral("mine"));
            QVERIFY(!control<QCheckBox>("CheckBox1")->isChecked());
        });
        QCOMPARE(calls, (QStringList{saved(514, "mine", "") + local_only + syslog,
                                     unsaved(515, "515  ", "") + local_only + syslog, saved(514, "mine", "") + syslog}));
    }

    void remove_data()
    {
        QTest::addColumn<QString>("selected");  // picked from the list first
        QTest::addColumn<QString>("typed");     // then typed over
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");  // in the store and in the list afterwards
        const QStringList all{"a", "b", "c"};
        QTest::newRow("selected item") << "b" << "" << true << QStringList{"a", "c"};
        QTest::newRow("answered no") << "b" << "" << false << all;
        QTest::newRow("typed name, none selected") << "" << "c" << true << QStringList{"a", "b"};
        QTest::newRow("typed name, another selected") << "a" << "c" << true << QStringList{"a", "b"};
        QTest::newRow("typed in other letter case") << "" << "B" << true << QStringList{"a", "c"};
        QTest::newRow("typed name not stored") << "a" << "zz" << true << all;
        QTest::newRow("backslashes only") << "" << "\\" << true << all;
        QTest::newRow("empty text: no question") << "" << "" << true << all;
    }

    void remove()
    {
        QFETCH(QString, selected);
        QFETCH(QString, typed);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        for (const char* name : {"a", "b", "c"}) {
            put_config(name, 1, "x");
            QVERIFY(store::TRegistry().OpenKey(store::alert_key(name, "disk full"), true));
        }
        question_answer = yes ? MessageAnswer::Yes : MessageAnswer::No;
        show_dialog();
        if (!selected.isEmpty())
            pick(selected);
        if (!typed.isEmpty())
            type_name(typed);
        const QString name = combo()->currentText();

        click("RadioButton2");  // Remove doesn't look at the mode
        click("Button5");
        const QString question = "Are you sure you want to remove the preconfigured\r\nentry " + name + "?|Question|2";
        QCOMPARE(boxes, name.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(stored_names(), left);
        QCOMPARE(list(), left);
        QCOMPARE(combo()->currentText(), name);
        if (!selected.isEmpty() && !left.contains(selected))
            QCOMPARE(combo()->currentIndex(), -1);  // no other item takes the removed one's place
        for (const char* other : {"a", "b", "c"})
            QCOMPARE(key_exists(store::alerts_key(other)), left.contains(QLatin1String(other)));
    }

    void fields_are_kept_between_uses()
    {
        put_config("web", 80, "cmd");
        run_new([&] {
            QCOMPARE(list(), QStringList{"web"});
            pick(QStringLiteral("web"));
            type_port(QStringLiteral("1"), 2);
            click("RadioButton2");
            QVERIFY(!combo()->isEnabled() && control("Edit1")->isEnabled());
            retype(control<QLineEdit>("Edit1"), QStringLiteral("draft"));
            click("Button2");
        });
        put_config("later", 5, "");
        run_new([&] {
            QCOMPARE(list(), (QStringList{"web", "later"}));
            QCOMPARE(combo()->currentText(), QStringLiteral("web"));
            QVERIFY(control<QRadioButton>("RadioButton2")->isChecked() && !combo()->isEnabled());
            QCOMPARE(control<QLineEdit>("Edit1")->text(), QStringLiteral("draft"));
            QCOMPARE(port()->Text() + command()->text(), QStringLiteral("801  cmd"));
            QVERIFY(dialog->port_edited);
            click("RadioButton1");  // switching modes changes no text and no flag
            QVERIFY(combo()->isEnabled() && !control("Edit1")->isEnabled());
            QCOMPARE(port()->Text() + command()->text(), QStringLiteral("801  cmd"));
            QVERIFY(dialog->port_edited && !dialog->port_set_by_selection);
            click("Button1");
        });
        QCOMPARE(calls, QStringList{unsaved(801, "801  ", "cmd")});
    }

    // The protocol box asks for the syslog topic, which explains what it chooses.
    void help_button_and_f1_ask_for_the_dialogs_topic_and_the_protocols()
    {
        QTemporaryDir run_dir;
        QVERIFY(run_dir.isValid());
        help::initialize_help(run_dir.path());
        help::set_viewer_installed_for_testing(false);
        {
            help::THookHelpSystem help_system(QStringLiteral("vesmira.chm"), QString(), 0);
            show_dialog();
            click("Button4");
            command()->setFocus();
            QTest::keyClick(command(), Qt::Key_F1);
            control("protocol_combo")->setFocus();
            QTest::keyClick(control("protocol_combo"), Qt::Key_F1);
        }
        QFile log(help::debug_log_path());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        const QString request = QStringLiteral("HHHelpContext(\"vesmira.chm\", 1500, \"\", 0)");
        const qsizetype button_request = text.indexOf(request);
        const qsizetype hook = text.indexOf(QStringLiteral("THookHelpSystem.HelpHook(1, 1500)"));
        QVERIFY2(button_request >= 0 && hook > button_request, qPrintable(text));
        QVERIFY2(text.indexOf(request, hook) > hook, qPrintable(text));
        QVERIFY2(text.indexOf(QStringLiteral("THookHelpSystem.HelpHook(1, 2100)"), hook) > hook, qPrintable(text));
        QCOMPARE(boxes.size(), 3);  // no viewer here: one warning per request
    }
};

QTEST_MAIN(TestNewWindow)
#include "test_newwin.moc"
