// The colour memo widget: the text view set up as the log window's memo.

#include "colormemo/tcolormemo.h"

TColorMemo::TColorMemo(QWidget* parent) : colormemo::TextView(parent)
{
    QFont memo_font(QStringLiteral("Courier"));
    memo_font.setPixelSize(15);
    // fontconfig substitutes the face; the hint keeps the substitute fixed-pitch.
    memo_font.setStyleHint(QFont::TypeWriter);
    memo_font.setFixedPitch(true);
    setFont(memo_font);
}

TColorMemo::~TColorMemo() = default;
