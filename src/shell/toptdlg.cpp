// Global options dialog and its action.

#include "shell/toptdlg.h"

#include "help/helpsys.h"
#include "platform/form_layout.h"
#include "shell/window_reopening.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>

namespace shell {

Toptdlg::Toptdlg(QWidget* parent)
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
    setTabOrder(CheckBox1, ok_button);
    setTabOrder(ok_button, cancel_button);
    setTabOrder(cancel_button, help_button);
}

void global_optionsExecute(Toptdlg& dialog)
{
    store::TRegistry registry;
    // Without the product key the box keeps the state of its last showing.
    if (registry.OpenKey(store::product_key, true))
        dialog.reopen_check_box()->setChecked(read_reopen_option(registry));
    if (dialog.exec() != QDialog::Accepted)
        return;
    registry.WriteBool(store::reopen_windows_value, dialog.reopen_check_box()->isChecked());
}

}  // namespace shell
