// The text view's painting: the lines on screen with their selection, the colouring pass's
// overlay and the caret, and the string drawing the overlay uses.

#include "colormemo/text_view.h"

#include "lines/text_codec.h"
#include "platform/error_report.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace colormemo {

namespace {

// Longest piece of a long line drawn in one call.
constexpr std::size_t long_line_piece_bytes = 512;

}  // namespace

void TextView::draw_string(QPainter& painter, QPointF top_left, std::string_view bytes, const QColor& text_color,
                           const QColor& background, bool underline) const
{
    QFont drawing_font = font();
    drawing_font.setUnderline(underline);
    const QString text = lines::decode_display(bytes);
    const QFontMetricsF metrics(drawing_font);
    painter.save();
    painter.setFont(drawing_font);
    if (background.alpha() != 0)
        painter.fillRect(QRectF(top_left, QSizeF(metrics.horizontalAdvance(text), line_height_)), background);
    painter.setPen(text_color);
    painter.drawText(QPointF(top_left.x(), top_left.y() + ascent_), text);
    painter.restore();
}

int TextView::string_width(std::string_view bytes) const
{
    return static_cast<int>(std::lround(QFontMetricsF(font()).horizontalAdvance(lines::decode_display(bytes))));
}

void TextView::paintEvent(QPaintEvent*)
{
    platform::guarded([&] {
        last_paint_.start();
        QPainter painter(viewport());
        const QRect area = viewport()->rect();
        const LineColors plain = plain_colors();
        const int first = first_visible_line();
        const int last = std::min(source_->line_count(), first + area.height() / line_height_ + 2);
        // The strips widen before anything is placed beside them.
        fit_sender_strip(first, last);
        painter.fillRect(area, plain.background);
        paint_bands(painter, first, last, plain);
        paint_underlay(painter);
        painter.setFont(font());
        const QColor highlight = palette().color(QPalette::Active, QPalette::Highlight);
        const QColor highlighted_text = palette().color(QPalette::Active, QPalette::HighlightedText);

        const int left = text_left();
        const qreal view_from = -left;  // text coordinates of the viewport's left and right edges
        const qreal view_to = view_from + area.width();
        const TextOffset selection_from = selection_start();
        const TextOffset selection_to = selection_from + selection_length();
        const qreal char_width = geometry_.char_width();
        qreal widest = widest_painted_;

        // Draws one line from text x = 0; only characters that meet the viewport are laid out.
        // A long line is laid out from its column mark left of the view, and drawn in pieces of
        // bounded length, so that what is off screen costs nothing.
        const auto draw_line = [&](int index, int y, const QColor& pen) {
            painter.setPen(pen);
            const qreal baseline = y + ascent_;
            const ColumnMark from = source_->mark_before_column(index, geometry_.column_at(view_from));
            const std::string_view line = layout_bytes(index, from);
            const bool whole = from.byte == 0 && line.size() == source_->line_length(index);
            LinePieces piece(geometry_, line, from, whole ? 0 : long_line_piece_bytes);
            for (; !piece.at_end(); piece.next()) {
                const qreal segment_x = piece.x();
                if (piece.in_cells()) {
                    const auto count = static_cast<int>(piece.to() - piece.from());
                    if (segment_x + count * char_width > view_from && segment_x < view_to) {
                        const int skip = std::max(0, static_cast<int>((view_from - segment_x) / char_width) - 1);
                        const int take = std::min(count - skip, static_cast<int>((view_to - segment_x) / char_width) + 2 - skip);
                        if (take > 0)
                            painter.drawText(QPointF(left + segment_x + skip * char_width, baseline),
                                             QString::fromLatin1(line.data() + piece.from() + skip, take));
                    }
                    continue;
                }
                if (segment_x >= view_to)
                    break;  // what lies right of the view is not measured
                if (segment_x + piece.width() > view_from)
                    painter.drawText(QPointF(left + segment_x, baseline), piece.text());
            }
            if (piece.at_end() && whole)
                widest = std::max(widest, piece.x());
        };

        TextOffset start = first < last ? source_->line_start(first) : 0;
        for (int index = first; index < last; ++index) {
            const std::string_view line = source_->line_view(index);
            const int y = (index - first) * line_height_;
            draw_line(index, y, line_colors(index, plain).text);
            const TextOffset end = start + static_cast<TextOffset>(line.size());
            if (selection_to > start && selection_from <= end + 1 && selection_from != selection_to) {
                const auto from_byte = static_cast<std::size_t>(std::max<TextOffset>(selection_from - start, 0));
                const auto to_byte = static_cast<std::size_t>(std::min<TextOffset>(selection_to - start, static_cast<TextOffset>(line.size())));
                qreal x1 = x_in_line(index, from_byte);
                qreal x2 = x_in_line(index, to_byte);
                // A selected line break shows as one selected cell past the line's end.
                if (selection_to > end)
                    x2 += char_width;
                const QRectF band(left + x1, y, x2 - x1, line_height_);
                painter.fillRect(band, highlight);
                painter.save();
                painter.setClipRect(band);
                draw_line(index, y, highlighted_text);
                painter.restore();
            }
            start = end + 2;
        }

        // The overlay repaints whole character cells, so the caret goes on top of it.
        paint_overlay(painter);
        // The strips cover whatever of the text and overlay scrolled left under them.
        paint_strips(painter, first, last);

        if (caret_hidden_ == 0 && caret_on_ && hasFocus() && source_->line_count() >= 0) {
            const QPoint at = position_of_offset(caret_);
            if (at.y() > -line_height_ && at.y() < area.height() && at.x() >= strips_width())
                painter.fillRect(QRect(at.x(), at.y(), 1, line_height_), plain.text);
        }

        if (widest > widest_painted_) {
            // A line wider than the store's column count (wide characters) widens the scroll range.
            widest_painted_ = static_cast<int>(std::ceil(widest));
            update_scroll_ranges();
        }
    });
}

void TextView::paint_bands(QPainter& painter, int first, int last, const LineColors& plain) const
{
    const int width = viewport()->width();
    for (int index = first; index < last; ++index) {
        const LineColors colors = line_colors(index, plain);
        if (colors.band)
            painter.fillRect(QRect(0, (index - first) * line_height_, width, line_height_), colors.background);
    }
}

void TextView::paint_strips(QPainter& painter, int first, int last) const
{
    if (strips_width() == 0)
        return;
    const QColor background = platform::resolve_color(color_);
    const QColor text = platform::resolve_color(font_color_);
    // Halfway between text and background: readable, yet plainly not part of the log.
    const QColor muted = QColor::fromRgbF((text.redF() + background.redF()) / 2, (text.greenF() + background.greenF()) / 2,
                                          (text.blueF() + background.blueF()) / 2);
    painter.fillRect(QRect(0, 0, strips_width(), viewport()->height()), background);
    painter.setPen(muted);
    painter.setFont(font());
    lines::ArrivalTimeFormat format;
    const int sender_x = (show_times_ ? time_width_ : 0) + left_margin;
    platform::PeerAddress shown_sender;  // the address of `sender_text`, formatted once for its run of lines
    QString sender_text;
    for (int index = first; index < last; ++index) {
        const int baseline = (index - first) * line_height_ + ascent_;
        const std::string_view time = show_times_ ? format.text(source_->time(index)) : std::string_view();
        if (!time.empty())
            painter.drawText(QPointF(left_margin, baseline), QString::fromLatin1(time.data(), static_cast<qsizetype>(time.size())));
        const platform::PeerAddress sender = show_senders_ ? source_->sender(index) : platform::PeerAddress();
        if (!sender.known)
            continue;
        if (sender != shown_sender) {
            sender_text = QString::fromStdString(sender.text());
            shown_sender = sender;
        }
        painter.drawText(QPointF(sender_x, baseline), sender_text);
    }
}

void TextView::paint_underlay(QPainter&) {}

void TextView::paint_overlay(QPainter&) {}

}  // namespace colormemo
