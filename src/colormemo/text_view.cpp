// The colour memo's text view: construction, the line list and its change notifications,
// offsets and positions, properties, metrics and scrolling.

#include "colormemo/text_view.h"

#include "colormemo/severity_colors.h"
#include "lines/text_codec.h"
#include "platform/error_report.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace colormemo {

namespace {

// What a view shows before it is given lines.
lines::LogLines& no_lines()
{
    static lines::LogLines empty;
    return empty;
}

}  // namespace

TextView::TextView(QWidget* parent) : QAbstractScrollArea(parent), source_(&no_lines())
{
    source_->add_observer(this);
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

TextView::~TextView() { source_->remove_observer(this); }

// ---------------------------------------------------------------------------------------
// The source and the line list.

void TextView::set_lines(lines::LogLines& lines) { show_source(lines, &lines); }

void TextView::set_source(lines::LineSource& source) { show_source(source, nullptr); }

void TextView::clear_source() { show_source(no_lines(), nullptr); }

void TextView::show_source(lines::LineSource& source, lines::LogLines* editable_lines)
{
    source_->remove_observer(this);
    source_ = &source;
    lines_ = editable_lines;
    source_->add_observer(this);
    lines_changed(0);
}

lines::LogLines& TextView::editable() const
{
    if (lines_ == nullptr)
        throw std::logic_error("The view shows lines it can't edit");
    return *lines_;
}

std::string TextView::line_text(int index) const { return std::string(source_->line_view(index)); }

void TextView::append_line(std::string_view line)
{
    const std::string_view one[] = {line};
    append_lines(one);
}

void TextView::append_lines(std::span<const std::string_view> lines, ArrivalTime time)
{
    editable().append(lines, time);
}

void TextView::append_lines(std::span<const std::string_view> lines, std::span<const ArrivalTime> times)
{
    editable().append(lines, times);
}

void TextView::extend_line(int index, std::string_view bytes, ArrivalTime time)
{
    editable().extend(index, bytes, time);
}

void TextView::before_append()
{
    if (!own_edit_ && QAccessible::isActive())
        note_accessible_insert();
}

void TextView::lines_appended(int first, int)
{
    if (own_edit_)
        return;
    lines_changed_from(first);
    edited(follow_, true);
}

void TextView::before_extend(int index)
{
    extend_accessible_at_ = -1;
    if (own_edit_ || !QAccessible::isActive())
        return;
    // Text added at the very end joins this tick's insertion; anywhere else it is told at once.
    if (index == source_->line_count() - 1) {
        note_accessible_insert();
    } else {
        flush_accessible_insert();
        extend_accessible_at_ =
            accessible_offset_of(source_->line_start(index) + static_cast<TextOffset>(source_->line_length(index)));
    }
}

void TextView::line_extended(int index, std::size_t old_length)
{
    if (own_edit_)
        return;
    const std::size_t length = source_->line_length(index);
    if (length == old_length) {
        if (show_times_)
            schedule_repaint();
        return;
    }
    const TextOffset at = source_->line_start(index) + static_cast<TextOffset>(old_length);
    const auto added = static_cast<TextOffset>(length - old_length);
    if (caret_ > at)
        caret_ += added;
    if (anchor_ > at)
        anchor_ += added;
    accessible_line_extended(index, old_length);
    if (extend_accessible_at_ >= 0) {
        QAccessibleTextInsertEvent event(this, static_cast<int>(extend_accessible_at_),
                                         lines::decode_text(source_->line_view(index).substr(old_length)));
        QAccessible::updateAccessibility(&event);
        extend_accessible_at_ = -1;
    }
    edited(false, true);
}

void TextView::before_drop(int count)
{
    accessible_lines_dropped(count);
    top_before_drop_ = verticalScrollBar()->value();
}

void TextView::lines_dropped(int count, TextOffset removed)
{
    // Caret and anchor stay on their text; in dropped text they go to the start.
    caret_ = std::max<TextOffset>(caret_ - removed, 0);
    anchor_ = std::max<TextOffset>(anchor_ - removed, 0);
    following_ = true;
    update_scroll_ranges();
    // The user who scrolled up keeps seeing the same lines, unless those were dropped.
    if (!follow_)
        verticalScrollBar()->setValue(std::max(top_before_drop_ - count, 0));
    following_ = false;
    edited(follow_, true);
}

void TextView::lines_changed(int from)
{
    if (own_edit_)
        return;
    if (from == 0) {
        drop_accessible_insert();
        lines_changed_from(0);
        caret_ = anchor_ = 0;
        widest_painted_ = 0;
        edited(false, false);
        return;
    }
    const Position caret_at = position_of(std::min(caret_, source_->text_length()));
    const Position anchor_at = position_of(std::min(anchor_, source_->text_length()));
    lines_changed_from(from);
    caret_ = offset_of_kept(caret_at);
    anchor_ = offset_of_kept(anchor_at);
    edited(false, true);
}

void TextView::delete_last_line()
{
    lines::LogLines& lines = editable();
    if (lines.line_count() == 0)
        throw std::out_of_range("The text view has no line to delete");
    const int last = lines.line_count() - 1;
    flush_accessible_insert();
    QString removed;
    qsizetype accessible_from = 0;
    if (QAccessible::isActive()) {
        accessible_from = accessible_offset_of(last > 0 ? line_start(last) - 2 : 0);
        removed = accessible_text(accessible_from, accessible_length());
    }
    const Position caret_at = position_of(caret_);
    const Position anchor_at = position_of(anchor_);
    {
        const QScopedValueRollback quiet(own_edit_, true);
        lines.delete_last_line();
    }
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
    lines::LogLines& lines = editable();
    flush_accessible_insert();
    QString removed;
    qsizetype accessible_from = 0;
    if (QAccessible::isActive() && index >= 0 && index < lines.line_count()) {
        accessible_from = accessible_offset_of(line_start(index));
        removed = lines::decode_text(lines.line_view(index));
    }
    const Position caret_at = position_of(caret_);
    const Position anchor_at = position_of(anchor_);
    {
        const QScopedValueRollback quiet(own_edit_, true);
        lines.replace_line(index, text);
    }
    lines_changed_from(index);
    caret_ = offset_of_kept(caret_at);
    anchor_ = offset_of_kept(anchor_at);
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, static_cast<int>(accessible_from), removed, lines::decode_text(text));
        QAccessible::updateAccessibility(&event);
    }
    edited(false, true);
}

void TextView::clear() { editable().clear(); }

void TextView::set_text(std::string_view text) { editable().set_text(text); }

QString TextView::plain_text() const
{
    QString text;
    append_reader_text(text, {}, source_->line_count(), false);
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
    if (line < 0 || line >= source_->line_count())
        return line == 0 ? 0 : -1;
    return source_->line_start(line);
}

TextOffset TextView::line_length(int line) const
{
    if (line < 0 || line >= source_->line_count())
        return 0;
    return static_cast<TextOffset>(source_->line_length(line));
}

TextView::Position TextView::position_of(TextOffset offset) const
{
    if (source_->line_count() == 0 || offset <= 0)
        return {};
    const int line = source_->line_of_offset(offset);
    const TextOffset start = source_->line_start(line);
    const auto length = static_cast<TextOffset>(source_->line_length(line));
    return {line, static_cast<std::size_t>(std::min(offset - start, length))};
}

TextOffset TextView::offset_of(Position position) const
{
    if (source_->line_count() == 0)
        return 0;
    return source_->line_start(position.line) + static_cast<TextOffset>(position.byte);
}

TextOffset TextView::clamp_offset(TextOffset offset) const
{
    // Every offset the view keeps sits on a character boundary, never inside a line break.
    Position position = position_of(std::clamp<TextOffset>(offset, 0, source_->text_length()));
    if (source_->line_count() > 0)
        position.byte = lines::char_start(source_->line_view(position.line), position.byte);
    return offset_of(position);
}

TextOffset TextView::offset_of_kept(Position position) const
{
    // Caret and anchor stay on their line and column when other lines change; on a line that
    // was removed they go to the end of the text.
    if (source_->line_count() == 0)
        return 0;
    if (position.line >= source_->line_count())
        return source_->text_length();
    const std::string_view line = source_->line_view(position.line);
    return offset_of({position.line, lines::char_start(line, std::min(position.byte, line.size()))});
}

int TextView::text_left() const { return strips_width() + left_margin - horizontalScrollBar()->value(); }

void TextView::set_shows_arrival_times(bool on)
{
    if (show_times_ == on)
        return;
    show_times_ = on;
    update_scroll_ranges();
    viewport()->update();
}

void TextView::set_shows_sender_addresses(bool on)
{
    if (show_senders_ == on)
        return;
    show_senders_ = on;
    // Shown again, it starts narrow again.
    sender_width_ = sender_base_width_;
    update_scroll_ranges();
    viewport()->update();
}

void TextView::fit_sender_strip(int first, int last)
{
    if (!show_senders_)
        return;
    const QFontMetrics metrics(font());
    int widest = sender_width_;
    platform::PeerAddress measured;
    for (int index = first; index < last; ++index) {
        // A sender mostly writes many lines in a row: its address is measured once.
        const platform::PeerAddress sender = source_->sender(index);
        if (sender.known && sender != measured) {
            widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(sender.text() + ' ')));
            measured = sender;
        }
    }
    if (widest > sender_width_) {
        sender_width_ = widest;
        update_scroll_ranges();
    }
}

QPoint TextView::position_of_offset(TextOffset offset) const
{
    const QPointF exact = exact_position_of_offset(offset);
    return {static_cast<int>(std::lround(exact.x())), static_cast<int>(exact.y())};
}

QPointF TextView::exact_position_of_offset(TextOffset offset) const
{
    if (offset < 0 || offset > source_->text_length())
        return {-1, -1};
    if (source_->line_count() == 0)
        return {static_cast<qreal>(text_left()), static_cast<qreal>(-first_visible_line() * line_height_)};
    const Position position = position_of(offset);
    return exact_position_in_line(position.line, position.byte);
}

QPointF TextView::exact_position_in_line(int line, std::size_t byte) const
{
    return {text_left() + x_in_line(line, byte), static_cast<qreal>((line - first_visible_line()) * line_height_)};
}

// A line long enough to keep column marks is laid out from the mark before the place asked for,
// over a bounded stretch after it, so the cost is the same at any column of any line.
std::string_view TextView::layout_bytes(int index, ColumnMark from) const
{
    const std::string_view line = source_->line_view(index);
    if (line.size() < lines::LineStore::long_line_bytes)
        return line;
    return line.substr(0, std::min(line.size(), from.byte + layout_reach));
}

qreal TextView::x_in_line(int index, std::size_t byte) const
{
    const ColumnMark from = source_->mark_before_byte(index, byte);
    return geometry_.x_of(source_->line_view(index), byte, from);
}

std::size_t TextView::byte_in_line(int index, qreal x) const
{
    const ColumnMark from = source_->mark_before_column(index, geometry_.column_at(x));
    return geometry_.byte_at_x(layout_bytes(index, from), x, from);
}

TextOffset TextView::offset_at_point(QPoint point, int* line) const
{
    if (source_->line_count() == 0) {
        if (line != nullptr)
            *line = 0;
        return 0;
    }
    const int row = point.y() >= 0 ? point.y() / line_height_ : -1;
    const int index = std::clamp(first_visible_line() + row, 0, source_->line_count() - 1);
    if (line != nullptr)
        *line = index;
    const std::size_t byte = byte_in_line(index, point.x() - text_left());
    return source_->line_start(index) + static_cast<TextOffset>(byte);
}

QRect TextView::client_rect() const { return viewport()->rect(); }

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

TextView::LineColors TextView::plain_colors() const
{
    return {platform::resolve_color(font_color_), platform::resolve_color(color_)};
}

TextView::LineColors TextView::line_colors(int index, const LineColors& plain) const
{
    const std::uint8_t priority = source_->priority(index);
    if (priority == lines::no_priority)
        return plain;
    const SeverityColors colors = severity_colors(priority & 7, plain.background);
    return {colors.text.value_or(plain.text), colors.band.value_or(plain.background), colors.band.has_value()};
}

// ---------------------------------------------------------------------------------------
// Metrics and scrolling.

void TextView::update_metrics()
{
    const QFontMetrics int_metrics(font());
    line_height_ = std::max(1, int_metrics.lineSpacing());
    // Room for the widest time or IPv4 address and a character's space before what follows.
    time_width_ = int_metrics.horizontalAdvance(QStringLiteral("00:00:00.000 "));
    sender_base_width_ = int_metrics.horizontalAdvance(QStringLiteral("255.255.255.255 "));
    sender_width_ = sender_base_width_;
    ascent_ = int_metrics.ascent();
    geometry_ = LineGeometry(font());
}

int TextView::visible_line_count() const { return std::max(1, viewport()->height() / line_height_); }

void TextView::update_scroll_ranges()
{
    QScrollBar* vertical = verticalScrollBar();
    const int visible = visible_line_count();
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setRange(0, std::max(0, source_->line_count() - visible));

    QScrollBar* horizontal = horizontalScrollBar();
    const qreal columns_width = geometry_.x_of_column(source_->max_columns());
    // A line of a few hundred million characters is wider than a scroll bar can count.
    const qreal widest = std::min<qreal>(std::max<qreal>(columns_width, widest_painted_), std::numeric_limits<int>::max() / 2);
    const int content = static_cast<int>(std::ceil(widest)) + 2 * left_margin;
    // The strips do not scroll: the text scrolls in what is left of the viewport.
    const int text_width = std::max(1, viewport()->width() - strips_width());
    horizontal->setPageStep(text_width);
    horizontal->setSingleStep(std::max(1, static_cast<int>(geometry_.char_width())));
    horizontal->setRange(0, std::max(0, content - text_width));
}

void TextView::set_follows(bool on)
{
    if (on) {
        following_ = true;
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        following_ = false;
    }
    if (follow_ == on)
        return;
    follow_ = on;
    emit follows_changed(on);
}

void TextView::after_text_change() {}

void TextView::after_scroll(Qt::Orientation) {}

void TextView::resizeEvent(QResizeEvent* event)
{
    platform::guarded([&] {
        QAbstractScrollArea::resizeEvent(event);
        update_scroll_ranges();
        if (follow_) {
            following_ = true;
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
            following_ = false;
        }
    });
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
        if (dy != 0) {
            const QScrollBar* bar = verticalScrollBar();
            set_follows(bar->value() >= bar->maximum());
            after_scroll(Qt::Vertical);
        }
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
    if (source_->line_count() == 0)
        return;
    const int x = static_cast<int>(std::lround(x_in_line(position.line, position.byte)));
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = std::max(1, viewport()->width() - strips_width());
    const int caret_x = x + left_margin;
    if (caret_x < horizontal->value()) {
        horizontal->setValue(std::max(0, caret_x - width / 4));
    } else if (caret_x + 2 > horizontal->value() + width) {
        if (caret_x + 2 - width + width / 4 > horizontal->maximum())
            horizontal->setMaximum(caret_x + 2 - width + width / 4);
        horizontal->setValue(caret_x + 2 - width + width / 4);
    }
}

}  // namespace colormemo
