// The Save configuration dialog: its controls as the form lays them out.

#include "logwin/save_configuration_dialog.h"

#include "help/helpsys.h"
#include "platform/form_layout.h"
#include "platform/text_fit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace logwin {

using platform::place;
using platform::place_label;

namespace {

QPointer<SaveConfigurationDialog> registered_dialog;

}  // namespace

SaveConfigurationDialog::SaveConfigurationDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("save_later"));
    setWindowTitle(QStringLiteral("Save configuration"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(platform::interface_font(10));
    setFixedSize(330, 178);
    help::set_help_context(this, help::context_save_configuration);

    explanation_label = place_label(new QLabel(QStringLiteral("You didn't yet save this configuration. Without\n"
                                                              "saving, you can't save alert configurations, either.\n"
                                                              "Enter a new name for the configuration."),
                                               this),
                                    "Label1", 13, 13);
    // Created in tab order: the name field first; the two read-only fields are skipped.
    place_label(new QLabel(QStringLiteral("Name: "), this), "Label2", 13, 65);
    name_edit = place(new QLineEdit(this), "Edit1", 78, 59, 241, 24);
    place_label(new QLabel(QStringLiteral("Port number:"), this), "Label3", 13, 91);
    port_edit = place(new QLineEdit(this), "Edit2", 78, 85, 40, 24);
    port_edit->setReadOnly(true);
    port_edit->setFocusPolicy(Qt::ClickFocus);
    place_label(new QLabel(QStringLiteral("Command:"), this), "Label4", 13, 117);
    command_edit = place(new QLineEdit(this), "Edit3", 78, 111, 241, 24);
    command_edit->setReadOnly(true);
    command_edit->setFocusPolicy(Qt::ClickFocus);

    save_button = place(new QPushButton(QStringLiteral("&Save"), this), "OKBtn", 163, 149, 80, 24);
    save_button->setDefault(true);
    connect(save_button, &QPushButton::clicked, this, &QDialog::accept);
    cancel_button = place(new QPushButton(QStringLiteral("&Cancel"), this), "CancelBtn", 247, 149, 80, 24);
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
    help_button = place(new QPushButton(QStringLiteral("&Help"), this), "HelpBtn", 8, 152, 80, 21);
    connect(help_button, &QPushButton::clicked, this,
            [] { help::show_help_context(help::context_save_configuration); });
    platform::fit_text(this);
}

void SaveConfigurationDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    const QScreen* target = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (target == nullptr)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

void set_save_configuration_dialog(SaveConfigurationDialog* dialog)
{
    registered_dialog = dialog;
}

SaveConfigurationDialog* save_configuration_dialog()
{
    return registered_dialog.data();
}

}  // namespace logwin
