// Global options dialog and its action.

#include "shell/options_dialog.h"

#include "config/global_options.h"
#include "help/helpsys.h"
#include "platform/form_layout.h"
#include "platform/text_fit.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <optional>

namespace shell {

OptionsDialog::OptionsDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("optdlg"));
    setWindowTitle(QStringLiteral("Global options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(platform::interface_font(10));
    setFixedSize(371, 159);
    help::set_help_context(this, help::context_global_options);

    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    pages->setGeometry(7, 7, 358, 117);
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

    auto* ok_button = new QPushButton(QStringLiteral("OK"), this);
    ok_button->setObjectName(QStringLiteral("OKBtn"));
    ok_button->setGeometry(202, 130, 80, 24);
    ok_button->setDefault(true);
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);

    auto* cancel_button = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_button->setObjectName(QStringLiteral("CancelBtn"));
    cancel_button->setGeometry(286, 130, 80, 24);
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);

    auto* help_button = new QPushButton(QStringLiteral("&Help"), this);
    help_button->setObjectName(QStringLiteral("HelpBtn"));
    help_button->setGeometry(8, 130, 80, 24);
    connect(help_button, &QPushButton::clicked, this,
            [] { help::show_help_context(help::context_global_options); });

    setTabOrder(pages, reopen_check_box_);
    setTabOrder(reopen_check_box_, limit_check_box_);
    setTabOrder(limit_check_box_, limit_mb_spin_box_);
    setTabOrder(limit_mb_spin_box_, ok_button);
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
    if (dialog.exec() != QDialog::Accepted)
        return false;
    config::write_global_options({dialog.reopen_check_box()->isChecked(), dialog.text_limit_mb()});
    return true;
}

}  // namespace shell
