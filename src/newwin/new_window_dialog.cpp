// The New window dialog: its controls as the form lays them out, and its handlers.

#include "newwin/new_window_dialog.h"

#include "config/window_config.h"
#include "help/helpsys.h"
#include "newwin/port_mask_edit.h"
#include "newwin/security_dialog.h"
#include "newwin/text_trim.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"
#include "platform/int_conversion.h"
#include "platform/message_box.h"
#include "platform/text_fit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>

#include <optional>

namespace newwin {

using platform::place;
using platform::place_label;

namespace {

// The rows of "&Protocol:" and "Only &this computer may send" below the command push the
// buttons under the group down by this much.
constexpr int row_height = 24;
constexpr int rows_below_command = 2 * row_height;

void show_error(const char* text, const char* caption)
{
    platform::show_message(QString::fromUtf8(text), QString::fromUtf8(caption),
                           platform::MessageIcon::Error);
}

}  // namespace

NewWindowDialog::NewWindowDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("New vesmira window"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(platform::interface_font(10));
    setFixedSize(406, 251 + rows_below_command);
    help::set_help_context(this, help::context_new_window_dialog);

    // Widgets join the focus chain as they are created, so they are created in tab order:
    // ok_button, the group's controls, cancel_button, help_button. (With Qt 6.4,
    // QWidget::setTabOrder dropped widgets from the chain next to the editable combo box's inner
    // line edit.)
    ok_button = place(new QPushButton(QStringLiteral("&OK"), this), "Button1", 235, 221 + rows_below_command, 80, 24);
    port_group = place(new QGroupBox(QStringLiteral(" Port to listen on "), this), "GroupBox1", 7, 7, 394,
                       208 + rows_below_command);
    preconfigured_radio = place(new QRadioButton(QStringLiteral("Pre-Configured: "), port_group), "RadioButton1",
                                7, 26, 91, 14);
    config_name_combo = place(new QComboBox(port_group), "ComboBox1", 22, 46, 270, 21);
    // The text is exactly what the user typed or picked: no completion inserting text of its
    // own (it would fill in another configuration while a new name is typed), and Enter never
    // adds the text to the list, which only ever shows stored names.
    config_name_combo->setEditable(true);
    config_name_combo->setInsertPolicy(QComboBox::NoInsert);
    config_name_combo->setCompleter(nullptr);
    new_radio = place(new QRadioButton(QStringLiteral("New:"), port_group), "RadioButton2", 7, 78, 52, 14);
    new_name_edit = place(new QLineEdit(port_group), "Edit1", 22, 98, 268, 21);
    separator = place(new QFrame(port_group), "Panel1", 13, 130, 274, 2);
    port_label = place_label(new QLabel(QStringLiteral("Port number: "), port_group), "Label1", 20, 155);
    port_edit = place(new PortMaskEdit(port_group), "MaskEdit1", 91, 152, 46, 21);
    save_button = place(new QPushButton(QStringLiteral("&Save"), port_group), "Button3", 306, 178, 80, 24);
    command_label = place_label(new QLabel(QStringLiteral("Command: "), port_group), "Label2", 20, 182);
    command_edit = place(new QLineEdit(port_group), "Edit2", 91, 177, 202, 21);
    protocol_label = place_label(new QLabel(QStringLiteral("&Protocol:"), port_group), "protocol_label", 20,
                                 177 + row_height + 4);
    protocol_combo = place(new QComboBox(port_group), "protocol_combo", 91, 177 + row_height, 202, 21);
    protocol_combo->addItem(QStringLiteral("Text lines over TCP"), QVariant::fromValue(net::Protocol::lines));
    protocol_combo->addItem(QStringLiteral("Syslog over UDP and TCP"), QVariant::fromValue(net::Protocol::syslog));
    protocol_combo->addItem(QStringLiteral("Syslog over TLS"), QVariant::fromValue(net::Protocol::syslog_tls));
    protocol_label->setBuddy(protocol_combo);
    help::set_help_context(protocol_combo, help::context_syslog);
    security_button = place(new QPushButton(QStringLiteral("S&ecurity..."), port_group), "security_button", 306,
                            177 + row_height + 4, 80, 24);
    local_only_check_box = place(new QCheckBox(QStringLiteral("Only &this computer may send"), port_group),
                                 "CheckBox1", 91, 177 + rows_below_command + 2, 202, 17);
    remove_button = place(new QPushButton(QStringLiteral("Remove"), port_group), "Button5", 306, 44, 80, 24);
    cancel_button =
        place(new QPushButton(QStringLiteral("&Cancel"), this), "Button2", 320, 221 + rows_below_command, 80, 24);
    help_button = place(new QPushButton(QStringLiteral("&Help"), this), "Button4", 7, 221 + rows_below_command, 80, 24);

    preconfigured_radio->setChecked(true);
    new_name_edit->setEnabled(false);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    ok_button->setDefault(true);

    // toggled, not clicked: arrow keys move the check between the radio buttons too.
    connect(preconfigured_radio, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            preconfigured_checked();
    });
    connect(new_radio, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            new_checked();
    });
    connect(config_name_combo, &QComboBox::editTextChanged, this, [this] { config_name_changed(); });
    port_edit->OnChange = [this] { port_changed(); };
    connect(save_button, &QPushButton::clicked, this, [this] { save_clicked(); });
    connect(help_button, &QPushButton::clicked, this, [this] { help_clicked(); });
    connect(security_button, &QPushButton::clicked, this, [this] { security_clicked(); });
    connect(remove_button, &QPushButton::clicked, this, [this] { remove_clicked(); });
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
    platform::fit_text(this);
}

void NewWindowDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        center_on_screen();
        dialog_shown();
    }
}

void NewWindowDialog::center_on_screen()
{
    const QScreen* target = parentWidget() ? parentWidget()->screen() : screen();
    if (!target)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

void NewWindowDialog::dialog_shown()
{
    platform::guarded([this] { load_config_names(); });
}

void NewWindowDialog::load_config_names()
{
    if (const std::optional<QStringList> names = config::read_config_names())
        replace_list_silently(*names);
}

void NewWindowDialog::replace_list_silently(const QStringList& names)
{
    const QString text = config_name_combo->currentText();
    const QSignalBlocker blocker(config_name_combo);
    config_name_combo->clear();
    config_name_combo->addItems(names);
    // Adding to an empty list selects its first item and shows that item's text; undo both.
    config_name_combo->setCurrentIndex(-1);
    config_name_combo->setEditText(text);
}

void NewWindowDialog::remove_list_items_silently(const QString& name)
{
    const QString text = config_name_combo->currentText();
    const QSignalBlocker blocker(config_name_combo);
    for (int index = config_name_combo->count() - 1; index >= 0; --index) {
        if (!config::same_name(config_name_combo->itemText(index), name))
            continue;
        const bool was_selected = index == config_name_combo->currentIndex();
        config_name_combo->removeItem(index);
        // Qt would select the next item and show its text.
        if (was_selected)
            config_name_combo->setCurrentIndex(-1);
    }
    if (config_name_combo->currentText() != text)
        config_name_combo->setEditText(text);
}

void NewWindowDialog::preconfigured_checked()
{
    platform::guarded([this] {
        new_name_edit->setEnabled(false);
        config_name_combo->setEnabled(true);
    });
}

void NewWindowDialog::new_checked()
{
    platform::guarded([this] {
        config_name_combo->setEnabled(false);
        new_name_edit->setEnabled(true);
    });
}

void NewWindowDialog::config_name_changed()
{
    platform::guarded([this] {
        const QString name = config_name_combo->currentText();
        if (name.isEmpty())
            return;
        // Everything is read before anything is shown, so a failing port read changes nothing.
        // A command the store holds with another type leaves the one shown.
        config::WindowConfiguration shown;
        shown.command = command_edit->text();
        put_senders(shown);
        const std::optional<config::WindowConfiguration> stored =
            config::read_window_configuration(name, config::Reading::to_show, shown);
        if (!stored)
            return;
        port_set_by_selection = true;
        port_edit->SetText(QString::number(stored->port));
        command_edit->setText(stored->command);
        local_only_check_box->setChecked(stored->local_only);
        show_protocol(stored->protocol);
        hold_senders(*stored);
    });
}

config::WindowConfiguration NewWindowDialog::shown_configuration(std::int32_t port) const
{
    config::WindowConfiguration shown;
    shown.port = port;
    shown.command = command_edit->text();
    shown.local_only = local_only_check_box->isChecked();
    shown.protocol = protocol_combo->currentData().value<net::Protocol>();
    put_senders(shown);
    return shown;
}

void NewWindowDialog::hold_senders(const config::WindowConfiguration& configuration)
{
    allow_from = configuration.allow_from;
    tls_auth = configuration.tls_auth;
    tls_ca = configuration.tls_ca;
    tls_fingerprints = configuration.tls_fingerprints;
}

void NewWindowDialog::put_senders(config::WindowConfiguration& configuration) const
{
    configuration.allow_from = allow_from;
    configuration.tls_auth = tls_auth;
    configuration.tls_ca = tls_ca;
    configuration.tls_fingerprints = tls_fingerprints;
}

void NewWindowDialog::show_protocol(net::Protocol protocol)
{
    protocol_combo->setCurrentIndex(protocol_combo->findData(QVariant::fromValue(protocol)));
}

void NewWindowDialog::port_changed()
{
    platform::guarded([this] {
        if (port_set_by_selection) {
            port_set_by_selection = false;
            return;
        }
        port_edited = true;
    });
}

void NewWindowDialog::save_clicked()
{
    platform::guarded([this] {
        const QString port_text = trim_blanks(port_edit->Text());
        if (port_text.isEmpty()) {
            show_error("You really need to enter a port-number.", "Sorry");
            return;
        }
        const std::int32_t port = platform::str_to_int(port_text.toStdString());

        QString name;
        if (preconfigured_radio->isChecked()) {
            name = config_name_combo->currentText();
            // Backslashes alone would name the configs key itself, not a configuration.
            if (config::names_no_config(name)) {
                show_error("Select a pre-configured entry first to change it.", "Error");
                return;
            }
        } else {
            name = new_name_edit->text();
            if (config::names_no_config(name)) {
                show_error("Enter a name for the config entry.", "Error");
                return;
            }
        }

        config::write_window_configuration(name, shown_configuration(port));
        port_edited = false;
        load_config_names();
    });
}

void NewWindowDialog::help_clicked()
{
    platform::guarded([] { help::show_help_context(help::context_new_window_dialog); });
}

void NewWindowDialog::security_clicked()
{
    platform::guarded([this] {
        SecurityDialog security(trim_blanks(port_edit->Text()), allow_from, this);
        security.show_tls_senders(tls_auth, tls_ca, tls_fingerprints);
        security.set_tls(protocol_combo->currentData().value<net::Protocol>() == net::Protocol::syslog_tls);
        if (security.exec() != QDialog::Accepted)
            return;
        allow_from = security.accept_from();
        tls_auth = security.tls_auth();
        tls_ca = security.tls_ca();
        tls_fingerprints = security.tls_fingerprints();
    });
}

void NewWindowDialog::remove_clicked()
{
    platform::guarded([this] {
        const QString name = config_name_combo->currentText();
        if (name.isEmpty())
            return;
        const platform::MessageAnswer answer = platform::show_message(
            QStringLiteral("Are you sure you want to remove the preconfigured\r\nentry ") + name
                + QStringLiteral("?"),
            QStringLiteral("Question"), platform::MessageIcon::Question);
        if (answer != platform::MessageAnswer::Yes)
            return;
        config::remove_window_configuration(name);
        // The list loses the entry named by the text, not whichever item happens to be
        // selected: a typed name leaves an earlier selection in place.
        remove_list_items_silently(name);
    });
}

}  // namespace newwin
