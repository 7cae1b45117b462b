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
    CheckBox1 = new QCheckBox(QStringLiteral("&Reopen all windows on startup"), options_page);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(7, 13, 182, 14);

    // Logs left running for days must not take all the memory: each window drops its oldest
    // lines past this size.
    // The row takes the width its texts need in the font at hand.
    CheckBox2 = new QCheckBox(QStringLiteral("&Limit each window to"), options_page);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->adjustSize();
    CheckBox2->move(7, 40);
    SpinEdit1 = platform::place(new QSpinBox(options_page), "SpinEdit1", CheckBox2->geometry().right() + 4, 38, 80, 21);
    SpinEdit1->setRange(1, config::max_text_limit_mb);
    SpinEdit1->setValue(config::default_text_limit_mb);
    SpinEdit1->setAccessibleName(QStringLiteral("Limit in MB"));
    auto* unit_label = platform::place_label(new QLabel(QStringLiteral("MB of received text"), options_page), "Label1",
                                             SpinEdit1->geometry().right() + 6, 41);
    unit_label->setBuddy(SpinEdit1);
    CheckBox2->setChecked(true);
    connect(CheckBox2, &QCheckBox::toggled, SpinEdit1, &QSpinBox::setEnabled);

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

    setTabOrder(pages, CheckBox1);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, SpinEdit1);
    setTabOrder(SpinEdit1, ok_button);
    setTabOrder(ok_button, cancel_button);
    setTabOrder(cancel_button, help_button);
    platform::fit_text(this);
}

std::int32_t OptionsDialog::text_limit_mb() const { return CheckBox2->isChecked() ? SpinEdit1->value() : 0; }

void OptionsDialog::set_text_limit_mb(std::int32_t megabytes)
{
    CheckBox2->setChecked(megabytes > 0);
    // Without a limit the spin box keeps its last size, ready for the box to be checked again.
    if (megabytes > 0)
        SpinEdit1->setValue(megabytes);
}

std::int64_t stored_text_limit_bytes()
{
    return std::int64_t{config::read_global_options().text_limit_mb} << 20;
}

bool global_optionsExecute(OptionsDialog& dialog)
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
