// The text view's column and x arithmetic: one walk over a line's pieces between tabs, which
// painting follows to draw and hit testing and the caret follow to find a byte's place.

#include "colormemo/text_view_geometry.h"

#include "lines/text_codec.h"

#include <algorithm>
#include <cmath>

namespace colormemo {

LineGeometry::LineGeometry(const QFont& font) : metrics_(font)
{
    char_width_ = metrics_.horizontalAdvance(QLatin1Char('x'));
    if (char_width_ <= 0)
        char_width_ = 1;
    fixed_pitch_ = true;
    for (char c = 0x20; c < 0x7F; ++c) {
        if (metrics_.horizontalAdvance(QLatin1Char(c)) != char_width_) {
            fixed_pitch_ = false;
            break;
        }
    }
    tab_width_ = lines::tab_columns * metrics_.horizontalAdvance(QLatin1Char(' '));
    if (tab_width_ <= 0)
        tab_width_ = lines::tab_columns;
}

qreal LineGeometry::next_tab_stop(qreal x) const { return (std::floor(x / tab_width_) + 1) * tab_width_; }

bool LineGeometry::in_cells(std::string_view line) const { return fixed_pitch_ && lines::is_plain_ascii(line); }

qreal LineGeometry::char_advance(std::string_view line, std::size_t pos, std::size_t length) const
{
    const auto byte = static_cast<unsigned char>(line[pos]);
    if (fixed_pitch_ && byte >= 0x20 && byte < 0x7F)
        return char_width_;
    const char32_t code = lines::display_char(line, pos, length);
    return metrics_.horizontalAdvance(QString::fromUcs4(&code, 1));
}

std::int64_t LineGeometry::column_at(qreal x) const
{
    return x <= 0 ? 0 : static_cast<std::int64_t>(std::floor(x / char_width_));
}

qreal LineGeometry::x_of(std::string_view line, std::size_t byte, ColumnMark from) const
{
    byte = std::clamp(byte, from.byte, line.size());
    // Nothing after the byte moves it, so nothing after it is read.
    line = line.substr(0, byte);
    LinePieces piece(*this, line, from);
    while (!piece.at_end() && byte > piece.to())
        piece.next();
    if (piece.at_end())
        return piece.x();
    if (piece.in_cells())
        return piece.x() + static_cast<qreal>(byte - piece.from()) * char_width_;
    // A boundary inside a character counts the bytes before it as characters of their own.
    const std::string_view head = line.substr(0, byte);
    qreal x = piece.x();
    for (std::size_t pos = piece.from(); pos < byte;) {
        const std::size_t length = lines::char_length(head, pos);
        x += char_advance(head, pos, length);
        pos += length;
    }
    return x;
}

std::size_t LineGeometry::byte_at_x(std::string_view line, qreal x, ColumnMark from) const
{
    for (LinePieces piece(*this, line, from); !piece.at_end(); piece.next()) {
        qreal left = piece.x();
        for (std::size_t pos = piece.from(); pos < piece.to();) {
            const std::size_t length = lines::char_length(line, pos);
            const qreal right = left + char_advance(line, pos, length);
            if (x < (left + right) / 2)
                return pos;
            left = right;
            pos += length;
        }
        // The tab's cell reaches to the next tab stop.
        if (piece.ends_at_tab() && x < (left + piece.end_x()) / 2)
            return piece.to();
    }
    return line.size();
}

LinePieces::LinePieces(const LineGeometry& geometry, std::string_view line, ColumnMark from, std::size_t max_piece)
    : geometry_(geometry),
      line_(line),
      cells_(geometry.in_cells(line.substr(std::min(from.byte, line.size())))),
      max_piece_(max_piece),
      from_(from.byte),
      x_(geometry.x_of_column(from.column))
{
    if (!at_end())
        find_end();
}

void LinePieces::find_end()
{
    to_ = std::min(line_.find('\t', from_), line_.size());
    cut_ = false;
    if (max_piece_ > 0 && to_ - from_ > max_piece_) {
        const std::size_t cut = lines::char_start(line_, from_ + max_piece_);
        to_ = cut > from_ ? cut : lines::next_char(line_, from_);
        cut_ = true;
    }
    width_ = -1;
    decoded_ = false;
}

const QString& LinePieces::text()
{
    if (!decoded_) {
        text_ = lines::decode_display(line_.substr(from_, to_ - from_));
        decoded_ = true;
    }
    return text_;
}

qreal LinePieces::width()
{
    if (width_ < 0)
        width_ = cells_ ? static_cast<qreal>(to_ - from_) * geometry_.char_width()
                        : geometry_.metrics().horizontalAdvance(text());
    return width_;
}

qreal LinePieces::end_x()
{
    const qreal end = x_ + width();
    return ends_at_tab() ? geometry_.next_tab_stop(end) : end;
}

void LinePieces::next()
{
    x_ = end_x();
    from_ = cut_ ? to_ : to_ + 1;
    if (!at_end())
        find_end();
}

}  // namespace colormemo
