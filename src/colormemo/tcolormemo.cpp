// The colour memo widget: the text view set up as the log window's memo, plus the colouring
// pass that draws rule, hot-spot and keyword colours over the painted lines.

#include "colormemo/tcolormemo.h"

#include "lines/text_codec.h"
#include "platform/error_report.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

using lines::TextOffset;

namespace {

constexpr std::uint8_t SelectionZOrder = 254;
constexpr std::uint8_t TabZOrder = 255;
constexpr std::uint8_t HotSpotTextZOrder = 252;
constexpr std::uint8_t HotSpotMarkerZOrder = 253;

// The rules count offsets in 32 bits from the region's start; a region stays below that.
constexpr TextOffset RegionLimit = std::numeric_limits<std::int32_t>::max() - 2;

// Restores the painter however a handler leaves it, also when the handler throws.
class PainterState {
public:
    explicit PainterState(QPainter& painter) : painter_(painter) { painter_.save(); }
    ~PainterState() { painter_.restore(); }
    PainterState(const PainterState&) = delete;
    PainterState& operator=(const PainterState&) = delete;

private:
    QPainter& painter_;
};

void check_not_in_pass(bool in_pass)
{
    // Rules and buffers are in use while a pass runs; a handler changing them would pull
    // them from under the scan.
    if (in_pass)
        throw std::logic_error("The colour rules cannot change during a colouring pass");
}

bool is_caret_key(int key)
{
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

}  // namespace

TColorMemo::TColorMemo(QWidget* parent) : colormemo::TextView(parent)
{
    QFont memo_font(QStringLiteral("Courier"));
    memo_font.setPixelSize(15);
    // fontconfig substitutes the face; the hint keeps the substitute fixed-pitch.
    memo_font.setStyleHint(QFont::TypeWriter);
    memo_font.setFixedPitch(true);
    setFont(memo_font);
    // Hot spots change the cursor while the mouse merely passes over them.
    viewport()->setMouseTracking(true);

    // A scroll-bar action is announced before the view moves; the scroll it causes then
    // raises OnVScroll or OnHScroll. Actions at the end of the range move nothing.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int) {
        platform::guarded([&] {
            const QScrollBar* bar = verticalScrollBar();
            FVScrollAction = bar->sliderPosition() != bar->value();
        });
    });
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int) {
        platform::guarded([&] {
            const QScrollBar* bar = horizontalScrollBar();
            FHScrollAction = bar->sliderPosition() != bar->value();
        });
    });
}

TColorMemo::~TColorMemo() = default;

// ---------------------------------------------------------------------------------------
// Properties.

void TColorMemo::SetColorRules(const colormemo::TDrawRules& value)
{
    check_not_in_pass(FInPass);
    FColorRules.Assign(value);
    viewport()->update();
}

void TColorMemo::SetColorLimMax(std::int32_t value)
{
    check_not_in_pass(FInPass);
    FPass.SetColorLimMax(value);
}

void TColorMemo::SetRedrawAlways(bool value)
{
    FRedrawAlways = value;
    viewport()->update();
}

void TColorMemo::SetHotSpot(const colormemo::THotSpot& value)
{
    FHotSpot.Assign(value);
    if (!FHotSpot.Active() && viewport()->cursor().shape() == Qt::PointingHandCursor)
        viewport()->setCursor(Qt::IBeamCursor);
    viewport()->update();
}

colormemo::TColorRule& TColorMemo::add_highlight_rule()
{
    check_not_in_pass(FInPass);
    colormemo::TColorRule& rule = FColorRules.Add();
    rule.SetKeyDrawingType(colormemo::dtKeyShow);
    rule.SetPartWord(true);
    viewport()->update();
    return rule;
}

void TColorMemo::set_find_marks(std::shared_ptr<const find::Pattern> pattern)
{
    FFindMarks = std::move(pattern);
    viewport()->update();
}

QColor TColorMemo::find_mark_color() const { return mark_color_on(platform::resolve_color(Color())); }

QColor TColorMemo::mark_color_on(const QColor& background)
{
    return background.lightness() < 128 ? QColor(0x6B, 0x50, 0x00) : QColor(0xFF, 0xE3, 0x7A);
}

void TColorMemo::recompile_rules()
{
    check_not_in_pass(FInPass);
    for (int i = 0; i < FColorRules.Count(); ++i)
        FColorRules.Items(i).Compile();
    viewport()->update();
}

// ---------------------------------------------------------------------------------------
// The colouring pass.

bool TColorMemo::marks_possible() const
{
    return FFindMarks && !FFindMarks->empty() && FFindMarks->valid();
}

bool TColorMemo::pass_possible() const
{
    return isEnabled() && isVisible() && (FColorRules.Count() > 0 || FHotSpot.Active() || marks_possible());
}

void TColorMemo::request_pass()
{
    if (pass_possible())
        viewport()->update();
}

void TColorMemo::PaintColors(bool LineOnly)
{
    if (FInPass || !pass_possible())
        return;
    QRect area = client_rect();
    if (LineOnly) {
        const int line = line_of_offset(selection_start());
        const int top = position_of_offset(line_start(line)).y();
        area &= QRect(area.left(), top, area.width(), line_height());
    }
    if (!area.isEmpty())
        viewport()->repaint(area);
}

void TColorMemo::paint_underlay(QPainter& painter)
{
    // The pass runs before the text is painted, so the find marks can go behind the glyphs:
    // marked text no run colours needs no drawing of its own.
    FPassReady = false;
    if (FInPass || !pass_possible())
        return;
    guarded_pass([&] {
        FPassReady = make_runs();
        if (FPassReady)
            draw_mark_backgrounds(painter);
    });
}

void TColorMemo::paint_overlay(QPainter& painter)
{
    if (std::exchange(FPassReady, false))
        guarded_pass([&] { draw_runs(painter); });
}

void TColorMemo::guarded_pass(const std::function<void()>& step)
{
    FInPass = true;
    struct Leave {
        bool& in_pass;
        ~Leave() { in_pass = false; }
    } leave{FInPass};
    try {
        step();
    } catch (const std::exception& error) {
        report_later(error.what());
    } catch (...) {
        report_later("Unknown error");
    }
}

void TColorMemo::report_later(std::string message)
{
    // While one report is waiting or shown, the passes its repaints bring report nothing more.
    if (FReportPending)
        return;
    FReportPending = true;
    QPointer<TColorMemo> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, message = std::move(message)] {
            platform::guarded([&] { platform::report_error_message(message); });
            if (self)
                self->FReportPending = false;
        },
        Qt::QueuedConnection);
}

bool TColorMemo::make_runs()
{
    ++FPassCount;

    const TextOffset selection_from = selection_start();
    const TextOffset selection_size = selection_length();
    FColorRules.CompileAll();
    FPass.BeginPass();
    FMarks.clear();
    if (!collect_region())
        return false;
    const unsigned generation = FTextGeneration;
    collect_marks();

    // Producers in priority order for equal z-orders: later ones win.
    if (FHotSpot.Active() && FHotSpot.BeginChar() != '\0')
        colormemo::add_hot_spot_descrs(FPass, FRegionText, FHotSpot);
    if (WantTabs()) {
        for (std::size_t at = FRegionText.find('\t'); at != std::string::npos; at = FRegionText.find('\t', at + 1))
            FPass.Add({static_cast<std::int32_t>(at), static_cast<std::int32_t>(at), Color(), TabZOrder, false});
    }
    if (FRedrawAlways)
        add_memo_descr(line_start(line_of_offset(selection_from)), selection_from, FontColor(), 0);
    // A copy, so a handler that replaces OnDraw does not destroy the one running.
    const colormemo::TDrawEvent on_draw = OnDraw;
    FColorRules.ScanAll(FPass, FRegionText, 0, on_draw);
    if (selection_size > 0)
        add_memo_descr(selection_from, selection_from + selection_size - 1, 0, SelectionZOrder);

    colormemo::MergeRuns(FPass);
    // A handler that changed the text made the region stale; the repaint its change asked
    // for colours the new text.
    return generation == FTextGeneration;
}

TColorMemo::ByteSpan TColorMemo::region_bytes(int line, bool on_screen) const
{
    const std::size_t length = static_cast<std::size_t>(line_length(line));
    if (length < lines::LineStore::long_line_bytes)
        return {0, length};
    // A long line is read only around what shows of it: the columns on screen and this much
    // either side; of a line above the screen, its end, where stretches into the screen start.
    constexpr std::size_t reach = lines::LineStore::long_line_bytes;
    if (!on_screen)
        return {length - reach, length};
    const int y = (line - first_visible_line()) * line_height();
    const auto start = static_cast<std::size_t>(offset_at_point(QPoint(0, y)) - line_start(line));
    const auto end = static_cast<std::size_t>(offset_at_point(QPoint(client_rect().width(), y)) - line_start(line));
    return {start > reach ? start - reach : 0, std::min(length, end + reach)};
}

bool TColorMemo::collect_region()
{
    FRegionText.clear();
    FRegionLines.clear();
    const lines::LineSource& lines = source();
    const int count = lines.line_count();
    if (count == 0)
        return false;

    // The fully visible lines from the first one on screen; a line cut off at the bottom and
    // everything below it stays uncoloured. Lines stand line_height() apart from the first
    // one at the top, so none needs to be looked up to know which fit.
    const int first = first_visible_line();
    const int fitting = client_rect().height() / std::max(line_height(), 1);
    int last = std::min(count - 1, first + fitting - 1);
    if (last < first)
        return false;

    // Bytes the region takes for lines `from` to `to`, each with the CR LF after it when
    // another line follows.
    const auto size_of = [&](int from, int to) {
        TextOffset size = 0;
        for (int line = from; line <= to; ++line) {
            const ByteSpan span = region_bytes(line, line >= first);
            size += static_cast<TextOffset>(span.to - span.from) + (line + 1 < count ? 2 : 0);
        }
        return size;
    };
    while (last > first && size_of(first, last) > RegionLimit)
        --last;
    if (size_of(first, last) > RegionLimit)
        return false;

    // Stretches may start KeyMaxHeight - 1 lines above the first line on screen.
    int from = first;
    if (FColorRules.Count() > 0 && first > 0) {
        const std::int32_t above = FColorRules.Items(0).KeyMaxHeight() - 1;
        if (above > 0)
            from = first - std::min(above, first);
    }
    if (size_of(from, last) > RegionLimit) {
        int too_big = from;  // lowest start known too long; first is known to fit
        int fits = first;
        while (fits - too_big > 1) {
            const int middle = too_big + (fits - too_big) / 2;
            (size_of(middle, last) > RegionLimit ? too_big : fits) = middle;
        }
        from = fits;
    }

    FRegionText.reserve(static_cast<std::size_t>(size_of(from, last)));
    for (int line = from; line <= last; ++line) {
        const ByteSpan span = region_bytes(line, line >= first);
        const std::string_view bytes = lines.line_view(line).substr(span.from, span.to - span.from);
        FRegionLines.push_back({static_cast<std::int32_t>(FRegionText.size()), static_cast<std::int32_t>(bytes.size()),
                                line, line_start(line) + static_cast<TextOffset>(span.from), span.from});
        FRegionText.append(bytes);
        if (line + 1 < count)
            FRegionText.append("\r\n");
    }
    return true;
}

void TColorMemo::collect_marks()
{
    if (!marks_possible())
        return;
    // A copy, as with the handlers: the pass keeps the search it started with.
    const std::shared_ptr<const find::Pattern> pattern = FFindMarks;
    const int first = first_visible_line();
    for (const RegionLine& line : FRegionLines) {
        // Lines above the screen are in the region for stretches only; their marks never show.
        if (line.Line < first)
            continue;
        // The search sees the line from its start, so anchors and look-behinds hold in a long
        // line's window too; it stops at the window's end.
        const std::string_view bytes =
            source().line_view(line.Line).substr(0, line.Skip + static_cast<std::size_t>(line.Length));
        for (std::size_t at = line.Skip; at < bytes.size();) {
            const std::optional<find::Match> match = pattern->find(bytes, at);
            if (!match)
                break;
            if (match->length == 0) {
                at = lines::next_char(bytes, match->start);
                continue;
            }
            const auto from = line.Start + static_cast<std::int32_t>(match->start - line.Skip);
            FMarks.push_back({from, from + static_cast<std::int32_t>(match->length)});
            at = match->end();
        }
    }
}

std::int32_t TColorMemo::region_position(TextOffset offset) const
{
    // The last region line starting at or before the offset; past its bytes (its line break,
    // or the unread rest of a long line) the offset counts as that line's end.
    const auto after = std::upper_bound(FRegionLines.begin(), FRegionLines.end(), offset,
                                        [](TextOffset value, const RegionLine& line) { return value < line.Offset; });
    if (after == FRegionLines.begin())
        return 0;
    const RegionLine& line = *(after - 1);
    const std::int32_t next = after == FRegionLines.end() ? static_cast<std::int32_t>(FRegionText.size()) : after->Start;
    return static_cast<std::int32_t>(std::min<TextOffset>(line.Start + (offset - line.Offset), next - 1));
}

void TColorMemo::add_memo_descr(TextOffset from, TextOffset to, colormemo::TColor color, std::uint8_t z_order)
{
    // Only what lies in the region can be drawn, also when a selection reaches far beyond
    // the screen.
    const RegionLine& last = FRegionLines.back();
    if (to < FRegionLines.front().Offset || from > last.Offset + last.Length + 1)
        return;
    const std::int32_t start = region_position(from);
    const std::int32_t end = region_position(to);
    if (start > end)
        return;
    FPass.Add({start, end, color, z_order, false});
}

void TColorMemo::draw_runs(QPainter& painter)
{
    const TKeyDrawEvent draw_key = OnDrawKey;
    // Runs go on the memo's background, a severity band's line too: their colours are chosen
    // for it, and a keyword then stands out of the band as it does on any other line.
    const QColor background = platform::resolve_color(Color());
    const QColor marked = FMarks.empty() ? background : find_mark_color();
    const unsigned generation = FTextGeneration;
    const std::size_t no_line = FRegionLines.size();
    std::size_t line = 0;          // region line holding the current run's start
    std::size_t clipped = no_line;  // a region line whose runs so far reached past the right edge

    for (const colormemo::TKeyDescr& run : FPass.Runs()) {
        // Selected characters keep the view's selection look, tabs their expansion.
        if (run.StartPos < 0 || run.KeyZOrder == SelectionZOrder || run.KeyZOrder == TabZOrder)
            continue;
        while (line + 1 < FRegionLines.size() && FRegionLines[line + 1].Start <= run.StartPos)
            ++line;
        std::size_t end_line = line;
        while (end_line + 1 < FRegionLines.size() && FRegionLines[end_line + 1].Start <= run.EndPos)
            ++end_line;
        const QColor color = platform::resolve_color(run.KeyColor);
        const std::int32_t after = run.EndPos + 1;

        if (end_line != line) {
            // A run over several lines is drawn plainly, line by line, without the line breaks.
            for (std::size_t k = line; k <= end_line; ++k) {
                const RegionLine& piece = FRegionLines[k];
                draw_piece(painter, k, std::max(run.StartPos, piece.Start), std::min(after, piece.Start + piece.Length),
                           color, background, marked, false);
            }
            clipped = no_line;
            continue;
        }
        if (line == clipped)
            continue;
        const RegionLine& piece = FRegionLines[line];
        const std::int32_t to = std::min(after, piece.Start + piece.Length);
        if (run.StartPos >= to)
            continue;  // nothing but a line break

        if (run.IsKey && draw_key) {
            const std::string_view key(FRegionText.data() + run.StartPos, static_cast<std::size_t>(to - run.StartPos));
            const QPoint top_left = position_of_offset(piece.Offset + (run.StartPos - piece.Start));
            const QRect rect(top_left, QSize(string_width(key), line_height()));
            PainterState state(painter);
            painter.setFont(font());
            painter.setPen(color);
            painter.setBrush(background);
            painter.setBackground(background);
            draw_key(painter, key, rect, FontColor());
            if (generation != FTextGeneration)
                return;
            continue;
        }
        bool beyond = false;
        if (run.KeyZOrder == HotSpotMarkerZOrder)
            beyond = draw_piece(painter, line, run.StartPos, to, color, color, color, false);
        else if (run.KeyZOrder == HotSpotTextZOrder)
            beyond = draw_piece(painter, line, run.StartPos, to, color, background, marked, FHotSpot.Underlined());
        else
            beyond = draw_piece(painter, line, run.StartPos, to, color, background, marked, false);
        if (beyond)
            clipped = line;
    }
}

void TColorMemo::draw_mark_backgrounds(QPainter& painter)
{
    if (FMarks.empty())
        return;
    const LineColors plain = plain_colors();
    for (std::size_t index = 0; index < FRegionLines.size(); ++index) {
        const RegionLine& line = FRegionLines[index];
        fill_marks(painter, index, line.Start, line.Start + line.Length,
                   mark_color_on(line_colors(line.Line, plain).background));
    }
}

std::vector<TColorMemo::MarkSpan>::const_iterator TColorMemo::first_mark_after(std::int32_t position) const
{
    return std::partition_point(FMarks.begin(), FMarks.end(),
                                [position](const MarkSpan& span) { return span.To <= position; });
}

void TColorMemo::fill_cells(QPainter& painter, std::size_t index, QPointF top_left, std::size_t stop,
                            const QColor& color) const
{
    const RegionLine& line = FRegionLines[index];
    const qreal right = exact_position_in_line(line.Line, line.Skip + stop).x();
    painter.fillRect(QRectF(top_left, QPointF(right, top_left.y() + line_height())), color);
}

void TColorMemo::fill_marks(QPainter& painter, std::size_t index, std::int32_t from, std::int32_t to,
                            const QColor& color) const
{
    for (auto mark = first_mark_after(from); mark != FMarks.end() && mark->From < to; ++mark) {
        const bool beyond = for_each_stretch(index, std::max(from, mark->From), std::min(to, mark->To),
                                             [&](std::size_t, std::size_t stop, QPointF top_left) {
                                                 fill_cells(painter, index, top_left, stop, color);
                                             });
        if (beyond)
            return;
    }
}

bool TColorMemo::draw_piece(QPainter& painter, std::size_t index, std::int32_t from, std::int32_t to,
                            const QColor& text, const QColor& background, const QColor& marked, bool underline)
{
    const RegionLine& line = FRegionLines[index];
    const std::string_view bytes(FRegionText.data() + line.Start, static_cast<std::size_t>(line.Length));
    const bool marks = marked != background;
    return for_each_stretch(index, from, to, [&](std::size_t at, std::size_t stop, QPointF top_left) {
        const auto stretch_from = line.Start + static_cast<std::int32_t>(at);
        const auto stretch_to = line.Start + static_cast<std::int32_t>(stop);
        const auto mark = first_mark_after(stretch_from);
        if (!marks || mark == FMarks.end() || mark->From >= stretch_to) {
            draw_string(painter, top_left, bytes.substr(at, stop - at), text, background, underline);
            return;
        }
        // Backgrounds first, then the glyphs once over both: a mark's edge inside the stretch
        // costs a fill, not another string.
        fill_cells(painter, index, top_left, stop, background);
        fill_marks(painter, index, stretch_from, stretch_to, marked);
        draw_string(painter, top_left, bytes.substr(at, stop - at), text, Qt::transparent, underline);
    });
}

bool TColorMemo::for_each_stretch(std::size_t index, std::int32_t from, std::int32_t to, const Stretch& stretch) const
{
    const RegionLine& line = FRegionLines[index];
    if (from >= to)
        return false;
    const int y = (line.Line - first_visible_line()) * line_height();
    if (y + line_height() <= 0 || y >= client_rect().height())
        return false;
    const std::string_view bytes(FRegionText.data() + line.Start, static_cast<std::size_t>(line.Length));
    // Whole characters only, so the drawn glyphs are the ones the view painted.
    std::size_t at = lines::char_start(bytes, static_cast<std::size_t>(from - line.Start));
    std::size_t end = static_cast<std::size_t>(to - line.Start);
    if (end < bytes.size() && lines::char_start(bytes, end) != end)
        end = lines::next_char(bytes, lines::char_start(bytes, end));

    const int right = client_rect().width();
    // Each stretch between tabs goes where the view put it; the tabs keep their expansion.
    while (at < end) {
        const std::size_t tab = std::min(bytes.find('\t', at), end);
        if (tab > at) {
            const QPointF top_left = exact_position_in_line(line.Line, line.Skip + at);
            if (top_left.x() >= right)
                return true;
            stretch(at, tab, top_left);
        }
        at = tab + 1;
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// What brings a pass.

void TColorMemo::after_text_change()
{
    // The view repaints after every change of the text (at most once a frame while lines
    // stream in), and every repaint colours the lines on screen.
    ++FTextGeneration;
}

void TColorMemo::after_scroll(Qt::Orientation orientation)
{
    bool& action = orientation == Qt::Vertical ? FVScrollAction : FHScrollAction;
    if (action) {
        action = false;
        const TMemoNotifyEvent handler = orientation == Qt::Vertical ? OnVScroll : OnHScroll;
        if (handler)
            handler(*this);
    }
    request_pass();
}

void TColorMemo::keyPressEvent(QKeyEvent* event)
{
    platform::guarded([&] {
        // A caret key without modifiers moves on from the end of the selection, whichever end
        // the caret was at.
        const bool modified = (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) != 0;
        if (selection_length() > 0 && !modified && is_caret_key(event->key())) {
            set_selection(selection_start() + selection_length(), 0);
            request_pass();
        }
        TextView::keyPressEvent(event);
    });
}

void TColorMemo::keyReleaseEvent(QKeyEvent* event)
{
    platform::guarded([&] {
        if (event->key() == Qt::Key_Shift && (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0)
            request_pass();
        TextView::keyReleaseEvent(event);
    });
}

void TColorMemo::mousePressEvent(QMouseEvent* event)
{
    platform::guarded([&] {
        TextView::mousePressEvent(event);
        const bool modified = (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) != 0;
        if (event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton && !modified)
            request_pass();
    });
}

void TColorMemo::mouseMoveEvent(QMouseEvent* event)
{
    platform::guarded([&] {
        TextView::mouseMoveEvent(event);
        update_hot_spot_cursor(event->position().toPoint());
    });
}

void TColorMemo::mouseReleaseEvent(QMouseEvent* event)
{
    platform::guarded([&] {
        TextView::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton)
            request_pass();
        int line = 0;
        std::size_t byte = 0;
        if (FHotSpot.Active() && viewport()->cursor().shape() == Qt::PointingHandCursor &&
            hot_spot_at(event->position().toPoint(), line, byte) && OnHotSpotClick) {
            const THotSpotClickEvent handler = OnHotSpotClick;
            handler(*this, colormemo::hot_spot_text(source().line_view(line), byte, FHotSpot));
        }
    });
}

// ---------------------------------------------------------------------------------------
// Hot spots under the mouse.

bool TColorMemo::hot_spot_at(QPoint point, int& line, std::size_t& byte) const
{
    if (line_count() == 0)
        return false;
    int index = 0;
    const TextOffset offset = offset_at_point(point, &index);
    // Below the last line or above the first there is no character under the point.
    const int top = position_of_offset(line_start(index)).y();
    if (point.y() < top || point.y() >= top + line_height())
        return false;
    const std::string_view text = source().line_view(index);
    auto at = static_cast<std::size_t>(offset - line_start(index));
    // offset_at_point gives the nearest boundary; the character under the point is the one
    // whose cell holds it.
    if (at > 0 && exact_position_of_offset(offset).x() > point.x())
        at = lines::prev_char(text, at);
    if (!colormemo::is_on_hot_spot(text, at, FHotSpot))
        return false;
    line = index;
    byte = at;
    return true;
}

void TColorMemo::update_hot_spot_cursor(QPoint point)
{
    int line = 0;
    std::size_t byte = 0;
    const bool on_spot = FHotSpot.Active() && hot_spot_at(point, line, byte);
    const Qt::CursorShape shape = on_spot ? Qt::PointingHandCursor : Qt::IBeamCursor;
    if (viewport()->cursor().shape() != shape)
        viewport()->setCursor(shape);
}
