// The New window dialog: its controls as the form lays them out, and its handlers.

#include "newwin/new_window_dialog.h"

#include "config/window_config.h"
#include "help/helpsys.h"
#include "newwin/port_mask_edit.h"
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

// The row of "Only &this computer may send" below the command pushes the buttons under the
// group down by this much.
constexpr int local_only_row = 24;

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
    setFixedSize(406, 251 + local_only_row);
    help::set_help_context(this, help::context_new_window_dialog);

    // Widgets join the focus chain as they are created, so they are created in tab order:
    // Button1, the group's controls, Button2, Button4. (With Qt 6.4, QWidget::setTabOrder
    // dropped widgets from the chain next to the editable combo box's inner line edit.)
    Button1 = place(new QPushButton(QStringLiteral("&OK"), this), "Button1", 235, 221 + local_only_row, 80, 24);
    GroupBox1 = place(new QGroupBox(QStringLiteral(" Port to listen on "), this), "GroupBox1", 7, 7, 394,
                      208 + local_only_row);
    RadioButton1 = place(new QRadioButton(QStringLiteral("Pre-Configured: "), GroupBox1), "RadioButton1",
                         7, 26, 91, 14);
    ComboBox1 = place(new QComboBox(GroupBox1), "ComboBox1", 22, 46, 270, 21);
    // The text is exactly what the user typed or picked: no completion inserting text of its
    // own (it would fill in another configuration while a new name is typed), and Enter never
    // adds the text to the list, which only ever shows stored names.
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setCompleter(nullptr);
    RadioButton2 = place(new QRadioButton(QStringLiteral("New:"), GroupBox1), "RadioButton2", 7, 78, 52, 14);
    Edit1 = place(new QLineEdit(GroupBox1), "Edit1", 22, 98, 268, 21);
    Panel1 = place(new QFrame(GroupBox1), "Panel1", 13, 130, 274, 2);
    Label1 = place_label(new QLabel(QStringLiteral("Port number: "), GroupBox1), "Label1", 20, 155);
    MaskEdit1 = place(new PortMaskEdit(GroupBox1), "MaskEdit1", 91, 152, 46, 21);
    Button3 = place(new QPushButton(QStringLiteral("&Save"), GroupBox1), "Button3", 306, 178, 80, 24);
    Label2 = place_label(new QLabel(QStringLiteral("Command: "), GroupBox1), "Label2", 20, 182);
    Edit2 = place(new QLineEdit(GroupBox1), "Edit2", 91, 177, 202, 21);
    CheckBox1 = place(new QCheckBox(QStringLiteral("Only &this computer may send"), GroupBox1), "CheckBox1", 91,
                      177 + local_only_row + 2, 202, 17);
    Button5 = place(new QPushButton(QStringLiteral("Remove"), GroupBox1), "Button5", 306, 44, 80, 24);
    Button2 = place(new QPushButton(QStringLiteral("&Cancel"), this), "Button2", 320, 221 + local_only_row, 80, 24);
    Button4 = place(new QPushButton(QStringLiteral("&Help"), this), "Button4", 7, 221 + local_only_row, 80, 24);

    RadioButton1->setChecked(true);
    Edit1->setEnabled(false);
    Panel1->setFrameShape(QFrame::HLine);
    Panel1->setFrameShadow(QFrame::Sunken);
    Button1->setDefault(true);

    // toggled, not clicked: arrow keys move the check between the radio buttons too.
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButton1Click();
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButton2Click();
    });
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
    MaskEdit1->OnChange = [this] { MaskEdit1Change(); };
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    platform::fit_text(this);
}

void NewWindowDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        center_on_screen();
        FormShow();
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

void NewWindowDialog::FormShow()
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
    const QString text = ComboBox1->currentText();
    const QSignalBlocker blocker(ComboBox1);
    ComboBox1->clear();
    ComboBox1->addItems(names);
    // Adding to an empty list selects its first item and shows that item's text; undo both.
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(text);
}

void NewWindowDialog::remove_list_items_silently(const QString& name)
{
    const QString text = ComboBox1->currentText();
    const QSignalBlocker blocker(ComboBox1);
    for (int index = ComboBox1->count() - 1; index >= 0; --index) {
        if (!config::same_name(ComboBox1->itemText(index), name))
            continue;
        const bool was_selected = index == ComboBox1->currentIndex();
        ComboBox1->removeItem(index);
        // Qt would select the next item and show its text.
        if (was_selected)
            ComboBox1->setCurrentIndex(-1);
    }
    if (ComboBox1->currentText() != text)
        ComboBox1->setEditText(text);
}

void NewWindowDialog::RadioButton1Click()
{
    platform::guarded([this] {
        Edit1->setEnabled(false);
        ComboBox1->setEnabled(true);
    });
}

void NewWindowDialog::RadioButton2Click()
{
    platform::guarded([this] {
        ComboBox1->setEnabled(false);
        Edit1->setEnabled(true);
    });
}

void NewWindowDialog::ComboBox1Change()
{
    platform::guarded([this] {
        const QString name = ComboBox1->currentText();
        if (name.isEmpty())
            return;
        // Everything is read before anything is shown, so a failing port read changes nothing.
        // A command the store holds with another type leaves the one shown.
        config::WindowConfiguration shown;
        shown.command = Edit2->text();
        const std::optional<config::WindowConfiguration> stored =
            config::read_window_configuration(name, config::Reading::to_show, shown);
        if (!stored)
            return;
        port_set_by_selection = true;
        MaskEdit1->SetText(QString::number(stored->port));
        Edit2->setText(stored->command);
        CheckBox1->setChecked(stored->local_only);
    });
}

void NewWindowDialog::MaskEdit1Change()
{
    platform::guarded([this] {
        if (port_set_by_selection) {
            port_set_by_selection = false;
            return;
        }
        port_edited = true;
    });
}

void NewWindowDialog::Button3Click()
{
    platform::guarded([this] {
        const QString port_text = trim_blanks(MaskEdit1->Text());
        if (port_text.isEmpty()) {
            show_error("You really need to enter a port-number.", "Sorry");
            return;
        }
        const std::int32_t port = platform::str_to_int(port_text.toStdString());

        QString name;
        if (RadioButton1->isChecked()) {
            name = ComboBox1->currentText();
            // Backslashes alone would name the configs key itself, not a configuration.
            if (config::names_no_config(name)) {
                show_error("Select a pre-configured entry first to change it.", "Error");
                return;
            }
        } else {
            name = Edit1->text();
            if (config::names_no_config(name)) {
                show_error("Enter a name for the config entry.", "Error");
                return;
            }
        }

        config::write_window_configuration(name, {port, Edit2->text(), CheckBox1->isChecked()});
        port_edited = false;
        load_config_names();
    });
}

void NewWindowDialog::Button4Click()
{
    platform::guarded([] { help::show_help_context(help::context_new_window_dialog); });
}

void NewWindowDialog::Button5Click()
{
    platform::guarded([this] {
        const QString name = ComboBox1->currentText();
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
