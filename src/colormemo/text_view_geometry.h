#pragma once
// Where the characters of a line go across the text view: tab stops, cell arithmetic for plain
// ASCII in a fixed-pitch font, font advances otherwise. Painting, hit testing and the caret all
// place text through this one piece of arithmetic, so they agree.

#include <QFont>
#include <QFontMetricsF>
#include <QString>

#include <cstddef>
#include <string_view>

namespace colormemo {

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
    // x of the boundary before byte `byte` of `line`, from the text's left edge.
    qreal x_of(std::string_view line, std::size_t byte) const;
    // The character boundary of `line` nearest to x.
    std::size_t byte_at_x(std::string_view line, qreal x) const;

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
    LinePieces(const LineGeometry& geometry, std::string_view line);

    // Past the last piece; x() is then the line's width, its tabs included.
    bool at_end() const { return from_ >= line_.size(); }
    // The piece's bytes: from() up to the tab that ends it or the line's end.
    std::size_t from() const { return from_; }
    std::size_t to() const { return to_; }
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
    std::size_t from_ = 0;
    std::size_t to_ = 0;
    qreal x_ = 0;
    qreal width_ = -1;  // -1 until measured
    QString text_;
    bool decoded_ = false;
};

}  // namespace colormemo
