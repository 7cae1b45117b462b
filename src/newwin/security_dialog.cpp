// The "Who may send" dialog: its controls and the check of what was typed.

#include "newwin/security_dialog.h"

#include "help/helpsys.h"
#include "net/address_filter.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"
#include "platform/text_fit.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace newwin {

using platform::named;

SecurityDialog::SecurityDialog(const QString& port_text, const QString& accept_from, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("security_dialog"));
    setWindowTitle(QStringLiteral("Who may send to port ") + port_text);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(platform::interface_font(10));
    help::set_help_context(this, help::context_new_window_dialog);

    auto* page = new QVBoxLayout(this);
    groups = new QVBoxLayout;
    page->addLayout(groups);

    senders_group = named(new QGroupBox(QStringLiteral(" Senders "), this), "senders_group");
    auto* senders = new QVBoxLayout(senders_group);
    auto* label = named(new QLabel(QStringLiteral("&Accept from:"), senders_group), "accept_from_label");
    accept_from_edit = named(new QLineEdit(accept_from, senders_group), "accept_from_edit");
    accept_from_edit->setMinimumWidth(340);
    label->setBuddy(accept_from_edit);
    accept_from_hint = named(new QLabel(QStringLiteral("Addresses and networks, separated by commas, e.g.\n"
                                                       "192.168.1.0/24, 10.0.0.5, fd00::/8. Empty: everyone."),
                                        senders_group),
                             "accept_from_hint");
    senders->addWidget(label);
    senders->addWidget(accept_from_edit);
    senders->addWidget(accept_from_hint);
    groups->addWidget(senders_group);

    auto* buttons = new QHBoxLayout;
    help_button = named(new QPushButton(QStringLiteral("&Help"), this), "help_button");
    ok_button = named(new QPushButton(QStringLiteral("&OK"), this), "ok_button");
    cancel_button = named(new QPushButton(QStringLiteral("&Cancel"), this), "cancel_button");
    buttons->addWidget(help_button);
    buttons->addStretch();
    buttons->addWidget(ok_button);
    buttons->addWidget(cancel_button);
    page->addLayout(buttons);
    page->setSizeConstraint(QLayout::SetFixedSize);

    ok_button->setDefault(true);
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
    connect(help_button, &QPushButton::clicked, this,
            [] { platform::guarded([] { help::show_help_context(help::context_new_window_dialog); }); });
    platform::fit_text(this);
}

QString SecurityDialog::accept_from() const
{
    return accept_from_edit->text();
}

void SecurityDialog::accept()
{
    const auto parsed = net::AddressFilter::parse(accept_from());
    if (const QString* error = std::get_if<QString>(&parsed)) {
        platform::show_message(*error, QStringLiteral("Error"), platform::MessageIcon::Error);
        accept_from_edit->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace newwin
