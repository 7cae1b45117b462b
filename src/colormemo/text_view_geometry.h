#pragma once
// Where the characters of a line go across the text view: tab stops, cell arithmetic for plain
// ASCII in a fixed-pitch font, font advances otherwise. Painting, hit testing and the caret all
// place text through this one piece of arithmetic, so they agree.

#include "lines/line_store.h"

#include <QFont>
#include <QFontMetricsF>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace colormemo {

using lines::ColumnMark;

class LineGeometry {
public:
    explicit LineGeometry(const QFont& font = QFont());

    const QFontMetricsF& metrics() const { return metrics_; }
    // Advance of one character cell; never 0.
    qreal char_width() const { return char_width_; }
    // The first tab stop right of x.
    qreal next_tab_stop(qreal x) const;
    // True when every byte of the line is one cell wide (plain ASCII in a fixed-pitch font), so
    // its pieces need no measuring.
    bool in_cells(std::string_view line) const;
    // Where column `column` starts when every character before it is one cell.
    qreal x_of_column(std::int64_t column) const { return static_cast<qreal>(column) * char_width_; }
    // The column a cell at x belongs to.
    std::int64_t column_at(qreal x) const;
    // x of the boundary before byte `byte` of `line`, from the text's left edge. Layout starts
    // at `from`, a character boundary whose column is known (a long line's column mark),
    // placed at x_of_column(from.column); the bytes before it are never read.
    qreal x_of(std::string_view line, std::size_t byte, ColumnMark from = {}) const;
    // The character boundary of `line` nearest to x, laid out from `from` as x_of does.
    std::size_t byte_at_x(std::string_view line, qreal x, ColumnMark from = {}) const;

private:
    // Advance of the character of `length` bytes at `pos`, which is not a tab.
    qreal char_advance(std::string_view line, std::size_t pos, std::size_t length) const;

    QFontMetricsF metrics_;
    qreal char_width_ = 1;
    qreal tab_width_ = 8;
    // Column arithmetic is only exact when every printable ASCII character has the same advance.
    bool fixed_pitch_ = false;
};

// Walks the pieces of a line, the stretches between its tabs, from the left. A piece is
// measured as a whole, as it is painted; a tab moves the next piece to the following tab stop.
class LinePieces {
public:
    // Pieces from `from` on (see LineGeometry::x_of). With max_piece, a piece longer than that
    // many bytes is cut at a character boundary, so that a long line is drawn in pieces that
    // can each be skipped when off screen.
    LinePieces(const LineGeometry& geometry, std::string_view line, ColumnMark from = {}, std::size_t max_piece = 0);

    // Past the last piece; x() is then the line's width, its tabs included.
    bool at_end() const { return from_ >= line_.size(); }
    // The piece's bytes: from() up to the tab that ends it, the line's end or its cut.
    std::size_t from() const { return from_; }
    std::size_t to() const { return to_; }
    // A tab follows the piece: the next one starts at the following tab stop.
    bool ends_at_tab() const { return !cut_ && to_ < line_.size(); }
    qreal x() const { return x_; }
    bool in_cells() const { return cells_; }
    // The piece decoded for display, and its advance; worked out on first use.
    const QString& text();
    qreal width();
    // Where the next piece starts: past this one and the tab after it.
    qreal end_x();
    void next();

private:
    void find_end();

    const LineGeometry& geometry_;
    std::string_view line_;
    bool cells_;
    std::size_t max_piece_;
    std::size_t from_ = 0;
    std::size_t to_ = 0;
    bool cut_ = false;
    qreal x_ = 0;
    qreal width_ = -1;  // -1 until measured
    QString text_;
    bool decoded_ = false;
};

}  // namespace colormemo
