#pragma once
// Modal message boxes: the one way the program shows the user a text with a caption and an icon.

#include <QString>

#include <functional>

namespace platform {

enum class MessageIcon { Error, Warning, Question, Information };
enum class MessageAnswer { Ok, Yes, No };

// Shows a modal box and returns the button pressed. A question box offers Yes and No,
// every other box one OK button. The box runs a nested event loop: sockets and timers
// keep being served while it is open.
MessageAnswer show_message(const QString& text, const QString& caption, MessageIcon icon);

// Tests put a recorder in place of the real box; an empty handler restores the real box.
using MessageBoxHandler =
    std::function<MessageAnswer(const QString& text, const QString& caption, MessageIcon icon)>;
void set_message_box_handler(MessageBoxHandler handler);

// The real box is a widget, and the code that shows boxes (the error report, the listener)
// needs none: the widget part of the platform hands the real box over at start-up
// (use_real_message_boxes() in "platform/real_message_box.h"). Until then a box's caption and
// text go to standard error and the answer is that of a box closed without a button.
void set_real_message_box(MessageBoxHandler box);

}  // namespace platform
