#pragma once
// The port field of the New window dialog: five positions, each an optional decimal digit,
// read back as exactly five characters with a blank in every position that holds no digit.

#include <QLineEdit>
#include <QString>

#include <functional>

namespace newwin {

class PortMaskEdit : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int positions = 5;

    explicit PortMaskEdit(QWidget* parent = nullptr);

    // Always `positions` characters; a blank (character 32) stands in every empty position.
    // QLineEdit::text() drops those blanks, so callers read this instead.
    QString Text() const;
    // The text's digits fill the positions from the left as the mask accepts them; anything
    // beyond the last position is dropped. An empty text empties every position.
    void SetText(const QString& text);

    // Raised once for each real change of Text(), typed or set, after the change.
    std::function<void()> OnChange;

private:
    void text_may_have_changed();

    // Qt reports an edit even when it left the text as it was (a blank deleted, a digit typed
    // over the same digit), so changes are found by comparing with the last text seen.
    QString last_text_;
};

}  // namespace newwin
