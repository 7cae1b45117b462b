// Real modal boxes through QMessageBox, handed to show_message by the program at start-up.

#include "real_message_box.h"

#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {

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

void use_real_message_boxes()
{
    set_real_message_box(show_real_box);
}

}  // namespace platform
