#pragma once
// The colour memo: the log window's editable text view (`memo1`), drawing stretches of its
// text in colour over the normally painted text.

#include "colormemo/colorpass.h"
#include "colormemo/drawrules.h"
#include "colormemo/hotspot.h"
#include "colormemo/text_view.h"
#include "find/pattern.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TColorMemo;

// Draws a single-line keyword run instead of the memo. Canvas carries the memo's font, the
// run's colour as pen and the memo's background colour as brush; PKey holds the run's bytes;
// Rect starts at the run's first character and is as wide as PKey and one line high; KColor
// is the memo's normal text colour.
using TKeyDrawEvent =
    std::function<void(QPainter& Canvas, std::string_view PKey, const QRect& Rect, colormemo::TColor KColor)>;
using THotSpotClickEvent = std::function<void(TColorMemo& Sender, const std::string& SRC)>;
using TMemoNotifyEvent = std::function<void(TColorMemo& Sender)>;

// The line list the log window uses is TextView's: line_count(), line_text(), append_lines(),
// append_line(), delete_last_line(), replace_line(). A fresh memo is empty, editable, in a
// 15-pixel "Courier" font, without wrapping, with both scroll bars, without colour rules and
// with hot spots off; it then paints exactly as the plain text view.
//
// Colouring: every repaint of the view brings a colouring pass over the lines that are fully
// visible (plus KeyMaxHeight - 1 lines above them, for stretches that start there). The pass
// runs before the text is painted, so that find marks lie behind the glyphs, and its runs are
// drawn over the painted text.
// Every other occasion that needs fresh colours (edits, scrolling, caret and selection moves)
// repaints the view, so the colours always follow the text, the selection and the rules.
class TColorMemo : public colormemo::TextView {
    Q_OBJECT

public:
    explicit TColorMemo(QWidget* parent = nullptr);
    ~TColorMemo() override;

    // Called after a scroll-bar action scrolled the view, before the colours are redrawn.
    TMemoNotifyEvent OnVScroll;
    TMemoNotifyEvent OnHScroll;
    // Called when the user clicks a hot spot, with the text between its markers.
    THotSpotClickEvent OnHotSpotClick;
    // Supplies the stretches of dtEventDraw rules (see TDrawEvent).
    colormemo::TDrawEvent OnDraw;
    // When set, draws single-line keyword runs instead of the memo.
    TKeyDrawEvent OnDrawKey;

    // The colour rules, in priority order of their descriptors. Lists edited in place take
    // effect within two passes; recompile_rules() makes them take effect at once.
    colormemo::TDrawRules& ColorRules() { return FColorRules; }
    const colormemo::TDrawRules& ColorRules() const { return FColorRules; }
    // Replaces the rules by copies of the given ones.
    void SetColorRules(const colormemo::TDrawRules& value);
    // Records in the buffer an OnDraw handler fills; 0: event-drawn rules colour nothing.
    std::int32_t ColorLimMax() const { return FPass.ColorLimMax(); }
    void SetColorLimMax(std::int32_t value);
    // True: each pass also redraws the caret's line up to the caret in the normal text colour.
    bool RedrawAlways() const { return FRedrawAlways; }
    void SetRedrawAlways(bool value);
    // Edits through the reference show at the next repaint; SetHotSpot repaints at once.
    colormemo::THotSpot& HotSpot() { return FHotSpot; }
    const colormemo::THotSpot& HotSpot() const { return FHotSpot; }
    void SetHotSpot(const colormemo::THotSpot& value);

    // A colouring pass now. Drawing happens inside a repaint, so this repaints the view
    // synchronously: all of it, or with LineOnly only the line that holds the caret. Does
    // nothing while the memo is hidden or disabled, when it has neither rules nor active hot
    // spots, and when called from inside a pass (from an OnDraw or OnDrawKey handler).
    virtual void PaintColors(bool LineOnly);

    // Adds the log window's highlight rule: dtKeyShow, PartWord True, everything else at its
    // default. Its Keywords list is where the active alerts' catchwords go (see add_keyword
    // and blank_keyword in colorrule.h); call recompile_rules() after such an edit.
    colormemo::TColorRule& add_highlight_rule();
    // Compiles every rule now and repaints, so lists edited in place show at once.
    void recompile_rules();

    // The search whose matches on screen are marked; null: none. Repaints. Marks lie behind
    // whatever colours the text (rules and hot spots keep their text colour inside a match);
    // the selection and tabs keep their look, and so do hot-spot markers and keyword runs an
    // OnDrawKey handler draws. A search alone brings colouring passes, rules or not.
    void set_find_marks(std::shared_ptr<const find::Pattern> pattern);
    const find::Pattern* find_marks() const { return FFindMarks.get(); }
    // The background of marked text: amber, apart from the alert red, light on a light memo
    // and deep on a dark one so that the memo's text colour stays readable on it. Marks on a
    // line's severity band take the deep one, under the band's white text; colour runs in
    // them keep the memo's.
    QColor find_mark_color() const;

    // Colouring passes run so far.
    int pass_count() const { return FPassCount; }

protected:
    void paint_underlay(QPainter& painter) override;
    void paint_overlay(QPainter& painter) override;
    void after_text_change() override;
    void after_scroll(Qt::Orientation orientation) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // One line of the region: where its bytes start in FRegionText, their count, its index, and
    // the memo offset of its first byte there (a long line's bytes in the region may start
    // inside it).
    struct RegionLine {
        std::int32_t Start;
        std::int32_t Length;
        int Line;
        lines::TextOffset Offset;
        std::size_t Skip;  // bytes of the line before those in the region
    };
    // A match of the find marks: region positions [From, To).
    struct MarkSpan {
        std::int32_t From;
        std::int32_t To;
    };
    struct ByteSpan {
        std::size_t from;
        std::size_t to;
    };

    // The mark colour on a background, as find_mark_color() for the memo's.
    static QColor mark_color_on(const QColor& background);
    bool pass_possible() const;
    bool marks_possible() const;
    // Copies the region of this pass into FRegionText; false when no line is fully visible.
    bool collect_region();
    // The bytes of `line` the region holds.
    ByteSpan region_bytes(int line, bool on_screen) const;
    // The region position of a memo offset (see add_memo_descr).
    std::int32_t region_position(lines::TextOffset offset) const;
    void add_memo_descr(lines::TextOffset from, lines::TextOffset to, colormemo::TColor color,
                        std::uint8_t z_order);
    // Runs `step` as part of a pass: rules and buffers are then in use, and its errors are
    // reported once the paint is over.
    void guarded_pass(const std::function<void()>& step);
    // The pass up to the merge: the region, its find marks, the descriptors of every producer
    // and the runs. False when there is nothing to draw.
    bool make_runs();
    // The matches of the find marks on the region's lines on screen, into FMarks.
    void collect_marks();
    // The mark colour behind the marked characters, before the view paints the glyphs.
    void draw_mark_backgrounds(QPainter& painter);
    // The first mark that ends after a region position.
    std::vector<MarkSpan>::const_iterator first_mark_after(std::int32_t position) const;
    // Fills the cells of region line `index` from `top_left` to the one of its byte `stop`.
    void fill_cells(QPainter& painter, std::size_t index, QPointF top_left, std::size_t stop,
                    const QColor& color) const;
    // Fills the cells of the marked bytes among [from, to) of region line `index`, tabs left out.
    void fill_marks(QPainter& painter, std::size_t index, std::int32_t from, std::int32_t to,
                    const QColor& color) const;
    void draw_runs(QPainter& painter);
    // Draws bytes [from, to) of region line `index` at their painted place, on `marked` inside
    // find marks and on `background` elsewhere; true as for_each_stretch.
    bool draw_piece(QPainter& painter, std::size_t index, std::int32_t from, std::int32_t to, const QColor& text,
                    const QColor& background, const QColor& marked, bool underline);
    // Splits bytes [from, to) of region line `index`, widened to whole characters, at tabs
    // (left out: they keep the view's expansion); calls `stretch` for each piece left to right
    // with its bytes [at, stop) in the line and its painted place. Returns true at the first
    // piece right of the viewport, where whatever follows on the line lies too; does nothing
    // for a line off screen.
    using Stretch = std::function<void(std::size_t at, std::size_t stop, QPointF top_left)>;
    bool for_each_stretch(std::size_t index, std::int32_t from, std::int32_t to, const Stretch& stretch) const;
    // Asks for the repaint that brings the next pass (the triggers of a pass).
    void request_pass();
    // Error reports from a pass wait until the paint is over: a modal box must not run its
    // event loop inside a paint event.
    void report_later(std::string message);
    // The line and byte of the character under a viewport point, when it is a hot spot's.
    bool hot_spot_at(QPoint point, int& line, std::size_t& byte) const;
    void update_hot_spot_cursor(QPoint point);

    colormemo::TDrawRules FColorRules;
    colormemo::THotSpot FHotSpot;
    bool FRedrawAlways = false;

    // Pass state, kept so passes reuse the storage: the descriptors, merge cells and event
    // buffer, and the region's bytes with CR LF between lines. Offsets inside a pass count from
    // the region's first byte (each region line knows its memo offset), so the rules' 32-bit
    // offsets hold however long the whole text grows.
    colormemo::TColorPass FPass;
    std::string FRegionText;
    std::vector<RegionLine> FRegionLines;
    std::shared_ptr<const find::Pattern> FFindMarks;
    // The marks of this pass, in position order, not overlapping.
    std::vector<MarkSpan> FMarks;
    bool FInPass = false;
    // Set when the pass before the text was painted left runs to draw over it.
    bool FPassReady = false;
    int FPassCount = 0;
    // Counts text changes, so a pass notices a handler that changed the text under it.
    unsigned FTextGeneration = 0;
    bool FReportPending = false;
    // Set by a scroll-bar action that will move the view; the scroll it causes calls OnVScroll
    // or OnHScroll (scrolls by keys, the caret or appended lines do not).
    bool FVScrollAction = false;
    bool FHScrollAction = false;
};
