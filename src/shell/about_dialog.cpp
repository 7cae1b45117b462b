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

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QPixmap logo(QStringLiteral(":/shell/logo.gif"));
    Image1->setPixmap(logo);
    Image1->setGeometry(48, 8, logo.width(), logo.height());

    Label1 = new QLabel(QStringLiteral("Version " VESMIRA_VERSION), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(144, 64);
    Label1->adjustSize();

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 88, 329, 185);
    Memo1->setPlainText(QString::fromUtf8(notice_text));
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(256, 288, 80, 24);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    setTabOrder(Memo1, Button1);
    Memo1->setFocus();
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
