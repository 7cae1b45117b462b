// The "Who may send" dialog: its controls and the check of what was typed.

#include "newwin/security_dialog.h"

#include "config/window_config.h"
#include "help/helpsys.h"
#include "net/address_filter.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"
#include "platform/text_fit.h"
#include "tls/fingerprints.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
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
    add_tls_group();

    auto* buttons = new QHBoxLayout;
    help_button = named(new QPushButton(QStringLiteral("&Help"), this), "help_button");
    ok_button = named(new QPushButton(QStringLiteral("&OK"), this), "ok_button");
    cancel_button = named(new QPushButton(QStringLiteral("&Cancel"), this), "cancel_button");
    buttons->addWidget(help_button);
    buttons->addStretch();
    buttons->addWidget(ok_button);
    buttons->addWidget(cancel_button);
    page->addSpacing(6);
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

void SecurityDialog::add_tls_group()
{
    tls_group = named(new QGroupBox(QStringLiteral(" Senders must &show: "), this), "tls_group");
    auto* choices = new QVBoxLayout(tls_group);
    anon_radio = named(new QRadioButton(QStringLiteral("no certificate (encryption only)"), tls_group), "anon_radio");
    ca_radio = named(new QRadioButton(QStringLiteral("a certificate signed by this CA:"), tls_group), "ca_radio");
    ca_file_edit = named(new QLineEdit(tls_group), "ca_file_edit");
    ca_file_edit->setAccessibleName(QStringLiteral("CA certificate file"));
    browse_button = named(new QPushButton(QStringLiteral("&Browse..."), tls_group), "browse_button");
    fingerprint_radio = named(new QRadioButton(QStringLiteral("a certificate with one of these fingerprints:"),
                                               tls_group),
                              "fingerprint_radio");
    fingerprints_edit = named(new QPlainTextEdit(tls_group), "fingerprints_edit");
    fingerprints_edit->setAccessibleName(QStringLiteral("Fingerprints"));
    fingerprints_edit->setPlaceholderText(QStringLiteral("SHA256:AB:CD:… or SHA1:…, one per line"));
    fingerprints_edit->setTabChangesFocus(true);
    // A fingerprint is wider than the dialog; broken over lines it would look like several.
    fingerprints_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed_font.setPixelSize(10);
    fingerprints_edit->setFont(fixed_font);
    fingerprints_edit->setFixedHeight(fingerprints_edit->fontMetrics().lineSpacing() * 4
                                      + style()->pixelMetric(QStyle::PM_ScrollBarExtent)
                                      + 2 * (fingerprints_edit->frameWidth() + 4));

    // A choice's fields line up with its text, past the radio button's indicator.
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
                       + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    auto* ca_row = new QHBoxLayout;
    ca_row->setContentsMargins(indent, 0, 0, 0);
    ca_row->addWidget(ca_file_edit);
    ca_row->addWidget(browse_button);
    auto* fingerprints_row = new QHBoxLayout;
    fingerprints_row->setContentsMargins(indent, 0, 0, 0);
    fingerprints_row->addWidget(fingerprints_edit);
    choices->addWidget(anon_radio);
    choices->addWidget(ca_radio);
    choices->addLayout(ca_row);
    choices->addWidget(fingerprint_radio);
    choices->addLayout(fingerprints_row);
    groups->addWidget(tls_group);
    tls_note = named(new QLabel(QStringLiteral("Only for Syslog over TLS."), this), "tls_note");
    groups->addWidget(tls_note);

    // A choice's fields are on while it is chosen; none is yet.
    for (QWidget* field : std::initializer_list<QWidget*>{ca_file_edit, browse_button, fingerprints_edit})
        field->setEnabled(false);
    connect(ca_radio, &QRadioButton::toggled, ca_file_edit, &QWidget::setEnabled);
    connect(ca_radio, &QRadioButton::toggled, browse_button, &QWidget::setEnabled);
    connect(fingerprint_radio, &QRadioButton::toggled, fingerprints_edit, &QWidget::setEnabled);
    connect(browse_button, &QPushButton::clicked, this, [this] { platform::guarded([this] { browse_ca_file(); }); });
    ask_file_name = [this](const QString& caption, const QString& start) {
        return QFileDialog::getOpenFileName(this, caption, start,
                                            QStringLiteral("PEM files (*.pem *.crt);;All files (*)"));
    };
    show_tls_senders({}, {}, {});
    set_tls(false);
}

void SecurityDialog::set_tls(bool tls)
{
    tls_group->setEnabled(tls);
    tls_note->setVisible(!tls);
}

void SecurityDialog::show_tls_senders(const QString& tls_auth, const QString& tls_ca, const QString& tls_fingerprints)
{
    (tls_auth == config::tls_auth_ca ? ca_radio
     : tls_auth == config::tls_auth_fingerprint ? fingerprint_radio
                                                 : anon_radio)
        ->setChecked(true);
    ca_file_edit->setText(tls_ca);
    fingerprints_edit->setPlainText(tls_fingerprints);
}

QString SecurityDialog::tls_auth() const
{
    return ca_radio->isChecked()            ? config::tls_auth_ca
           : fingerprint_radio->isChecked() ? config::tls_auth_fingerprint
                                            : config::tls_auth_anon;
}

QString SecurityDialog::tls_ca() const
{
    return ca_file_edit->text();
}

QString SecurityDialog::tls_fingerprints() const
{
    return fingerprints_edit->toPlainText();
}

void SecurityDialog::browse_ca_file()
{
    const QString chosen = ask_file_name(QStringLiteral("CA certificate (PEM)"), ca_file_edit->text());
    if (!chosen.isEmpty())
        ca_file_edit->setText(chosen);
}

QString SecurityDialog::tls_senders_error() const
{
    if (!tls_group->isEnabled())
        return {};
    if (ca_radio->isChecked()) {
        if (tls_ca().trimmed().isEmpty())
            return QStringLiteral("Choose the CA certificate file.");
        if (!QFileInfo::exists(tls_ca()))
            return QLatin1Char('\'') + tls_ca() + QStringLiteral("' does not exist.");
    } else if (fingerprint_radio->isChecked()) {
        const tls::FingerprintList list = tls::parse_fingerprint_list(tls_fingerprints().toStdString());
        if (!list.error.empty())
            return QString::fromStdString(list.error);
        if (list.fingerprints.empty())
            return QStringLiteral("Give at least one fingerprint.");
    }
    return {};
}

void SecurityDialog::refuse(const QString& message, QWidget* field)
{
    platform::show_message(message, QStringLiteral("Error"), platform::MessageIcon::Error);
    field->setFocus();
}

void SecurityDialog::accept()
{
    const auto parsed = net::AddressFilter::parse(accept_from());
    if (const QString* error = std::get_if<QString>(&parsed)) {
        refuse(*error, accept_from_edit);
        return;
    }
    if (const QString error = tls_senders_error(); !error.isEmpty()) {
        refuse(error, ca_radio->isChecked() ? static_cast<QWidget*>(ca_file_edit) : fingerprints_edit);
        return;
    }
    QDialog::accept();
}

}  // namespace newwin
