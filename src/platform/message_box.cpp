// Real modal boxes through QMessageBox, replaceable by a recorder in tests.

#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {

MessageBoxHandler& installed_handler()
{
    static MessageBoxHandler handler;
    return handler;
}

MessageAnswer show_real_box(const QString& text, const QString& caption, MessageIcon icon)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    if (icon == MessageIcon::Question) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (result == QMessageBox::Yes)
        return MessageAnswer::Yes;
    if (result == QMessageBox::No)
        return MessageAnswer::No;
    return icon == MessageIcon::Question ? MessageAnswer::No : MessageAnswer::Ok;
}

}  // namespace

MessageAnswer show_message(const QString& text, const QString& caption, MessageIcon icon)
{
    // Copy first: a recorder may replace itself while it runs.
    const MessageBoxHandler handler = installed_handler();
    if (handler)
        return handler(text, caption, icon);
    return show_real_box(text, caption, icon);
}

void set_message_box_handler(MessageBoxHandler handler)
{
    installed_handler() = std::move(handler);
}

}  // namespace platform
