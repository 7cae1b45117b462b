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

    Label1 = place_label(new QLabel(QStringLiteral("You didn't yet save this configuration. Without\n"
                                                   "saving, you can't save alert configurations, either.\n"
                                                   "Enter a new name for the configuration."),
                                    this),
                         "Label1", 13, 13);
    // Created in tab order: the name field first; the two read-only fields are skipped.
    place_label(new QLabel(QStringLiteral("Name: "), this), "Label2", 13, 65);
    Edit1 = place(new QLineEdit(this), "Edit1", 78, 59, 241, 24);
    place_label(new QLabel(QStringLiteral("Port number:"), this), "Label3", 13, 91);
    Edit2 = place(new QLineEdit(this), "Edit2", 78, 85, 40, 24);
    Edit2->setReadOnly(true);
    Edit2->setFocusPolicy(Qt::ClickFocus);
    place_label(new QLabel(QStringLiteral("Command:"), this), "Label4", 13, 117);
    Edit3 = place(new QLineEdit(this), "Edit3", 78, 111, 241, 24);
    Edit3->setReadOnly(true);
    Edit3->setFocusPolicy(Qt::ClickFocus);

    OKBtn = place(new QPushButton(QStringLiteral("&Save"), this), "OKBtn", 163, 149, 80, 24);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    CancelBtn = place(new QPushButton(QStringLiteral("&Cancel"), this), "CancelBtn", 247, 149, 80, 24);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    HelpBtn = place(new QPushButton(QStringLiteral("&Help"), this), "HelpBtn", 8, 152, 80, 21);
    connect(HelpBtn, &QPushButton::clicked, this,
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

void set_save_later_dialog(SaveConfigurationDialog* dialog)
{
    registered_dialog = dialog;
}

SaveConfigurationDialog* save_later_dialog()
{
    return registered_dialog.data();
}

}  // namespace logwin
