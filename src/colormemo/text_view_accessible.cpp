// The text view as a screen reader sees it: its text (lines joined with "\n"), caret and
// selection through Qt's accessibility text interface, in UTF-16 positions.

#include "lines/text_codec.h"
#include "colormemo/text_view.h"

#include <QAccessibleWidget>
#include <QScrollBar>

#include <algorithm>
#include <array>
#include <limits>

namespace colormemo {

namespace {

// Lines per mark of the accessible position index.
constexpr int accessible_mark_lines = 1024;

int clamp_int(qsizetype value)
{
    return static_cast<int>(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

class TextViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TextViewAccessible(TextView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return view()->plain_text();
        return QAccessibleWidget::text(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiLine = true;
        state.selectableText = true;
        state.editable = !view()->ReadOnly();
        state.readOnly = view()->ReadOnly();
        return state;
    }

    void selection(int selection_index, int* start_offset, int* end_offset) const override
    {
        *start_offset = *end_offset = 0;
        if (selection_index != 0 || view()->selection_length() == 0)
            return;
        const TextOffset from = view()->selection_start();
        *start_offset = clamp_int(view()->accessible_offset_of(from));
        *end_offset = clamp_int(view()->accessible_offset_of(from + view()->selection_length()));
    }

    int selectionCount() const override { return view()->selection_length() > 0 ? 1 : 0; }

    void addSelection(int start_offset, int end_offset) override { setSelection(0, start_offset, end_offset); }

    void removeSelection(int selection_index) override
    {
        if (selection_index == 0)
            view()->set_selection(view()->caret_offset(), 0);
    }

    void setSelection(int selection_index, int start_offset, int end_offset) override
    {
        if (selection_index != 0)
            return;
        const TextOffset from = view()->offset_of_accessible(start_offset);
        const TextOffset to = view()->offset_of_accessible(end_offset);
        view()->set_selection(from, to - from);
    }

    int cursorPosition() const override { return clamp_int(view()->accessible_offset_of(view()->caret_offset())); }

    void setCursorPosition(int position) override { view()->set_selection(view()->offset_of_accessible(position), 0); }

    QString text(int start_offset, int end_offset) const override
    {
        return view()->accessible_text(start_offset, end_offset);
    }

    int characterCount() const override { return clamp_int(view()->accessible_length()); }

    QRect characterRect(int offset) const override
    {
        const TextOffset at = view()->offset_of_accessible(offset);
        const QPoint top_left = view()->position_of_offset(at);
        if (top_left.y() < 0)
            return {};
        const int line = view()->line_of_offset(at);
        const std::string line_bytes = view()->line_text(line);
        const auto byte = static_cast<std::size_t>(at - view()->line_start(line));
        const int width = byte < line_bytes.size()
                              ? view()->string_width(std::string_view(line_bytes).substr(byte, lines::char_length(line_bytes, byte)))
                              : 1;
        const QRect local(top_left, QSize(std::max(1, width), view()->line_height()));
        return QRect(view()->viewport()->mapToGlobal(local.topLeft()), local.size());
    }

    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local))
            return -1;
        return clamp_int(view()->accessible_offset_of(view()->offset_at_point(local)));
    }

    void scrollToSubstring(int start_index, int end_index) override
    {
        const TextOffset from = view()->offset_of_accessible(start_index);
        const TextOffset to = view()->offset_of_accessible(end_index);
        view()->set_selection(to, from - to);
        view()->ensure_caret_visible();
    }

    QString attributes(int offset, int* start_offset, int* end_offset) const override
    {
        // One font and colour for the whole text: a single run of no attributes.
        Q_UNUSED(offset);
        *start_offset = 0;
        *end_offset = characterCount();
        return {};
    }

private:
    TextView* view() const { return static_cast<TextView*>(widget()); }
};

QAccessibleInterface* text_view_factory(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<TextView*>(object); view != nullptr && object->isWidgetType())
        return new TextViewAccessible(view);
    return nullptr;
}

}  // namespace

void install_text_view_accessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(text_view_factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void TextView::lines_changed_from(int line)
{
    // Mark k (the position of line k * 1024) depends only on the lines before it.
    const auto keep = static_cast<std::size_t>(std::max(0, line) / accessible_mark_lines + 1);
    if (accessible_marks_.size() > keep)
        accessible_marks_.resize(keep);
    accessible_length_ = -1;
}

void TextView::accessible_line_extended(int index, std::size_t old_length)
{
    // While an insertion is pending, its flush counts what it tells.
    if (!QAccessible::isActive() || accessible_length_ < 0 || accessible_insert_from_ >= 0) {
        lines_changed_from(index);
        return;
    }
    // Only the last few bytes of the old line can read differently now (a character whose
    // bytes came in two pieces); from a boundary before them both readings agree.
    const std::string_view line = source_->line_view(index);
    const std::size_t from = lines::char_start(line, old_length >= 4 ? old_length - 4 : 0);
    const qsizetype added =
        lines::utf16_length(line.substr(from)) - lines::utf16_length(line.substr(from, old_length - from));
    accessible_length_ += added;
    for (std::size_t mark = static_cast<std::size_t>(index / accessible_mark_lines) + 1; mark < accessible_marks_.size(); ++mark)
        accessible_marks_[mark] += added;
}

void TextView::note_accessible_insert()
{
    if (accessible_insert_from_ >= 0)
        return;
    accessible_insert_from_ = accessible_length();
    accessible_insert_offset_ = source_->text_length();
    accessible_timer_.start(frame_ms, this);
}

void TextView::flush_accessible_insert()
{
    accessible_timer_.stop();
    if (accessible_insert_from_ < 0)
        return;
    const qsizetype position = accessible_insert_from_;
    accessible_insert_from_ = -1;
    if (!QAccessible::isActive() || source_->line_count() == 0)
        return;
    // Everything from where the first edit of the tick began: the rest of that line, then the
    // lines after it, as the screen reader's text has them. Only appends came since, so the
    // marks up to that line still hold, and the ones after it are counted on the way.
    const Position first = position_of(std::min(accessible_insert_offset_, source_->text_length()));
    const auto marks_kept = static_cast<std::size_t>(first.line / accessible_mark_lines + 1);
    if (accessible_marks_.size() > marks_kept)
        accessible_marks_.resize(marks_kept);
    const bool marks_complete = accessible_marks_.size() == marks_kept;
    // The buffer is kept from frame to frame: a fresh one of megabytes each frame would cost
    // more in page faults than the decoding itself.
    QString& added = accessible_insert_text_;
    added.resize(0);
    append_reader_text(added, first, source_->line_count(), false, marks_complete ? &accessible_marks_ : nullptr, position);
    accessible_length_ = position + added.size();
    if (!added.isEmpty()) {
        QAccessibleTextInsertEvent event(this, clamp_int(position), added);
        QAccessible::updateAccessibility(&event);
    }
    // A burst's worth is not kept for good.
    if (added.capacity() > (4 << 20))
        added = QString();
}

void TextView::append_reader_text(QString& out, Position from, int end, bool break_after_last,
                                  std::vector<qsizetype>* marks, qsizetype from_position) const
{
    // Room for the most it can take: no character has more UTF-16 units than bytes, and a line
    // break is one unit but two bytes of offset.
    const qsizetype start = out.size();
    out.resize(start + static_cast<qsizetype>(source_->line_start(end) - offset_of(from)));
    QChar* const begin = out.data() + start;
    QChar* write = begin;
    std::array<std::string_view, 256> views;
    for (int line = from.line; line < end;) {
        const std::size_t count =
            source_->line_views(line, std::span(views).first(std::min(views.size(), static_cast<std::size_t>(end - line))));
        for (std::size_t i = 0; i < count; ++i, ++line) {
            std::string_view bytes = views[i];
            if (line == from.line)
                bytes = bytes.substr(from.byte);
            else if (marks != nullptr && line % accessible_mark_lines == 0)
                marks->push_back(from_position + (write - begin));
            write += lines::decode_text_to(write, bytes);
            if (line + 1 < end || break_after_last)
                *write++ = QLatin1Char('\n');
        }
    }
    out.resize(start + (write - begin));
}

void TextView::drop_accessible_insert()
{
    accessible_timer_.stop();
    accessible_insert_from_ = -1;
}

void TextView::accessible_lines_dropped(int count)
{
    if (!QAccessible::isActive()) {
        lines_changed_from(0);
        return;
    }
    // Called before the lines go. What arrived before them is told first, so that the screen
    // reader never hears of text removed that it was not told of.
    flush_accessible_insert();
    QString removed;
    append_reader_text(removed, {}, count, true);
    if (accessible_length_ >= 0)
        accessible_length_ -= removed.size();
    accessible_marks_.clear();
    QAccessibleTextRemoveEvent event(this, 0, removed);
    QAccessible::updateAccessibility(&event);
}

void TextView::build_accessible_marks() const
{
    const auto marks_needed = static_cast<std::size_t>((source_->line_count() + accessible_mark_lines - 1) / accessible_mark_lines);
    if (accessible_length_ >= 0 && accessible_marks_.size() == marks_needed)
        return;
    if (source_->line_count() == 0) {
        accessible_marks_.clear();
        accessible_length_ = 0;
        return;
    }
    const std::size_t resume = accessible_marks_.empty() ? 0 : accessible_marks_.size() - 1;
    qsizetype position = accessible_marks_.empty() ? 0 : accessible_marks_[resume];
    accessible_marks_.resize(resume);
    for (int line = static_cast<int>(resume) * accessible_mark_lines; line < source_->line_count(); ++line) {
        if (line % accessible_mark_lines == 0)
            accessible_marks_.push_back(position);
        position += lines::utf16_length(source_->line_view(line)) + 1;
    }
    // A resumed mark may name a line that no longer exists: then it is the end plus one.
    if (accessible_marks_.empty())
        accessible_marks_.push_back(0);
    accessible_length_ = position - 1;
}

qsizetype TextView::accessible_length() const
{
    if (accessible_length_ < 0)
        build_accessible_marks();
    return accessible_length_;
}

qsizetype TextView::accessible_offset_of(TextOffset offset) const
{
    if (source_->line_count() == 0)
        return 0;
    build_accessible_marks();
    const Position at = position_of(clamp_offset(offset));
    const int first = at.line / accessible_mark_lines * accessible_mark_lines;
    qsizetype position = accessible_marks_[static_cast<std::size_t>(at.line / accessible_mark_lines)];
    for (int line = first; line < at.line; ++line)
        position += lines::utf16_length(source_->line_view(line)) + 1;
    return position + lines::utf16_length(source_->line_view(at.line).substr(0, at.byte));
}

TextOffset TextView::offset_of_accessible(qsizetype position) const
{
    if (source_->line_count() == 0 || position <= 0)
        return 0;
    build_accessible_marks();
    const auto mark = std::upper_bound(accessible_marks_.begin(), accessible_marks_.end(), position) - 1;
    int line = static_cast<int>(mark - accessible_marks_.begin()) * accessible_mark_lines;
    qsizetype line_position = *mark;
    for (;;) {
        const qsizetype length = lines::utf16_length(source_->line_view(line));
        if (position <= line_position + length || line + 1 == source_->line_count())
            break;
        line_position += length + 1;
        ++line;
    }
    // Walk the line's characters; a position inside a surrogate pair rounds down.
    const std::string_view bytes = source_->line_view(line);
    qsizetype remaining = position - line_position;
    std::size_t byte = 0;
    while (byte < bytes.size()) {
        const std::size_t length = lines::char_length(bytes, byte);
        const qsizetype units = length == 4 ? 2 : 1;
        if (remaining < units)
            break;
        remaining -= units;
        byte += length;
    }
    return offset_of({line, byte});
}

QString TextView::accessible_text(qsizetype start, qsizetype end) const
{
    const qsizetype total = accessible_length();
    start = std::clamp<qsizetype>(start, 0, total);
    end = std::clamp<qsizetype>(end, start, total);
    if (start == end)
        return {};
    const Position first = position_of(offset_of_accessible(start));
    const Position last = position_of(offset_of_accessible(end));
    QString text;
    for (int line = first.line; line <= last.line; ++line) {
        const std::string_view bytes = source_->line_view(line);
        const std::size_t from = line == first.line ? first.byte : 0;
        const std::size_t to = line == last.line ? last.byte : bytes.size();
        text += lines::decode_text(bytes.substr(from, to - from));
        if (line != last.line)
            text += QLatin1Char('\n');
    }
    return text;
}

}  // namespace colormemo
