#pragma once
// The colour memo: the log window's editable text view (`memo1`), drawing stretches of its
// text in colour over the normally painted text.

#include "colormemo/text_view.h"

// The line list the log window uses is TextView's: line_count(), line_text(), append_lines(),
// append_line(), delete_last_line(), replace_line(). A fresh memo is empty, editable, in a
// 15-pixel "Courier" font, without wrapping, with both scroll bars.
class TColorMemo : public colormemo::TextView {
    Q_OBJECT

public:
    explicit TColorMemo(QWidget* parent = nullptr);
    ~TColorMemo() override;
};
