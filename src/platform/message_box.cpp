// Showing a message box through whichever box is in place: a test's recorder, the real box the
// program handed over, or standard error in a program without widgets.

#include "message_box.h"

#include <cstdio>

namespace platform {

namespace {

MessageBoxHandler& installed_handler()
{
    static MessageBoxHandler handler;
    return handler;
}

MessageBoxHandler& real_box()
{
    static MessageBoxHandler box;
    return box;
}

MessageAnswer write_to_stderr(const QString& text, const QString& caption, MessageIcon icon)
{
    std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    return icon == MessageIcon::Question ? MessageAnswer::No : MessageAnswer::Ok;
}

}  // namespace

MessageAnswer show_message(const QString& text, const QString& caption, MessageIcon icon)
{
    // Copy first: a recorder may replace itself while it runs.
    const MessageBoxHandler handler = installed_handler() ? installed_handler() : real_box();
    if (handler)
        return handler(text, caption, icon);
    return write_to_stderr(text, caption, icon);
}

void set_message_box_handler(MessageBoxHandler handler)
{
    installed_handler() = std::move(handler);
}

void set_real_message_box(MessageBoxHandler box)
{
    real_box() = std::move(box);
}

}  // namespace platform
