#pragma once
// The text view of the colour memo: a scroll area over a line source that lays out and paints
// only the lines on screen, with caret, selection, clipboard and accessibility. It edits the
// lines of a log it is given; any other source (a filter's lines) it shows read-only.

#include "lines/log_lines.h"
#include "colormemo/text_view_geometry.h"
#include "platform/system_colors.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QFont>
#include <QString>

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QMenu;
class QMimeData;

namespace colormemo {

using lines::ArrivalTime;
using lines::ColumnMark;
using lines::no_arrival_time;
using lines::TextOffset;

// Registers the view's accessibility interface with Qt; every view calls it once.
void install_text_view_accessibility();

class TextView : public QAbstractScrollArea, private lines::LineObserver {
    Q_OBJECT

public:
    explicit TextView(QWidget* parent = nullptr);
    ~TextView() override;

    // What the view shows: a log's lines, which it edits as the user types, or any other
    // source, which it shows read-only. Either outlives the view or is replaced before it goes.
    void set_lines(lines::LogLines& lines);
    void set_source(lines::LineSource& source);
    // Shows no lines: before what it showed goes away.
    void clear_source();
    const lines::LineSource& source() const { return *source_; }
    // The log's lines the view edits; null while it shows another source.
    lines::LogLines* lines() const { return lines_; }

    // --- The line list of the log's lines it edits. Each call is one edit: one change
    // notification and one repaint, whatever the number of lines. ---
    int line_count() const { return source_->line_count(); }
    // The bytes of a line, without its line break.
    std::string line_text(int index) const;
    // Appends lines at the end; the view follows them when it showed the last line. They all
    // arrived at `time`, or each at its own (copies of lines shown elsewhere).
    void append_lines(std::span<const std::string_view> lines, ArrivalTime time = no_arrival_time);
    void append_lines(std::span<const std::string_view> lines, std::span<const ArrivalTime> times);
    void append_line(std::string_view line);
    void delete_last_line();
    void replace_line(int index, std::string_view text);
    // Appends bytes to the end of a line, at a cost in proportion to them; a `time` given
    // becomes the line's arrival time.
    void extend_line(int index, std::string_view bytes, ArrivalTime time = no_arrival_time);
    void clear();
    // Replaces the whole text; text is split into lines at line feeds.
    void set_text(std::string_view text);

    // A strip left of the text showing each line's arrival time (local time, to the millisecond).
    bool shows_arrival_times() const { return show_times_; }
    void set_shows_arrival_times(bool on);
    // A strip left of the text, right of the times, showing the address each line came from
    // (blank for lines nobody sent). It starts as wide as an IPv4 address and widens for a
    // wider one on screen, but never narrows while it shows, so the text doesn't jump about.
    bool shows_sender_addresses() const { return show_senders_; }
    void set_shows_sender_addresses(bool on);

    // The text as a screen reader or the clipboard sees it: lines decoded for display,
    // joined with "\n".
    QString plain_text() const;

    // --- What the colouring pass asks of the view. Offsets count bytes of the text with
    // CR LF between lines (see TextOffset); the display maps each character back to the
    // first byte of its bytes. ---
    TextOffset text_length() const { return source_->text_length(); }
    int first_visible_line() const;
    // Start offset of a line, or -1 for a line past the end.
    TextOffset line_start(int line) const;
    // Byte length of a line without its line break (0 for a line past the end).
    TextOffset line_length(int line) const;
    int line_of_offset(TextOffset offset) const { return source_->line_of_offset(offset); }
    // Client-area position of the top-left corner of the character at `offset` (negative y
    // for lines above the view); (-1, -1) when the offset lies outside the text.
    QPoint position_of_offset(TextOffset offset) const;
    // The same position before rounding: where the painted glyphs really start.
    QPointF exact_position_of_offset(TextOffset offset) const;
    // The same for a byte of a line given by its index, without looking the line up.
    QPointF exact_position_in_line(int line, std::size_t byte) const;
    // Offset of the character boundary nearest to `point`; line receives its line.
    TextOffset offset_at_point(QPoint point, int* line = nullptr) const;
    TextOffset selection_start() const;
    TextOffset selection_length() const;
    // Selects `length` bytes from `start`; the caret goes to the end of the selection.
    void set_selection(TextOffset start, TextOffset length);
    TextOffset caret_offset() const { return caret_; }
    // The viewport's rectangle in its own coordinates, where text is drawn.
    QRect client_rect() const;
    int line_height() const { return line_height_; }
    // Hiding nests: the caret shows again after as many show_caret calls.
    void hide_caret();
    void show_caret();
    // Draws bytes decoded for display with their top-left corner at `top_left`, on an opaque
    // background (none when it is transparent), in the view's font (underlined when asked).
    void draw_string(QPainter& painter, QPointF top_left, std::string_view bytes, const QColor& text_color,
                     const QColor& background, bool underline = false) const;
    // Width in pixels of bytes decoded for display (no tab expansion).
    int string_width(std::string_view bytes) const;

    // --- Memo properties. ---
    // Always true while the view shows a source it can't edit.
    bool ReadOnly() const { return read_only_ || lines_ == nullptr; }
    void SetReadOnly(bool value);
    // When false, Tab moves the focus instead of inserting a TAB.
    bool WantTabs() const { return want_tabs_; }
    void SetWantTabs(bool value) { want_tabs_ = value; }
    // Background and text colours (0x00BBGGRR or system colours).
    platform::TColor Color() const { return color_; }
    void SetColor(platform::TColor value);
    platform::TColor FontColor() const { return font_color_; }
    void SetFontColor(platform::TColor value);

    // Raised after every change of the text, by the program or by the user.
    std::function<void()> OnChange;

    // The context menu with the usual entries; the caller owns the menu.
    QMenu* create_context_menu();

    // Keeps the caret in view.
    void ensure_caret_visible();

    // Whether the view keeps the last line in view as lines are appended. Scrolling to the last
    // line turns it on, scrolling away from it off; turned on, the view goes to the last line.
    bool follows() const { return follow_; }
    void set_follows(bool on);

    // --- For the accessibility interface: positions counted in UTF-16 units of plain_text().
    qsizetype accessible_length() const;
    qsizetype accessible_offset_of(TextOffset offset) const;
    TextOffset offset_of_accessible(qsizetype position) const;
    QString accessible_text(qsizetype start, qsizetype end) const;

public slots:
    void copy();
    void cut();
    void paste();
    void select_all();

signals:
    void text_changed();
    void selection_changed();
    void caret_moved();
    void follows_changed(bool on);

protected:
    // What a line is drawn in: its severity's colours when it has a syslog priority, the memo's
    // otherwise. `band` tells that `background` is a band of its own behind the line.
    struct LineColors {
        QColor text;
        QColor background;
        bool band = false;
    };
    // The memo's own colours, resolved.
    LineColors plain_colors() const;
    // The colours of line `index`, given the memo's own.
    LineColors line_colors(int index, const LineColors& plain) const;

    // Called after the background was filled, before the text is painted: what is drawn here
    // lies behind the glyphs and under the selection.
    virtual void paint_underlay(QPainter& painter);
    // Called after the text was painted, with the painter still on the viewport: the
    // colouring pass draws its overlay here. The caret is painted after it, on top.
    virtual void paint_overlay(QPainter& painter);
    // Called after every text change, once OnChange has run.
    virtual void after_text_change();
    // Called after a scroll-bar action scrolled the view.
    virtual void after_scroll(Qt::Orientation orientation);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Position {
        int line = 0;
        std::size_t byte = 0;
    };

    Position position_of(TextOffset offset) const;
    TextOffset offset_of(Position position) const;
    TextOffset clamp_offset(TextOffset offset) const;
    TextOffset offset_of_kept(Position position) const;
    int visible_line_count() const;
    int text_left() const;
    // Width of the strips left of the text (arrival times, senders); 0 while both are hidden.
    int strips_width() const { return (show_times_ ? time_width_ : 0) + (show_senders_ ? sender_width_ : 0); }
    // Widens the sender strip for the addresses of lines [first, last).
    void fit_sender_strip(int first, int last);
    void paint_strips(QPainter& painter, int first, int last) const;
    // The severity bands behind lines [first, last).
    void paint_bands(QPainter& painter, int first, int last, const LineColors& plain) const;
    lines::LogLines& editable() const;
    // Changes the source; the view starts anew at its top.
    void show_source(lines::LineSource& source, lines::LogLines* editable_lines);
    // What the source tells; edits the view makes itself it handles on its own.
    void before_append() override;
    void lines_appended(int first, int count) override;
    void before_extend(int index) override;
    void line_extended(int index, std::size_t old_length) override;
    void before_drop(int count) override;
    void lines_dropped(int count, TextOffset removed) override;
    void lines_changed(int from) override;
    // Layout of line `index` through the geometry, starting at a long line's column marks.
    std::string_view layout_bytes(int index, ColumnMark from) const;
    qreal x_in_line(int index, std::size_t byte) const;
    std::size_t byte_in_line(int index, qreal x) const;
    void update_metrics();
    void update_scroll_ranges();
    // After every edit. Edits of the line list (line assembly) repaint at most once a frame,
    // so a burst of received lines costs a few paints, not one per chunk.
    void edited(bool follow_end, bool from_program);
    void schedule_repaint();
    bool within_frame() const;
    // Scroll bars repaint on every range change; during a burst they wait for the frame too.
    void freeze_scroll_bars(bool frozen);
    void move_caret(TextOffset offset, bool keep_anchor);
    void replace_selection(std::string_view utf8);
    void delete_range(TextOffset from, TextOffset to);
    void insert_text(std::string_view utf8);
    QMimeData* selection_mime() const;
    void restart_blink();
    void update_caret_area();
    TextOffset word_start(TextOffset offset) const;
    TextOffset word_end(TextOffset offset) const;

    lines::LineSource* source_;
    lines::LogLines* lines_ = nullptr;
    // Set while the view edits its lines itself, so that it doesn't hear its own edits.
    bool own_edit_ = false;
    // Before lines are dropped: the scroll position, and where an extended line ended.
    int top_before_drop_ = 0;
    qsizetype extend_accessible_at_ = -1;
    bool show_times_ = false;
    int time_width_ = 0;
    bool show_senders_ = false;
    // Room for an IPv4 address in the font, and the sender strip's width now, never less.
    int sender_base_width_ = 0;
    int sender_width_ = 0;
    TextOffset caret_ = 0;
    TextOffset anchor_ = 0;
    qreal preferred_x_ = -1;  // the column Up/Down keep while moving through shorter lines
    bool read_only_ = false;
    bool want_tabs_ = false;
    platform::TColor color_ = platform::clWindow;
    platform::TColor font_color_ = platform::clWindowText;
    int caret_hidden_ = 0;
    bool caret_on_ = true;
    bool dragging_ = false;
    QBasicTimer blink_timer_;
    QBasicTimer drag_scroll_timer_;
    QBasicTimer frame_timer_;
    QElapsedTimer last_paint_;
    bool following_ = false;  // the view scrolls itself to follow appended lines
    bool follow_ = true;      // see follows()
    QPoint last_drag_point_;
    // Font metrics, refreshed when the font changes.
    int line_height_ = 1;
    int ascent_ = 0;
    LineGeometry geometry_;
    // The horizontal extent seen while painting, beyond what the store's column count says.
    int widest_painted_ = 0;
    // Cached length of plain_text() (-1 when stale) and the accessible position of every
    // 1024th line. An edit keeps the marks up to its first changed line, so appending
    // while a screen reader listens costs only the appended lines.
    void build_accessible_marks() const;
    void lines_changed_from(int line);
    mutable qsizetype accessible_length_ = -1;
    mutable std::vector<qsizetype> accessible_marks_;

    // While a screen reader listens, received text is told once per frame: the first edit of a
    // frame notes where its insertion begins, and the timer tells everything added since,
    // counting the positions of the new lines as it decodes them. Any other event about the
    // text tells the pending insertion first, so the order holds.
    void accessible_line_extended(int index, std::size_t old_length);
    // Before the first `count` lines are dropped.
    void accessible_lines_dropped(int count);
    void note_accessible_insert();
    void flush_accessible_insert();
    void drop_accessible_insert();
    // Appends the text from `from` up to line `end` as a screen reader reads it, lines joined
    // with "\n" (and one after the last when asked); the positions of the marked lines after
    // the first go to `marks`, counted from `from_position`, the position of `from`.
    void append_reader_text(QString& out, Position from, int end, bool break_after_last,
                            std::vector<qsizetype>* marks = nullptr, qsizetype from_position = 0) const;
    QBasicTimer accessible_timer_;
    qsizetype accessible_insert_from_ = -1;  // -1: nothing pending
    TextOffset accessible_insert_offset_ = 0;
    QString accessible_insert_text_;

    // How far past a long line's column mark layout reads: the distance between marks plus
    // more than any viewport shows.
    static constexpr std::size_t layout_reach = lines::LineStore::long_line_bytes + (std::size_t{16} << 10);
    // Repaints of received text, and the screen reader's insertions, at most once per frame.
    static constexpr int frame_ms = 16;
    // Room between the viewport's left edge (or the strips) and the first character, as edit
    // controls keep it; the times and addresses keep it too.
    static constexpr int left_margin = 2;
};

}  // namespace colormemo
