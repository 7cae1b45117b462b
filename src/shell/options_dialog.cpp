// Global options dialog and its action.

#include "shell/options_dialog.h"

#include "config/global_options.h"
#include "config/server_certificate.h"
#include "help/helpsys.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"
#include "platform/text_fit.h"
#include "tls/certificate_file.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <optional>

namespace shell {

namespace {

// "SHA256:" and 32 pairs is longer than the dialog is wide: the label breaks it after the 16th.
constexpr qsizetype fingerprint_break = 7 + 16 * 3;

std::string local_path(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("optdlg"));
    setWindowTitle(QStringLiteral("Global options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(platform::interface_font(10));
    setFixedSize(371, 275);
    help::set_help_context(this, help::context_global_options);

    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    pages->setGeometry(7, 7, 358, 233);
    auto* options_page = new QWidget;
    options_page->setObjectName(QStringLiteral("TabSheet1"));
    pages->addTab(options_page, QStringLiteral("Options"));
    reopen_check_box_ = new QCheckBox(QStringLiteral("&Reopen all windows on startup"), options_page);
    reopen_check_box_->setObjectName(QStringLiteral("CheckBox1"));
    reopen_check_box_->setGeometry(7, 13, 182, 14);

    // Logs left running for days must not take all the memory: each window drops its oldest
    // lines past this size.
    // The row takes the width its texts need in the font at hand.
    limit_check_box_ = new QCheckBox(QStringLiteral("&Limit each window to"), options_page);
    limit_check_box_->setObjectName(QStringLiteral("CheckBox2"));
    limit_check_box_->adjustSize();
    limit_check_box_->move(7, 40);
    limit_mb_spin_box_ = platform::place(new QSpinBox(options_page), "SpinEdit1",
                                         limit_check_box_->geometry().right() + 4, 38, 80, 21);
    limit_mb_spin_box_->setRange(1, config::max_text_limit_mb);
    limit_mb_spin_box_->setValue(config::default_text_limit_mb);
    limit_mb_spin_box_->setAccessibleName(QStringLiteral("Limit in MB"));
    auto* unit_label = platform::place_label(new QLabel(QStringLiteral("MB of received text"), options_page), "Label1",
                                             limit_mb_spin_box_->geometry().right() + 6, 41);
    unit_label->setBuddy(limit_mb_spin_box_);
    limit_check_box_->setChecked(true);
    connect(limit_check_box_, &QCheckBox::toggled, limit_mb_spin_box_, &QSpinBox::setEnabled);

    // Senders that pin the certificate need its fingerprint; the user may serve one of their own.
    auto* certificate_box =
        platform::place(new QGroupBox(QStringLiteral(" Certificate for syslog over TLS "), options_page),
                        "CertificateBox", 7, 70, 336, 112);
    certificate_source_label_ =
        platform::place_label(new QLabel(QStringLiteral("Vesmira's own"), certificate_box), "SourceLabel", 8, 24);
    fingerprint_label_ = platform::place(new QLabel(certificate_box), "FingerprintLabel", 8, 40, 320, 38);
    QFont fixed_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed_font.setPixelSize(10);
    fingerprint_label_->setFont(fixed_font);
    fingerprint_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fingerprint_label_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    fingerprint_label_->setAccessibleName(QStringLiteral("SHA-256 fingerprint"));
    copy_button_ = platform::place(new QPushButton(QStringLiteral("&Copy"), certificate_box), "CopyBtn", 8, 82, 80, 24);
    connect(copy_button_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(fingerprint_); });
    auto* use_button = platform::place(new QPushButton(QStringLiteral("&Use certificate..."), certificate_box),
                                       "UseCertificateBtn", 92, 82, 110, 24);
    connect(use_button, &QPushButton::clicked, this, &OptionsDialog::use_certificate);
    use_own_button_ = platform::place(new QPushButton(QStringLiteral("Use Vesmira's &own"), certificate_box),
                                      "UseOwnBtn", 206, 82, 110, 24);
    connect(use_own_button_, &QPushButton::clicked, this, [this] {
        chosen_certificate_file_.clear();
        chosen_key_file_.clear();
        show_certificate();
    });
    ask_file_name = [this](const QString& caption) {
        return QFileDialog::getOpenFileName(this, caption, QString(),
                                            QStringLiteral("PEM files (*.pem *.crt *.key);;All files (*)"));
    };

    auto* ok_button = new QPushButton(QStringLiteral("OK"), this);
    ok_button->setObjectName(QStringLiteral("OKBtn"));
    ok_button->setGeometry(202, 246, 80, 24);
    ok_button->setDefault(true);
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);

    auto* cancel_button = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_button->setObjectName(QStringLiteral("CancelBtn"));
    cancel_button->setGeometry(286, 246, 80, 24);
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);

    auto* help_button = new QPushButton(QStringLiteral("&Help"), this);
    help_button->setObjectName(QStringLiteral("HelpBtn"));
    help_button->setGeometry(8, 246, 80, 24);
    connect(help_button, &QPushButton::clicked, this,
            [] { help::show_help_context(help::context_global_options); });

    setTabOrder(pages, reopen_check_box_);
    setTabOrder(reopen_check_box_, limit_check_box_);
    setTabOrder(limit_check_box_, limit_mb_spin_box_);
    setTabOrder(limit_mb_spin_box_, fingerprint_label_);
    setTabOrder(fingerprint_label_, copy_button_);
    setTabOrder(copy_button_, use_button);
    setTabOrder(use_button, use_own_button_);
    setTabOrder(use_own_button_, ok_button);
    setTabOrder(ok_button, cancel_button);
    setTabOrder(cancel_button, help_button);
    platform::fit_text(this);
}

std::int32_t OptionsDialog::text_limit_mb() const
{
    return limit_check_box_->isChecked() ? limit_mb_spin_box_->value() : 0;
}

void OptionsDialog::set_text_limit_mb(std::int32_t megabytes)
{
    limit_check_box_->setChecked(megabytes > 0);
    // Without a limit the spin box keeps its last size, ready for the box to be checked again.
    if (megabytes > 0)
        limit_mb_spin_box_->setValue(megabytes);
}

void OptionsDialog::load_certificate()
{
    const config::ServerCertificate own = config::own_server_certificate();
    own_certificate_file_ = own.certificate_file;
    own_certificate_error_ = own.error;
    const config::ServerCertificate in_use = config::server_certificate();
    chosen_certificate_file_ = in_use.own ? QString() : in_use.certificate_file;
    chosen_key_file_ = in_use.own ? QString() : in_use.key_file;
    show_certificate();
}

void OptionsDialog::show_certificate()
{
    const bool own = chosen_certificate_file_.isEmpty();
    const tls::FileFingerprint read =
        own && !own_certificate_error_.isEmpty()
            ? tls::FileFingerprint{{}, own_certificate_error_.toStdString()}
            : tls::certificate_file_fingerprint(local_path(own ? own_certificate_file_ : chosen_certificate_file_));
    fingerprint_ = QString::fromStdString(read.fingerprint);
    // A message wraps at its spaces; a fingerprint has none.
    fingerprint_label_->setWordWrap(fingerprint_.isEmpty());
    fingerprint_label_->setText(
        fingerprint_.isEmpty() ? QString::fromStdString(read.error)
                               : fingerprint_.left(fingerprint_break) + '\n' + fingerprint_.mid(fingerprint_break));
    copy_button_->setEnabled(!fingerprint_.isEmpty());
    use_own_button_->setEnabled(!own);
    // A long path keeps its start and its file name; the whole one is in the tool tip.
    certificate_source_label_->setToolTip(own ? own_certificate_file_ : chosen_certificate_file_);
    certificate_source_label_->setText(
        own ? QStringLiteral("Vesmira's own")
            : certificate_source_label_->fontMetrics().elidedText(QStringLiteral("From ") + chosen_certificate_file_,
                                                                  Qt::ElideMiddle, fingerprint_label_->width()));
    certificate_source_label_->adjustSize();
}

void OptionsDialog::use_certificate()
{
    const QString certificate = ask_file_name(QStringLiteral("Certificate chain (PEM)"));
    if (certificate.isEmpty())
        return;
    const QString key = ask_file_name(QStringLiteral("Private key of the certificate (PEM)"));
    if (key.isEmpty())
        return;
    const std::string error = tls::check_certificate_pair(local_path(certificate), local_path(key));
    if (!error.empty()) {
        platform::show_message(QString::fromStdString(error), QStringLiteral("Error"), platform::MessageIcon::Error);
        return;
    }
    chosen_certificate_file_ = certificate;
    chosen_key_file_ = key;
    show_certificate();
}

std::int64_t stored_text_limit_bytes()
{
    return std::int64_t{config::read_global_options().text_limit_mb} << 20;
}

bool edit_global_options(OptionsDialog& dialog)
{
    // Without the product key the boxes keep the state of their last showing.
    if (const std::optional<config::GlobalOptions> stored = config::read_global_options_to_edit()) {
        dialog.reopen_check_box()->setChecked(stored->reopen_windows);
        dialog.set_text_limit_mb(stored->text_limit_mb);
    }
    dialog.load_certificate();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    config::write_global_options({dialog.reopen_check_box()->isChecked(), dialog.text_limit_mb()});
    config::choose_server_certificate(dialog.chosen_certificate_file(), dialog.chosen_key_file());
    return true;
}

}  // namespace shell
