// The About dialog's fixed layout and notice text.

#include "shell/about_dialog.h"

#include "platform/form_layout.h"
#include "platform/text_fit.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

// Resources of a static library must be registered by name from the global namespace.
static void register_shell_resources()
{
    Q_INIT_RESOURCE(shell);
}

namespace shell {

namespace {

const char* const notice_text =
    "Vesmira (C) Tarnwheel - vesmira@tarnwheel.example\n"
    "\n"
    "You may use this program free of charge and pass\n"
    "it on to others unchanged, with this notice, as\n"
    "long as nobody is charged for it.\n"
    "\n"
    "The program comes as it is, without any warranty.\n"
    "The maker is not liable for any damage or loss\n"
    "that comes from using it or being unable to use it.\n"
    "\n"
    "Please send problem reports and suggestions to\n"
    "vesmira@tarnwheel.example. Thank you for\n"
    "helping to make Vesmira better.";

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    register_shell_resources();
    setObjectName(QStringLiteral("dlg_about"));
    setWindowTitle(QStringLiteral("About"));
    setFont(platform::interface_font(11));
    setFixedSize(345, 315);

    logo_label = new QLabel(this);
    logo_label->setObjectName(QStringLiteral("Image1"));
    const QPixmap logo(QStringLiteral(":/shell/logo.gif"));
    logo_label->setPixmap(logo);
    logo_label->setGeometry(48, 8, logo.width(), logo.height());

    version_label = new QLabel(QStringLiteral("Version " VESMIRA_VERSION), this);
    version_label->setObjectName(QStringLiteral("Label1"));
    version_label->move(144, 64);
    version_label->adjustSize();

    notice_view = new QPlainTextEdit(this);
    notice_view->setObjectName(QStringLiteral("Memo1"));
    notice_view->setGeometry(8, 88, 329, 185);
    notice_view->setPlainText(QString::fromUtf8(notice_text));
    notice_view->setReadOnly(true);
    notice_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    notice_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    notice_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    notice_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    ok_button = new QPushButton(QStringLiteral("OK"), this);
    ok_button->setObjectName(QStringLiteral("Button1"));
    ok_button->setGeometry(256, 288, 80, 24);
    ok_button->setDefault(true);
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);

    setTabOrder(notice_view, ok_button);
    notice_view->setFocus();
    platform::fit_text(this);
}

void AboutDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AboutDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* display = screen())
        move(display->availableGeometry().center() - frameGeometry().center() + pos());
}

}  // namespace shell
