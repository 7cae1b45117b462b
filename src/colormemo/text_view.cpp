// The colour memo's text view: layout and painting of the lines on screen, caret and
// selection, editing keys, mouse, clipboard and the context menu.

#include "colormemo/text_view.h"

#include "colormemo/text_codec.h"
#include "platform/error_report.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

namespace colormemo {

namespace {

// Room between the viewport's left edge and the first character, as edit controls keep it.
constexpr int left_margin = 2;
// The clipboard format that carries a selection's exact bytes between memos.
const QString bytes_mime_type = QStringLiteral("application/x-vesmira-bytes");

std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find('\n', from);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(from));
            return parts;
        }
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
}

bool is_word_byte(std::string_view line, std::size_t pos)
{
    const auto byte = static_cast<unsigned char>(line[pos]);
    return byte >= 0x80 || std::isalnum(byte) != 0 || byte == '_';
}

}  // namespace

TextView::TextView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::WheelFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    // paintEvent fills every pixel itself.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    install_text_view_accessibility();
    update_metrics();
    update_scroll_ranges();
}

TextView::~TextView() = default;

// ---------------------------------------------------------------------------------------
// The line list.

std::string TextView::line_text(int index) const { return store_.line_text(index); }

void TextView::append_line(std::string_view line)
{
    const std::string_view one[] = {line};
    append_lines(one);
}

void TextView::append_lines(std::span<const std::string_view> lines)
{
    if (lines.empty())
        return;
    QScrollBar* bar = verticalScrollBar();
    const bool showed_last_line = bar->value() >= bar->maximum();
    const int first_new = store_.line_count();
    const qsizetype accessible_end = QAccessible::isActive() ? accessible_length() : 0;
    store_.append_lines(lines);
    lines_changed_from(first_new);
    if (QAccessible::isActive()) {
        QString added;
        for (const std::string_view line : lines) {
            if (!added.isEmpty() || first_new > 0)
                added += QLatin1Char('\n');
            added += decode_text(line);
        }
        QAccessibleTextInsertEvent event(this, static_cast<int>(accessible_end), added);
        QAccessible::updateAccessibility(&event);
    }
    edited(showed_last_line, true);
}

void TextView::delete_last_line()
{
    if (store_.line_count() == 0)
        throw std::out_of_range("The text view has no line to delete");
    const int last = store_.line_count() - 1;
    QString removed;
    qsizetype accessible_from = 0;
    if (QAccessible::isActive()) {
        accessible_from = accessible_offset_of(last > 0 ? line_start(last) - 2 : 0);
        removed = accessible_text(accessible_from, accessible_length());
    }
    const Position caret_at = position_of(caret_);
    const Position anchor_at = position_of(anchor_);
    store_.delete_last_line();
    lines_changed_from(last);
    caret_ = offset_of_kept(caret_at);
    anchor_ = offset_of_kept(anchor_at);
    if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, static_cast<int>(accessible_from), removed);
        QAccessible::updateAccessibility(&event);
    }
    edited(false, true);
}

void TextView::replace_line(int index, std::string_view text)
{
    QString removed;
    qsizetype accessible_from = 0;
    if (QAccessible::isActive() && index >= 0 && index < store_.line_count()) {
        accessible_from = accessible_offset_of(line_start(index));
        removed = decode_text(store_.line_view(index));
    }
    const Position caret_at = position_of(caret_);
    const Position anchor_at = position_of(anchor_);
    store_.replace_line(index, text);
    lines_changed_from(index);
    caret_ = offset_of_kept(caret_at);
    anchor_ = offset_of_kept(anchor_at);
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, static_cast<int>(accessible_from), removed, decode_text(text));
        QAccessible::updateAccessibility(&event);
    }
    edited(false, true);
}

void TextView::extend_line(int index, std::string_view bytes)
{
    // Temporary: the whole line goes through replace_line until the view learns to extend.
    std::string text = store_.line_text(index);
    text.append(bytes);
    replace_line(index, text);
}

void TextView::clear()
{
    store_.clear();
    lines_changed_from(0);
    caret_ = anchor_ = 0;
    widest_painted_ = 0;
    edited(false, false);
}

void TextView::set_text(std::string_view text)
{
    store_.clear();
    lines_changed_from(0);
    caret_ = anchor_ = 0;
    widest_painted_ = 0;
    if (!text.empty()) {
        const auto lines = split_lines(text);
        store_.append_lines(lines);
    }
    edited(false, false);
}

QString TextView::plain_text() const
{
    QString text;
    for (int i = 0; i < store_.line_count(); ++i) {
        if (i > 0)
            text += QLatin1Char('\n');
        text += decode_text(store_.line_view(i));
    }
    return text;
}

void TextView::edited(bool follow_end, bool from_program)
{
    following_ = from_program;
    if (from_program && within_frame())
        freeze_scroll_bars(true);
    update_scroll_ranges();
    if (follow_end)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    following_ = false;
    if (from_program)
        schedule_repaint();
    else
        viewport()->update();
    emit text_changed();
    if (OnChange)
        OnChange();
    after_text_change();
}

// ---------------------------------------------------------------------------------------
// Offsets and positions.

int TextView::first_visible_line() const { return verticalScrollBar()->value(); }

TextOffset TextView::line_start(int line) const
{
    if (line < 0 || line >= store_.line_count())
        return line == 0 ? 0 : -1;
    return store_.line_start(line);
}

TextOffset TextView::line_length(int line) const
{
    if (line < 0 || line >= store_.line_count())
        return 0;
    return static_cast<TextOffset>(store_.line_length(line));
}

TextView::Position TextView::position_of(TextOffset offset) const
{
    if (store_.line_count() == 0 || offset <= 0)
        return {};
    const int line = store_.line_of_offset(offset);
    const TextOffset start = store_.line_start(line);
    const auto length = static_cast<TextOffset>(store_.line_length(line));
    return {line, static_cast<std::size_t>(std::min(offset - start, length))};
}

TextOffset TextView::offset_of(Position position) const
{
    if (store_.line_count() == 0)
        return 0;
    return store_.line_start(position.line) + static_cast<TextOffset>(position.byte);
}

TextOffset TextView::clamp_offset(TextOffset offset) const
{
    // Every offset the view keeps sits on a character boundary, never inside a line break.
    Position position = position_of(std::clamp<TextOffset>(offset, 0, store_.text_length()));
    if (store_.line_count() > 0)
        position.byte = char_start(store_.line_view(position.line), position.byte);
    return offset_of(position);
}

TextOffset TextView::offset_of_kept(Position position) const
{
    // Caret and anchor stay on their line and column when other lines change; on a line that
    // was removed they go to the end of the text.
    if (store_.line_count() == 0)
        return 0;
    if (position.line >= store_.line_count())
        return store_.text_length();
    const std::string_view line = store_.line_view(position.line);
    return offset_of({position.line, char_start(line, std::min(position.byte, line.size()))});
}

int TextView::text_left() const { return left_margin - horizontalScrollBar()->value(); }

qreal TextView::x_of(std::string_view line, std::size_t byte) const
{
    const std::string_view head = line.substr(0, std::min(byte, line.size()));
    if (fixed_pitch_ && is_plain_ascii(head)) {
        if (head.find('\t') == std::string_view::npos)
            return static_cast<qreal>(head.size()) * char_width_;
        int columns = 0;
        for (const char c : head)
            columns = c == '\t' ? (columns / tab_columns + 1) * tab_columns : columns + 1;
        return columns * char_width_;
    }
    const QFontMetricsF metrics(font());
    qreal x = 0;
    std::size_t pos = 0;
    while (pos < head.size()) {
        const std::size_t length = char_length(head, pos);
        if (head[pos] == '\t') {
            x = (std::floor(x / tab_width_) + 1) * tab_width_;
        } else {
            QString one;
            const char32_t code = display_char(head, pos, length);
            one = QString::fromUcs4(&code, 1);
            x += metrics.horizontalAdvance(one);
        }
        pos += length;
    }
    return x;
}

std::size_t TextView::byte_at_x(std::string_view line, qreal x) const
{
    const QFontMetricsF metrics(font());
    const bool plain = fixed_pitch_ && is_plain_ascii(line);
    qreal left = 0;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t length = char_length(line, pos);
        qreal right;
        if (line[pos] == '\t') {
            right = (std::floor(left / tab_width_) + 1) * tab_width_;
        } else if (plain) {
            right = left + char_width_;
        } else {
            const char32_t code = display_char(line, pos, length);
            right = left + metrics.horizontalAdvance(QString::fromUcs4(&code, 1));
        }
        if (x < (left + right) / 2)
            return pos;
        left = right;
        pos += length;
    }
    return line.size();
}

QPoint TextView::position_of_offset(TextOffset offset) const
{
    const QPointF exact = exact_position_of_offset(offset);
    return {static_cast<int>(std::lround(exact.x())), static_cast<int>(exact.y())};
}

QPointF TextView::exact_position_of_offset(TextOffset offset) const
{
    if (offset < 0 || offset > store_.text_length())
        return {-1, -1};
    const Position position = position_of(offset);
    const int y = (position.line - first_visible_line()) * line_height_;
    if (store_.line_count() == 0)
        return {static_cast<qreal>(text_left()), static_cast<qreal>(y)};
    const qreal x = x_of(store_.line_view(position.line), position.byte);
    return {text_left() + x, static_cast<qreal>(y)};
}

TextOffset TextView::offset_at_point(QPoint point, int* line) const
{
    if (store_.line_count() == 0) {
        if (line != nullptr)
            *line = 0;
        return 0;
    }
    const int row = point.y() >= 0 ? point.y() / line_height_ : -1;
    const int index = std::clamp(first_visible_line() + row, 0, store_.line_count() - 1);
    if (line != nullptr)
        *line = index;
    const std::size_t byte = byte_at_x(store_.line_view(index), point.x() - text_left());
    return store_.line_start(index) + static_cast<TextOffset>(byte);
}

TextOffset TextView::selection_start() const { return std::min(caret_, anchor_); }

TextOffset TextView::selection_length() const { return std::max(caret_, anchor_) - std::min(caret_, anchor_); }

void TextView::set_selection(TextOffset start, TextOffset length)
{
    anchor_ = clamp_offset(start);
    move_caret(clamp_offset(start + std::max<TextOffset>(length, 0)), true);
}

QRect TextView::client_rect() const { return viewport()->rect(); }

void TextView::hide_caret()
{
    ++caret_hidden_;
    update_caret_area();
}

void TextView::show_caret()
{
    if (caret_hidden_ > 0)
        --caret_hidden_;
    update_caret_area();
}

void TextView::draw_string(QPainter& painter, QPointF top_left, std::string_view bytes, const QColor& text_color,
                           const QColor& background, bool underline) const
{
    QFont drawing_font = font();
    drawing_font.setUnderline(underline);
    const QString text = decode_display(bytes);
    const QFontMetricsF metrics(drawing_font);
    painter.save();
    painter.setFont(drawing_font);
    painter.fillRect(QRectF(top_left, QSizeF(metrics.horizontalAdvance(text), line_height_)), background);
    painter.setPen(text_color);
    painter.drawText(QPointF(top_left.x(), top_left.y() + ascent_), text);
    painter.restore();
}

int TextView::string_width(std::string_view bytes) const
{
    return static_cast<int>(std::lround(QFontMetricsF(font()).horizontalAdvance(decode_display(bytes))));
}

// ---------------------------------------------------------------------------------------
// Properties.

void TextView::SetReadOnly(bool value)
{
    read_only_ = value;
    setAttribute(Qt::WA_InputMethodEnabled, !value);
}

void TextView::SetColor(platform::TColor value)
{
    color_ = value;
    viewport()->update();
}

void TextView::SetFontColor(platform::TColor value)
{
    font_color_ = value;
    viewport()->update();
}

// ---------------------------------------------------------------------------------------
// Metrics, scrolling and painting.

void TextView::update_metrics()
{
    const QFontMetricsF metrics(font());
    const QFontMetrics int_metrics(font());
    line_height_ = std::max(1, int_metrics.lineSpacing());
    ascent_ = int_metrics.ascent();
    char_width_ = metrics.horizontalAdvance(QLatin1Char('x'));
    if (char_width_ <= 0)
        char_width_ = 1;
    // Column arithmetic is only exact when every printable ASCII character has the same advance.
    fixed_pitch_ = true;
    for (char c = 0x20; c < 0x7F; ++c) {
        if (metrics.horizontalAdvance(QLatin1Char(c)) != char_width_) {
            fixed_pitch_ = false;
            break;
        }
    }
    tab_width_ = tab_columns * metrics.horizontalAdvance(QLatin1Char(' '));
    if (tab_width_ <= 0)
        tab_width_ = tab_columns;
}

int TextView::visible_line_count() const { return std::max(1, viewport()->height() / line_height_); }

void TextView::update_scroll_ranges()
{
    QScrollBar* vertical = verticalScrollBar();
    const int visible = visible_line_count();
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setRange(0, std::max(0, store_.line_count() - visible));

    QScrollBar* horizontal = horizontalScrollBar();
    const qreal columns_width = static_cast<qreal>(store_.max_columns()) * char_width_;
    const int content = static_cast<int>(std::ceil(std::max<qreal>(columns_width, widest_painted_))) + 2 * left_margin;
    horizontal->setPageStep(std::max(1, viewport()->width()));
    horizontal->setSingleStep(std::max(1, static_cast<int>(char_width_)));
    horizontal->setRange(0, std::max(0, content - viewport()->width()));
}

void TextView::paintEvent(QPaintEvent*)
{
    platform::guarded([&] {
        last_paint_.start();
        QPainter painter(viewport());
        const QRect area = viewport()->rect();
        painter.fillRect(area, platform::resolve_color(color_));
        painter.setFont(font());
        const QColor text_color = platform::resolve_color(font_color_);
        const QColor highlight = palette().color(QPalette::Active, QPalette::Highlight);
        const QColor highlighted_text = palette().color(QPalette::Active, QPalette::HighlightedText);

        const int first = first_visible_line();
        const int last = std::min(store_.line_count(), first + area.height() / line_height_ + 2);
        const int left = text_left();
        const qreal view_from = -left;  // text coordinates of the viewport's left and right edges
        const qreal view_to = view_from + area.width();
        const TextOffset selection_from = selection_start();
        const TextOffset selection_to = selection_from + selection_length();
        const QFontMetricsF metrics(font());
        qreal widest = widest_painted_;

        // Draws one line from text x = 0; only characters that meet the viewport are laid out.
        const auto draw_line = [&](std::string_view line, int y, const QColor& pen) {
            painter.setPen(pen);
            const qreal baseline = y + ascent_;
            if (fixed_pitch_ && is_plain_ascii(line)) {
                int column = 0;
                std::size_t pos = 0;
                while (pos < line.size()) {
                    const std::size_t tab = std::min(line.find('\t', pos), line.size());
                    const qreal segment_x = column * char_width_;
                    const auto count = static_cast<int>(tab - pos);
                    if (segment_x + count * char_width_ > view_from && segment_x < view_to) {
                        const int skip = std::max(0, static_cast<int>((view_from - segment_x) / char_width_) - 1);
                        const int take = std::min(count - skip, static_cast<int>((view_to - segment_x) / char_width_) + 2 - skip);
                        if (take > 0)
                            painter.drawText(QPointF(left + segment_x + skip * char_width_, baseline),
                                             QString::fromLatin1(line.data() + pos + skip, take));
                    }
                    column += count;
                    if (tab < line.size())
                        column = (column / tab_columns + 1) * tab_columns;
                    pos = tab + 1;
                }
                widest = std::max(widest, column * char_width_);
                return;
            }
            qreal x = 0;
            std::size_t pos = 0;
            while (pos < line.size() && x < view_to) {
                const std::size_t tab = std::min(line.find('\t', pos), line.size());
                const QString segment = decode_display(line.substr(pos, tab - pos));
                const qreal width = metrics.horizontalAdvance(segment);
                if (x + width > view_from)
                    painter.drawText(QPointF(left + x, baseline), segment);
                x += width;
                if (tab < line.size())
                    x = (std::floor(x / tab_width_) + 1) * tab_width_;
                pos = tab + 1;
            }
            if (pos >= line.size())
                widest = std::max(widest, x);
        };

        TextOffset start = first < last ? store_.line_start(first) : 0;
        for (int index = first; index < last; ++index) {
            const std::string_view line = store_.line_view(index);
            const int y = (index - first) * line_height_;
            draw_line(line, y, text_color);
            const TextOffset end = start + static_cast<TextOffset>(line.size());
            if (selection_to > start && selection_from <= end + 1 && selection_from != selection_to) {
                const auto from_byte = static_cast<std::size_t>(std::max<TextOffset>(selection_from - start, 0));
                const auto to_byte = static_cast<std::size_t>(std::min<TextOffset>(selection_to - start, static_cast<TextOffset>(line.size())));
                qreal x1 = x_of(line, from_byte);
                qreal x2 = x_of(line, to_byte);
                // A selected line break shows as one selected cell past the line's end.
                if (selection_to > end)
                    x2 += char_width_;
                const QRectF band(left + x1, y, x2 - x1, line_height_);
                painter.fillRect(band, highlight);
                painter.save();
                painter.setClipRect(band);
                draw_line(line, y, highlighted_text);
                painter.restore();
            }
            start = end + 2;
        }

        // The overlay repaints whole character cells, so the caret goes on top of it.
        paint_overlay(painter);

        if (caret_hidden_ == 0 && caret_on_ && hasFocus() && store_.line_count() >= 0) {
            const QPoint at = position_of_offset(caret_);
            if (at.y() > -line_height_ && at.y() < area.height())
                painter.fillRect(QRect(at.x(), at.y(), 1, line_height_), text_color);
        }

        if (widest > widest_painted_) {
            // A line wider than the store's column count (wide characters) widens the scroll range.
            widest_painted_ = static_cast<int>(std::ceil(widest));
            update_scroll_ranges();
        }
    });
}

void TextView::paint_overlay(QPainter&) {}

void TextView::after_text_change() {}

void TextView::after_scroll(Qt::Orientation) {}

void TextView::resizeEvent(QResizeEvent* event)
{
    platform::guarded([&] {
        QScrollBar* bar = verticalScrollBar();
        const bool showed_last_line = bar->value() >= bar->maximum();
        QAbstractScrollArea::resizeEvent(event);
        update_scroll_ranges();
        if (showed_last_line)
            bar->setValue(bar->maximum());
    });
}

namespace {
constexpr qint64 frame_ms = 16;
}

bool TextView::within_frame() const
{
    return frame_timer_.isActive() || (last_paint_.isValid() && last_paint_.elapsed() < frame_ms);
}

void TextView::schedule_repaint()
{
    if (frame_timer_.isActive())
        return;
    const qint64 since = last_paint_.isValid() ? last_paint_.elapsed() : frame_ms;
    if (since >= frame_ms)
        viewport()->update();
    else
        frame_timer_.start(static_cast<int>(frame_ms - since), this);
}

void TextView::freeze_scroll_bars(bool frozen)
{
    // Re-enabling updates repaints the bar once with its latest state.
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()})
        if (bar->updatesEnabled() == frozen)
            bar->setUpdatesEnabled(!frozen);
}

void TextView::scrollContentsBy(int dx, int dy)
{
    platform::guarded([&] {
        if (following_) {
            // Following appended lines is part of the edit, not a scroll-bar action.
            schedule_repaint();
            return;
        }
        viewport()->update();
        if (dy != 0)
            after_scroll(Qt::Vertical);
        if (dx != 0)
            after_scroll(Qt::Horizontal);
    });
}

void TextView::changeEvent(QEvent* event)
{
    platform::guarded([&] {
        if (event->type() == QEvent::FontChange) {
            update_metrics();
            widest_painted_ = 0;
            update_scroll_ranges();
            viewport()->update();
        }
        QAbstractScrollArea::changeEvent(event);
    });
}

void TextView::ensure_caret_visible()
{
    const Position position = position_of(caret_);
    QScrollBar* vertical = verticalScrollBar();
    const int visible = visible_line_count();
    if (position.line < vertical->value())
        vertical->setValue(position.line);
    else if (position.line >= vertical->value() + visible)
        vertical->setValue(position.line - visible + 1);
    if (store_.line_count() == 0)
        return;
    const int x = static_cast<int>(std::lround(x_of(store_.line_view(position.line), position.byte)));
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = viewport()->width();
    const int caret_x = x + left_margin;
    if (caret_x < horizontal->value()) {
        horizontal->setValue(std::max(0, caret_x - width / 4));
    } else if (caret_x + 2 > horizontal->value() + width) {
        if (caret_x + 2 - width + width / 4 > horizontal->maximum())
            horizontal->setMaximum(caret_x + 2 - width + width / 4);
        horizontal->setValue(caret_x + 2 - width + width / 4);
    }
}

// ---------------------------------------------------------------------------------------
// Caret and selection.

void TextView::update_caret_area() { viewport()->update(); }

void TextView::restart_blink()
{
    caret_on_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (flash > 0 && hasFocus())
        blink_timer_.start(flash / 2, this);
    else
        blink_timer_.stop();
}

void TextView::move_caret(TextOffset offset, bool keep_anchor)
{
    const TextOffset old_caret = caret_;
    const TextOffset old_anchor = anchor_;
    caret_ = offset;
    if (!keep_anchor)
        anchor_ = offset;
    restart_blink();
    viewport()->update();
    if (caret_ != old_caret) {
        emit caret_moved();
        if (QAccessible::isActive()) {
            QAccessibleTextCursorEvent event(this, static_cast<int>(accessible_offset_of(caret_)));
            QAccessible::updateAccessibility(&event);
        }
    }
    if (caret_ != old_caret || anchor_ != old_anchor) {
        emit selection_changed();
        if (QAccessible::isActive()) {
            QAccessibleTextSelectionEvent event(this, static_cast<int>(accessible_offset_of(selection_start())),
                                                static_cast<int>(accessible_offset_of(selection_start() + selection_length())));
            QAccessible::updateAccessibility(&event);
        }
    }
}

TextOffset TextView::word_start(TextOffset offset) const
{
    const Position position = position_of(offset);
    if (store_.line_count() == 0)
        return 0;
    const std::string_view line = store_.line_view(position.line);
    std::size_t pos = position.byte;
    while (pos > 0 && !is_word_byte(line, prev_char(line, pos)))
        pos = prev_char(line, pos);
    while (pos > 0 && is_word_byte(line, prev_char(line, pos)))
        pos = prev_char(line, pos);
    return offset_of({position.line, pos});
}

TextOffset TextView::word_end(TextOffset offset) const
{
    const Position position = position_of(offset);
    if (store_.line_count() == 0)
        return 0;
    const std::string_view line = store_.line_view(position.line);
    std::size_t pos = position.byte;
    while (pos < line.size() && is_word_byte(line, pos))
        pos = next_char(line, pos);
    while (pos < line.size() && !is_word_byte(line, pos))
        pos = next_char(line, pos);
    return offset_of({position.line, pos});
}

// ---------------------------------------------------------------------------------------
// Editing.

void TextView::delete_range(TextOffset from, TextOffset to)
{
    const Position first = position_of(from);
    const Position last = position_of(to);
    const std::string_view head = store_.line_view(first.line).substr(0, first.byte);
    std::string joined(head);
    joined += store_.line_view(last.line).substr(last.byte);
    store_.replace_line(first.line, joined);
    store_.erase_lines(first.line + 1, last.line - first.line);
}

void TextView::insert_text(std::string_view utf8)
{
    const Position at = position_of(caret_);
    const std::vector<std::string_view> parts = split_lines(utf8);
    if (store_.line_count() == 0) {
        store_.append_lines(parts);
        const int last_line = static_cast<int>(parts.size()) - 1;
        caret_ = anchor_ = offset_of({last_line, parts.back().size()});
        return;
    }
    const std::string line(store_.line_view(at.line));
    if (parts.size() == 1) {
        std::string changed = line.substr(0, at.byte);
        changed += parts[0];
        changed += std::string_view(line).substr(at.byte);
        store_.replace_line(at.line, changed);
        caret_ = anchor_ = offset_of({at.line, at.byte + parts[0].size()});
        return;
    }
    std::string first = line.substr(0, at.byte);
    first += parts.front();
    std::string last(parts.back());
    last += std::string_view(line).substr(at.byte);
    std::vector<std::string_view> added(parts.begin() + 1, parts.end() - 1);
    added.push_back(last);
    store_.insert_lines(at.line + 1, added);
    store_.replace_line(at.line, first);
    const int caret_line = at.line + static_cast<int>(parts.size()) - 1;
    caret_ = anchor_ = offset_of({caret_line, parts.back().size()});
}

void TextView::replace_selection(std::string_view utf8)
{
    if (read_only_)
        return;
    const TextOffset old_caret = caret_;
    const TextOffset from = selection_start();
    const TextOffset to = from + selection_length();
    if (from == to && utf8.empty())
        return;
    const bool accessible = QAccessible::isActive();
    QString removed;
    qsizetype accessible_from = 0;
    if (accessible) {
        accessible_from = accessible_offset_of(from);
        removed = accessible_text(accessible_from, accessible_offset_of(to));
    }
    if (from != to)
        delete_range(from, to);
    caret_ = anchor_ = from;
    if (!utf8.empty())
        insert_text(utf8);
    lines_changed_from(store_.line_of_offset(from));
    preferred_x_ = -1;
    if (accessible) {
        if (!removed.isEmpty()) {
            QAccessibleTextRemoveEvent event(this, static_cast<int>(accessible_from), removed);
            QAccessible::updateAccessibility(&event);
        }
        if (!utf8.empty()) {
            QAccessibleTextInsertEvent event(this, static_cast<int>(accessible_from),
                                             decode_text(utf8));
            QAccessible::updateAccessibility(&event);
        }
    }
    edited(false, false);
    restart_blink();
    ensure_caret_visible();
    if (caret_ != old_caret)
        emit caret_moved();
    emit selection_changed();
}

void TextView::copy()
{
    if (selection_length() == 0)
        return;
    QApplication::clipboard()->setMimeData(selection_mime());
}

void TextView::cut()
{
    if (read_only_ || selection_length() == 0)
        return;
    copy();
    replace_selection({});
}

void TextView::paste()
{
    if (read_only_)
        return;
    const QMimeData* clipboard_data = QApplication::clipboard()->mimeData();
    if (clipboard_data == nullptr)
        return;
    // Our own selections come back byte for byte; anything else is text, stored as UTF-8.
    if (clipboard_data->hasFormat(bytes_mime_type)) {
        const QByteArray bytes = clipboard_data->data(bytes_mime_type);
        replace_selection(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    } else if (clipboard_data->hasText()) {
        const QByteArray utf8 = clipboard_data->text().toUtf8();
        replace_selection(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    }
}

void TextView::select_all()
{
    anchor_ = 0;
    move_caret(store_.text_length(), true);
}

QMimeData* TextView::selection_mime() const
{
    const Position first = position_of(selection_start());
    const Position last = position_of(selection_start() + selection_length());
    std::string bytes;
    for (int line = first.line; line <= last.line; ++line) {
        const std::string_view text = store_.line_view(line);
        const std::size_t from = line == first.line ? first.byte : 0;
        const std::size_t to = line == last.line ? last.byte : text.size();
        bytes += text.substr(from, to - from);
        if (line != last.line)
            bytes += '\n';
    }
    auto* mime = new QMimeData;
    mime->setText(decode_text(bytes));
    mime->setData(bytes_mime_type, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return mime;
}

QMenu* TextView::create_context_menu()
{
    auto* menu = new QMenu(this);
    const bool has_selection = selection_length() > 0;
    const bool can_paste = !read_only_ && QApplication::clipboard()->mimeData() != nullptr &&
                           (QApplication::clipboard()->mimeData()->hasText() ||
                            QApplication::clipboard()->mimeData()->hasFormat(bytes_mime_type));
    const auto add = [&](const QString& text, const char* name, bool enabled, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [slot] { platform::guarded(slot); });
        return action;
    };
    add(tr("Cu&t"), "cut", has_selection && !read_only_, [this] { cut(); });
    add(tr("&Copy"), "copy", has_selection, [this] { copy(); });
    add(tr("&Paste"), "paste", can_paste, [this] { paste(); });
    add(tr("&Delete"), "delete", has_selection && !read_only_, [this] { replace_selection({}); });
    menu->addSeparator();
    add(tr("Select &All"), "selectAll", store_.text_length() > 0, [this] { select_all(); });
    return menu;
}

void TextView::contextMenuEvent(QContextMenuEvent* event)
{
    platform::guarded([&] {
        QMenu* menu = create_context_menu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    });
}

// ---------------------------------------------------------------------------------------
// Keys.

bool TextView::focusNextPrevChild(bool next)
{
    // With WantTabs the Tab key is text, not a focus move.
    if (want_tabs_ && !read_only_)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TextView::keyPressEvent(QKeyEvent* event)
{
    platform::guarded([&] {
        if (event == QKeySequence::Copy) {
            copy();
            return;
        }
        if (event == QKeySequence::Cut) {
            cut();
            return;
        }
        if (event == QKeySequence::Paste) {
            paste();
            return;
        }
        if (event == QKeySequence::SelectAll) {
            select_all();
            return;
        }

        const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
        const bool control = event->modifiers().testFlag(Qt::ControlModifier);
        const Position at = position_of(caret_);
        const std::string_view line = store_.line_count() > 0 ? store_.line_view(at.line) : std::string_view();
        const int visible = visible_line_count();

        // Up and Down keep the caret's x across shorter lines.
        const auto vertical_move = [&](int lines) {
            if (store_.line_count() == 0)
                return;
            if (preferred_x_ < 0)
                preferred_x_ = x_of(line, at.byte);
            const int target = std::clamp(at.line + lines, 0, store_.line_count() - 1);
            const std::size_t byte = byte_at_x(store_.line_view(target), preferred_x_);
            const qreal keep = preferred_x_;
            move_caret(offset_of({target, byte}), shift);
            preferred_x_ = keep;
        };

        TextOffset target = -1;
        switch (event->key()) {
        case Qt::Key_Left:
            if (at.byte > 0)
                target = control ? word_start(caret_) : offset_of({at.line, prev_char(line, at.byte)});
            else if (at.line > 0)
                target = offset_of({at.line - 1, store_.line_length(at.line - 1)});
            else
                target = caret_;
            break;
        case Qt::Key_Right:
            if (at.byte < line.size())
                target = control ? word_end(caret_) : offset_of({at.line, next_char(line, at.byte)});
            else if (at.line + 1 < store_.line_count())
                target = offset_of({at.line + 1, 0});
            else
                target = caret_;
            break;
        case Qt::Key_Home:
            target = control ? 0 : offset_of({at.line, 0});
            break;
        case Qt::Key_End:
            target = control ? store_.text_length() : offset_of({at.line, line.size()});
            break;
        case Qt::Key_Up:
            vertical_move(-1);
            ensure_caret_visible();
            return;
        case Qt::Key_Down:
            vertical_move(1);
            ensure_caret_visible();
            return;
        case Qt::Key_PageUp:
            verticalScrollBar()->setValue(verticalScrollBar()->value() - visible);
            vertical_move(-visible);
            ensure_caret_visible();
            return;
        case Qt::Key_PageDown:
            verticalScrollBar()->setValue(verticalScrollBar()->value() + visible);
            vertical_move(visible);
            ensure_caret_visible();
            return;
        case Qt::Key_Backspace:
            if (read_only_)
                return;
            if (selection_length() == 0) {
                if (at.byte > 0)
                    anchor_ = offset_of({at.line, prev_char(line, at.byte)});
                else if (at.line > 0)
                    anchor_ = offset_of({at.line - 1, store_.line_length(at.line - 1)});
            }
            replace_selection({});
            return;
        case Qt::Key_Delete:
            if (read_only_)
                return;
            if (shift && selection_length() > 0) {
                cut();
                return;
            }
            if (selection_length() == 0) {
                if (at.byte < line.size())
                    anchor_ = offset_of({at.line, next_char(line, at.byte)});
                else if (at.line + 1 < store_.line_count())
                    anchor_ = offset_of({at.line + 1, 0});
            }
            replace_selection({});
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!read_only_)
                replace_selection("\n");
            return;
        case Qt::Key_Tab:
            if (want_tabs_ && !read_only_ && !control)
                replace_selection("\t");
            else
                event->ignore();
            return;
        case Qt::Key_Insert:
            if (shift) {
                paste();
                return;
            }
            if (control) {
                copy();
                return;
            }
            break;
        default:
            break;
        }
        if (target >= 0) {
            preferred_x_ = -1;
            move_caret(target, shift);
            ensure_caret_visible();
            return;
        }

        const QString text = event->text();
        if (!text.isEmpty() && !control && !event->modifiers().testFlag(Qt::AltModifier) && !read_only_) {
            bool printable = true;
            for (const QChar c : text)
                printable &= c.isPrint() || c == QLatin1Char('\t');
            if (printable) {
                const QByteArray utf8 = text.toUtf8();
                replace_selection(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
                return;
            }
        }
        event->ignore();
    });
}

void TextView::inputMethodEvent(QInputMethodEvent* event)
{
    platform::guarded([&] {
        if (!event->commitString().isEmpty() && !read_only_) {
            const QByteArray utf8 = event->commitString().toUtf8();
            replace_selection(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        }
        event->accept();
    });
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImCursorRectangle: {
        const QPoint at = position_of_offset(caret_);
        return QRect(viewport()->mapToParent(at), QSize(1, line_height_));
    }
    case Qt::ImFont:
        return font();
    case Qt::ImEnabled:
        return !read_only_;
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// ---------------------------------------------------------------------------------------
// Mouse and focus.

void TextView::mousePressEvent(QMouseEvent* event)
{
    platform::guarded([&] {
        if (event->button() != Qt::LeftButton) {
            QAbstractScrollArea::mousePressEvent(event);
            return;
        }
        preferred_x_ = -1;
        const TextOffset offset = offset_at_point(event->position().toPoint());
        move_caret(offset, event->modifiers().testFlag(Qt::ShiftModifier));
        dragging_ = true;
        last_drag_point_ = event->position().toPoint();
    });
}

void TextView::mouseMoveEvent(QMouseEvent* event)
{
    platform::guarded([&] {
        if (!dragging_ || !event->buttons().testFlag(Qt::LeftButton)) {
            QAbstractScrollArea::mouseMoveEvent(event);
            return;
        }
        last_drag_point_ = event->position().toPoint();
        move_caret(offset_at_point(last_drag_point_), true);
        // Dragging past an edge keeps scrolling while the mouse stays there.
        if (viewport()->rect().contains(last_drag_point_))
            drag_scroll_timer_.stop();
        else if (!drag_scroll_timer_.isActive())
            drag_scroll_timer_.start(50, this);
    });
}

void TextView::mouseReleaseEvent(QMouseEvent* event)
{
    platform::guarded([&] {
        if (event->button() == Qt::LeftButton) {
            dragging_ = false;
            drag_scroll_timer_.stop();
            return;
        }
        QAbstractScrollArea::mouseReleaseEvent(event);
    });
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    platform::guarded([&] {
        if (event->button() != Qt::LeftButton || store_.line_count() == 0) {
            QAbstractScrollArea::mouseDoubleClickEvent(event);
            return;
        }
        const TextOffset offset = offset_at_point(event->position().toPoint());
        const Position at = position_of(offset);
        const std::string_view line = store_.line_view(at.line);
        std::size_t from = at.byte;
        std::size_t to = at.byte;
        if (to < line.size() && is_word_byte(line, to)) {
            while (from > 0 && is_word_byte(line, prev_char(line, from)))
                from = prev_char(line, from);
            while (to < line.size() && is_word_byte(line, to))
                to = next_char(line, to);
        }
        anchor_ = offset_of({at.line, from});
        move_caret(offset_of({at.line, to}), true);
    });
}

void TextView::timerEvent(QTimerEvent* event)
{
    platform::guarded([&] {
        if (event->timerId() == frame_timer_.timerId()) {
            frame_timer_.stop();
            freeze_scroll_bars(false);
            viewport()->update();
            return;
        }
        if (event->timerId() == blink_timer_.timerId()) {
            caret_on_ = !caret_on_;
            update_caret_area();
            return;
        }
        if (event->timerId() == drag_scroll_timer_.timerId()) {
            const QRect area = viewport()->rect();
            QScrollBar* vertical = verticalScrollBar();
            if (last_drag_point_.y() < area.top())
                vertical->setValue(vertical->value() - 1);
            else if (last_drag_point_.y() >= area.bottom())
                vertical->setValue(vertical->value() + 1);
            QScrollBar* horizontal = horizontalScrollBar();
            if (last_drag_point_.x() < area.left())
                horizontal->setValue(horizontal->value() - horizontal->singleStep());
            else if (last_drag_point_.x() > area.right())
                horizontal->setValue(horizontal->value() + horizontal->singleStep());
            move_caret(offset_at_point(last_drag_point_), true);
            return;
        }
        QAbstractScrollArea::timerEvent(event);
    });
}

void TextView::focusInEvent(QFocusEvent* event)
{
    platform::guarded([&] {
        restart_blink();
        viewport()->update();
        QAbstractScrollArea::focusInEvent(event);
    });
}

void TextView::focusOutEvent(QFocusEvent* event)
{
    platform::guarded([&] {
        blink_timer_.stop();
        viewport()->update();
        QAbstractScrollArea::focusOutEvent(event);
    });
}

}  // namespace colormemo
