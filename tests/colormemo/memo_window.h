#pragma once
// A log window stand-in around a colour memo for the tests that compare its painted pixels.

#include "colormemo/tcolormemo.h"

#include <QImage>
#include <QVBoxLayout>

#include <string>

namespace memo_test {

// A log window stand-in; without focus no caret blinks into the pictures.
struct Window {
    lines::LogLines lines;
    QWidget widget;
    TColorMemo* memo;

    explicit Window(const std::string& text)
    {
        auto* layout = new QVBoxLayout(&widget);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* created = new TColorMemo(&widget);
        created->setObjectName(QStringLiteral("memo1"));
        created->set_lines(lines);
        created->SetColor(0xFFFFFF);
        created->SetFontColor(0x000000);
        layout->addWidget(created);
        widget.resize(500, 300);
        widget.show();
        memo = widget.findChild<TColorMemo*>(QStringLiteral("memo1"));
        memo->set_text(text);
    }

    QImage shot() const { return memo->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // The cells of `length` bytes from `offset`, one line high.
    QRect cells(lines::TextOffset offset, lines::TextOffset length = 1) const
    {
        const QPoint from = memo->position_of_offset(offset);
        return {from.x(), from.y(), memo->position_of_offset(offset + length).x() - from.x(), memo->line_height()};
    }
    QRect row(int line, int from_x = 0) const
    {
        return {from_x, memo->position_of_offset(memo->line_start(line)).y(), 500, memo->line_height()};
    }
    lines::TextOffset find(const std::string& what, int line = 0) const
    {
        return memo->line_start(line) + static_cast<lines::TextOffset>(memo->line_text(line).find(what));
    }
};

// Leftmost column holding dark ink inside a rectangle of an image, or -1.
inline int first_ink_column(const QImage& image, QRect area)
{
    area &= image.rect();
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (qGray(image.pixel(x, y)) < 128)
                return x;
    return -1;
}

inline bool same_pixels(const QImage& a, const QImage& b, QRect area)
{
    area &= a.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

}  // namespace memo_test
