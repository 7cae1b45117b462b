// Port field with a fixed five-position digit mask and one change notification per real change.

#include "newwin/port_mask_edit.h"

namespace newwin {

PortMaskEdit::PortMaskEdit(QWidget* parent) : QLineEdit(parent)
{
    // Qt's "0" is an optional digit; the blank character is a space, so displayText() holds
    // the five-character reading with its blanks.
    setInputMask(QStringLiteral("00000; "));
    last_text_ = Text();
    connect(this, &QLineEdit::textChanged, this, [this] { text_may_have_changed(); });
}

QString PortMaskEdit::Text() const
{
    return displayText();
}

void PortMaskEdit::SetText(const QString& text)
{
    setText(text);
}

void PortMaskEdit::text_may_have_changed()
{
    const QString now = Text();
    if (now == last_text_)
        return;
    last_text_ = now;
    if (OnChange)
        OnChange();
}

}  // namespace newwin
