// The text view's input: caret and selection, editing, keys, the input method, mouse, focus
// and the caret's and drag's timers.

#include "colormemo/text_view.h"

#include "lines/text_codec.h"
#include "platform/error_report.h"

#include <QAccessible>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace colormemo {

namespace {

bool is_word_byte(std::string_view line, std::size_t pos)
{
    const auto byte = static_cast<unsigned char>(line[pos]);
    return byte >= 0x80 || std::isalnum(byte) != 0 || byte == '_';
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Caret and selection.

TextOffset TextView::selection_start() const { return std::min(caret_, anchor_); }

TextOffset TextView::selection_length() const { return std::max(caret_, anchor_) - std::min(caret_, anchor_); }

void TextView::set_selection(TextOffset start, TextOffset length)
{
    anchor_ = clamp_offset(start);
    move_caret(clamp_offset(start + std::max<TextOffset>(length, 0)), true);
}

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
            flush_accessible_insert();
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
    if (source_->line_count() == 0)
        return 0;
    const std::string_view line = source_->line_view(position.line);
    std::size_t pos = position.byte;
    while (pos > 0 && !is_word_byte(line, lines::prev_char(line, pos)))
        pos = lines::prev_char(line, pos);
    while (pos > 0 && is_word_byte(line, lines::prev_char(line, pos)))
        pos = lines::prev_char(line, pos);
    return offset_of({position.line, pos});
}

TextOffset TextView::word_end(TextOffset offset) const
{
    const Position position = position_of(offset);
    if (source_->line_count() == 0)
        return 0;
    const std::string_view line = source_->line_view(position.line);
    std::size_t pos = position.byte;
    while (pos < line.size() && is_word_byte(line, pos))
        pos = lines::next_char(line, pos);
    while (pos < line.size() && !is_word_byte(line, pos))
        pos = lines::next_char(line, pos);
    return offset_of({position.line, pos});
}

// ---------------------------------------------------------------------------------------
// Editing.

void TextView::delete_range(TextOffset from, TextOffset to)
{
    lines::LogLines& lines = editable();
    const Position first = position_of(from);
    const Position last = position_of(to);
    const std::string_view head = lines.line_view(first.line).substr(0, first.byte);
    std::string joined(head);
    joined += lines.line_view(last.line).substr(last.byte);
    const QScopedValueRollback quiet(own_edit_, true);
    lines.replace_line(first.line, joined);
    lines.erase_lines(first.line + 1, last.line - first.line);
}

void TextView::insert_text(std::string_view utf8)
{
    lines::LogLines& lines = editable();
    const QScopedValueRollback quiet(own_edit_, true);
    const Position at = position_of(caret_);
    const std::vector<std::string_view> parts = lines::split_lines(utf8);
    if (lines.line_count() == 0) {
        lines.append(parts);
        const int last_line = static_cast<int>(parts.size()) - 1;
        caret_ = anchor_ = offset_of({last_line, parts.back().size()});
        return;
    }
    const std::string line(lines.line_view(at.line));
    if (parts.size() == 1) {
        std::string changed = line.substr(0, at.byte);
        changed += parts[0];
        changed += std::string_view(line).substr(at.byte);
        lines.replace_line(at.line, changed);
        caret_ = anchor_ = offset_of({at.line, at.byte + parts[0].size()});
        return;
    }
    std::string first = line.substr(0, at.byte);
    first += parts.front();
    std::string last(parts.back());
    last += std::string_view(line).substr(at.byte);
    std::vector<std::string_view> added(parts.begin() + 1, parts.end() - 1);
    added.push_back(last);
    // The line's time stays with its text: split at its start, the text moves down with it.
    lines.insert_lines(at.line + 1, added, at.byte == 0 ? at.line : at.line + 1);
    lines.replace_line(at.line, first);
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
        flush_accessible_insert();
        accessible_from = accessible_offset_of(from);
        removed = accessible_text(accessible_from, accessible_offset_of(to));
    }
    if (from != to)
        delete_range(from, to);
    caret_ = anchor_ = from;
    if (!utf8.empty())
        insert_text(utf8);
    lines_changed_from(source_->line_of_offset(from));
    preferred_x_ = -1;
    if (accessible) {
        if (!removed.isEmpty()) {
            QAccessibleTextRemoveEvent event(this, static_cast<int>(accessible_from), removed);
            QAccessible::updateAccessibility(&event);
        }
        if (!utf8.empty()) {
            QAccessibleTextInsertEvent event(this, static_cast<int>(accessible_from),
                                             lines::decode_text(utf8));
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
        const std::string_view line = source_->line_count() > 0 ? source_->line_view(at.line) : std::string_view();
        const int visible = visible_line_count();

        // Up and Down keep the caret's x across shorter lines.
        const auto vertical_move = [&](int lines) {
            if (source_->line_count() == 0)
                return;
            if (preferred_x_ < 0)
                preferred_x_ = x_in_line(at.line, at.byte);
            const int target = std::clamp(at.line + lines, 0, source_->line_count() - 1);
            const std::size_t byte = byte_in_line(target, preferred_x_);
            const qreal keep = preferred_x_;
            move_caret(offset_of({target, byte}), shift);
            preferred_x_ = keep;
        };

        TextOffset target = -1;
        switch (event->key()) {
        case Qt::Key_Left:
            if (at.byte > 0)
                target = control ? word_start(caret_) : offset_of({at.line, lines::prev_char(line, at.byte)});
            else if (at.line > 0)
                target = offset_of({at.line - 1, source_->line_length(at.line - 1)});
            else
                target = caret_;
            break;
        case Qt::Key_Right:
            if (at.byte < line.size())
                target = control ? word_end(caret_) : offset_of({at.line, lines::next_char(line, at.byte)});
            else if (at.line + 1 < source_->line_count())
                target = offset_of({at.line + 1, 0});
            else
                target = caret_;
            break;
        case Qt::Key_Home:
            target = control ? 0 : offset_of({at.line, 0});
            break;
        case Qt::Key_End:
            target = control ? source_->text_length() : offset_of({at.line, line.size()});
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
                    anchor_ = offset_of({at.line, lines::prev_char(line, at.byte)});
                else if (at.line > 0)
                    anchor_ = offset_of({at.line - 1, source_->line_length(at.line - 1)});
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
                    anchor_ = offset_of({at.line, lines::next_char(line, at.byte)});
                else if (at.line + 1 < source_->line_count())
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
        if (event->button() != Qt::LeftButton || source_->line_count() == 0) {
            QAbstractScrollArea::mouseDoubleClickEvent(event);
            return;
        }
        const TextOffset offset = offset_at_point(event->position().toPoint());
        const Position at = position_of(offset);
        const std::string_view line = source_->line_view(at.line);
        std::size_t from = at.byte;
        std::size_t to = at.byte;
        if (to < line.size() && is_word_byte(line, to)) {
            while (from > 0 && is_word_byte(line, lines::prev_char(line, from)))
                from = lines::prev_char(line, from);
            while (to < line.size() && is_word_byte(line, to))
                to = lines::next_char(line, to);
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
        if (event->timerId() == accessible_timer_.timerId()) {
            flush_accessible_insert();
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
            if (last_drag_point_.x() < area.left() + strips_width())
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
