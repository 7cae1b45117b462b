// The colour memo as the log window and its user see it: keywords, stretches and hot spots
// drawn in colour exactly over the painted glyphs, on fully visible lines only, with the
// selection look kept, and the keys, mouse and handlers around the colouring.

#include "memo_window.h"
#include "platform/message_box.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <cmath>
#include <string>
#include <vector>

using lines::TextOffset;
using memo_test::same_pixels;
using memo_test::Window;

namespace {

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb black = 0x000000;
constexpr QRgb red = 0xFF0000;
constexpr QRgb blue = 0x0000FF;
constexpr QRgb green = 0x008000;

// Whether a pixel is `color` blended over white: 255 - a * (255 - channel) in every channel.
bool is_blend(QRgb pixel, QRgb color)
{
    const int channels[3][2] = {{qRed(pixel), qRed(color)}, {qGreen(pixel), qGreen(color)}, {qBlue(pixel), qBlue(color)}};
    double coverage = 0;
    int widest = 0;
    for (const auto& [value, target] : channels)
        if (255 - target > widest) {
            widest = 255 - target;
            coverage = (255.0 - value) / widest;
        }
    for (const auto& [value, target] : channels)
        if (std::abs(value - (255.0 - coverage * (255 - target))) > 4)
            return false;
    return true;
}

// Ink that counts: the faintest antialiasing fringe may differ by a sub-pixel glyph offset
// (text after a TAB starts at a fractional position) without anyone seeing it.
bool is_inked(QRgb pixel)
{
    return qRed(pixel) < 240 || qGreen(pixel) < 240 || qBlue(pixel) < 240;
}

// The glyphs of `area` drawn in `color` where the plain picture has its glyphs: the same
// pixels inked, every one of them in that colour, the strongest close to the pure colour
// (glyphs at a fractional position may have no pixel of full coverage).
bool drawn_in(const QImage& plain, const QImage& colored, QRect area, QRgb color)
{
    int inked = 0;
    bool pure = false;
    area &= plain.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb after = colored.pixel(x, y);
            if (is_inked(plain.pixel(x, y)) != is_inked(after) || (after != white && !is_blend(after, color)))
                return false;
            inked += is_inked(after) ? 1 : 0;
            pure |= std::abs(qRed(after) - qRed(color)) <= 48 && std::abs(qGreen(after) - qGreen(color)) <= 48 &&
                    std::abs(qBlue(after) - qBlue(color)) <= 48;
        }
    return inked > 5 && pure;
}
bool drawn_in(const QImage& image, QRect area, QRgb color) { return drawn_in(image, image, area, color); }

void hover(QWidget* viewport, QPoint point)
{
    QMouseEvent move(QEvent::MouseMove, point, viewport->mapToGlobal(point), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

}  // namespace

class TestColorMemo : public QObject {
    Q_OBJECT

private slots:
    void keywords_on_fully_visible_lines_are_red_in_place()
    {
        Window window("an error here\nERROR and myerror\nplain line");
        const QImage plain = window.shot();
        window.memo->add_highlight_rule().Keywords().push_back("error");
        const QImage colored = window.shot();

        const TextOffset hits[] = {window.find("error"), window.find("ERROR", 1), window.find("error", 1)};
        for (const TextOffset hit : hits)
            QVERIFY(drawn_in(plain, colored, window.cells(hit, 5), red));
        // Before, between and after the keywords everything keeps the normal look.
        QVERIFY(same_pixels(plain, colored, window.cells(0, hits[0])));
        QVERIFY(same_pixels(plain, colored, window.row(0, window.cells(hits[0] + 5).x())));
        QVERIFY(same_pixels(plain, colored, window.cells(hits[1] + 5, hits[2] - hits[1] - 5)));
        QVERIFY(same_pixels(plain, colored, window.row(1, window.cells(hits[2] + 5).x())));
        QVERIFY(same_pixels(plain, colored, window.row(2)));
    }

    void partly_visible_bottom_line_stays_plain_until_fully_shown()
    {
        Window window("one\ntwo\nthree\nfour\nerror five");
        const int height = window.memo->line_height();
        window.widget.resize(500, 4 * height + height / 2 + window.memo->horizontalScrollBar()->height() +
                                      2 * window.memo->frameWidth());
        window.memo->verticalScrollBar()->setValue(0);
        window.memo->add_highlight_rule().Keywords().push_back("error");
        const QRect keyword = window.cells(window.find("error", 4), 5);
        QVERIFY(keyword.bottom() >= window.memo->client_rect().height());
        QVERIFY(drawn_in(window.shot(), keyword, black));

        window.memo->verticalScrollBar()->setValue(window.memo->verticalScrollBar()->maximum());
        QVERIFY(drawn_in(window.shot(), window.cells(window.find("error", 4), 5), red));
    }

    void selection_over_a_keyword_shows_the_selection_look()
    {
        Window window("see the error now");
        const TextOffset keyword = window.find("error");
        window.memo->set_selection(keyword + 2, 6);
        const QImage plain = window.shot();
        window.memo->add_highlight_rule().Keywords().push_back("error");
        const QImage colored = window.shot();
        QVERIFY(same_pixels(plain, colored, window.cells(keyword + 2, 6)));
        QVERIFY(drawn_in(plain, colored, window.cells(keyword, 2), red));
    }

    void caret_keys_move_on_from_the_end_of_a_selection_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("caret");   // in "abcdef\r\nghijkl"
        QTest::addColumn<int>("length");  // of the selection after the key
        // The selection covers "cde" (2-5), the caret at its start as Shift+Left leaves it.
        QTest::newRow("Left") << int(Qt::Key_Left) << 0 << 4 << 0;
        QTest::newRow("Home") << int(Qt::Key_Home) << 0 << 0 << 0;
        QTest::newRow("Down") << int(Qt::Key_Down) << 0 << 13 << 0;
        QTest::newRow("Shift+Left extends") << int(Qt::Key_Left) << int(Qt::ShiftModifier) << 1 << 4;
        QTest::newRow("Ctrl+End") << int(Qt::Key_End) << int(Qt::ControlModifier) << 14 << 0;
    }

    void caret_keys_move_on_from_the_end_of_a_selection()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, caret);
        QFETCH(int, length);
        Window window("abcdef\nghijkl");
        window.memo->add_highlight_rule();
        window.memo->set_selection(5, 0);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(window.memo, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(window.memo->caret_offset(), TextOffset(2));
        QTest::keyClick(window.memo, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(window.memo->caret_offset(), TextOffset(caret));
        QCOMPARE(window.memo->selection_length(), TextOffset(length));
    }

    void typing_recolours_the_line()
    {
        Window window("an erro here\nsecond error");
        window.memo->add_highlight_rule().Keywords().push_back("error");
        const QRect keyword = window.cells(window.find("erro"), 5);
        QVERIFY(drawn_in(window.shot(), keyword, black));

        window.memo->set_selection(window.find("erro") + 4, 0);
        QTest::keyClick(window.memo, Qt::Key_R);
        QVERIFY(drawn_in(window.shot(), keyword, red));
        // Enter moves the keyword to a line of its own, still red, and the lines below it too.
        window.memo->set_selection(window.find("error"), 0);
        QTest::keyClick(window.memo, Qt::Key_Return);
        const QImage shown = window.shot();
        QVERIFY(drawn_in(shown, window.cells(window.find("error", 1), 5), red));
        QVERIFY(drawn_in(shown, window.cells(window.find("error", 2), 5), red));
    }

    void tab_splits_a_begin_end_run_data()
    {
        QTest::addColumn<bool>("want_tabs");
        QTest::newRow("WantTabs") << true;
        QTest::newRow("without WantTabs") << false;
    }

    void tab_splits_a_begin_end_run()
    {
        QFETCH(bool, want_tabs);
        Window window("x /*a\tb*/ y");
        window.memo->SetWantTabs(want_tabs);
        const QImage plain = window.shot();
        window.memo->ColorRules().Add().SetKeyBegEndLst({"/*;*/;green"});
        const QImage colored = window.shot();

        const TextOffset tab = window.find("\t");
        QVERIFY(drawn_in(plain, colored, window.cells(window.find("/*"), 3), green));
        QVERIFY(drawn_in(plain, colored, window.cells(tab + 1, 3), green));
        // The TAB keeps its expanded width; the text around the run keeps its look.
        QVERIFY(window.cells(tab).width() > 2 * window.memo->string_width("a"));
        QVERIFY(same_pixels(plain, colored, window.cells(tab)));
        QVERIFY(same_pixels(plain, colored, window.cells(0, 2)));
        QVERIFY(same_pixels(plain, colored, window.row(0, window.cells(tab + 4).x())));
    }

    void hot_spots_are_blue_underlined_links()
    {
        Window window("see \x1Emanual\x1F now\nlone \x1Eopen");
        const QImage plain = window.shot();
        colormemo::THotSpot spot;
        spot.SetActive(true);
        spot.SetMarkerColor(0xFFFFFF);
        window.memo->SetHotSpot(spot);
        const QImage colored = window.shot();

        const TextOffset text = window.find("manual");
        const QRect link = window.cells(text, 6);
        QVERIFY(drawn_in(colored, link, blue));
        // Underlined: some row across the word is blue where the plain picture is blank.
        bool underlined = false;
        for (int y = link.top(); y <= link.bottom(); ++y) {
            bool whole_row = true;
            for (int x = link.left() + 1; x < link.right(); ++x)
                whole_row &= colored.pixel(x, y) != white && plain.pixel(x, y) == white;
            underlined |= whole_row;
        }
        QVERIFY(underlined);
        // The markers vanish in the marker colour; a lone begin marker is left as painted.
        QImage blank(colored.size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        for (const TextOffset marker : {text - 1, text + 6}) {
            QVERIFY(!same_pixels(blank, plain, window.cells(marker)));
            QVERIFY(same_pixels(blank, colored, window.cells(marker)));
        }
        QVERIFY(same_pixels(plain, colored, window.row(1)));

        std::vector<std::string> clicked;
        window.memo->OnHotSpotClick = [&](TColorMemo& sender, const std::string& src) {
            QCOMPARE(&sender, window.memo);
            clicked.push_back(src);
        };
        QWidget* viewport = window.memo->viewport();
        // Right parts of cells: the character under the point counts, not the nearest boundary.
        const QPoint right_part(window.memo->string_width("m") - 2, window.memo->line_height() / 2);
        const auto point_at = [&](TextOffset offset) { return window.cells(offset).topLeft() + right_part; };
        hover(viewport, point_at(window.find("see")));
        QCOMPARE(viewport->cursor().shape(), Qt::IBeamCursor);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, point_at(window.find("see")));
        for (const TextOffset at : {text + 3, text + 6}) {  // inside the text, on the end marker
            hover(viewport, point_at(at));
            QCOMPARE(viewport->cursor().shape(), Qt::PointingHandCursor);
            QTest::mouseClick(viewport, Qt::LeftButton, {}, point_at(at));
        }
        QCOMPARE(clicked, (std::vector<std::string>{"manual", "manual"}));
        hover(viewport, point_at(window.find("open", 1)));
        QCOMPARE(viewport->cursor().shape(), Qt::IBeamCursor);
    }

    void draw_key_gets_single_line_keyword_runs_only()
    {
        Window window("alpha omega\nnext /* x */");
        const QImage plain = window.shot();
        // The second keyword reaches over the line break.
        window.memo->add_highlight_rule().Keywords() = {"alpha", "omega\r\nnext"};
        window.memo->ColorRules().Add().SetKeyBegEndLst({"/*;*/;green"});
        std::vector<std::pair<std::string, QRect>> handed;
        window.memo->OnDrawKey = [&](QPainter& canvas, std::string_view key, const QRect& rect, colormemo::TColor normal) {
            QCOMPARE(canvas.pen().color(), QColor(Qt::red));
            QCOMPARE(normal, colormemo::TColor(0x000000));
            handed.emplace_back(std::string(key), rect);
        };
        const QImage colored = window.shot();

        QCOMPARE(handed, (std::vector<std::pair<std::string, QRect>>{{"alpha", window.cells(0, 5)}}));
        // The handler drew nothing there; the memo drew everything else.
        QVERIFY(same_pixels(plain, colored, window.cells(0, 5)));
        QVERIFY(drawn_in(plain, colored, window.cells(window.find("omega"), 5), red));
        QVERIFY(drawn_in(plain, colored, window.cells(window.find("next", 1), 4), red));
        QVERIFY(drawn_in(plain, colored, window.cells(window.find("/*", 1), 7), green));
    }

    void stretches_from_above_the_screen_data()
    {
        QTest::addColumn<int>("key_max_height");
        QTest::addColumn<QRgb>("color");
        // The stretch opens on line 0, one line above the first line on screen.
        QTest::newRow("1: scanning starts on screen") << 1 << black;
        QTest::newRow("2: one line above is scanned") << 2 << green;
    }

    void stretches_from_above_the_screen()
    {
        QFETCH(int, key_max_height);
        QFETCH(QRgb, color);
        Window window("<< opens\ninside\nshuts >>" + std::string(40 * 7, '\n'));
        colormemo::TColorRule& rule = window.memo->ColorRules().Add();
        rule.SetKeyBegEndLst({"<<;>>;green"});
        rule.SetKeyMaxHeight(key_max_height);
        window.memo->verticalScrollBar()->setValue(1);
        const QImage shown = window.shot();
        QVERIFY(drawn_in(shown, window.row(1), color));
        QVERIFY(drawn_in(shown, window.row(2), color));
    }

    void no_rules_and_no_hot_spots_mean_no_pass()
    {
        Window window("an error here");
        window.shot();
        window.memo->PaintColors(false);
        QCOMPARE(window.memo->pass_count(), 0);
        colormemo::THotSpot spot;
        spot.SetActive(true);
        window.memo->SetHotSpot(spot);
        window.shot();
        QVERIFY(window.memo->pass_count() > 0);
    }

    void scroll_bar_actions_raise_the_scroll_events()
    {
        Window window(std::string(100, 'x') + std::string(100, '\n'));
        int vertical = 0;
        int horizontal = 0;
        window.memo->OnVScroll = [&](TColorMemo&) { ++vertical; };
        window.memo->OnHScroll = [&](TColorMemo&) { ++horizontal; };
        window.memo->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        window.memo->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(std::pair(vertical, horizontal), std::pair(1, 1));
        // An action that moves nothing, and scrolling by keys, raise nothing.
        window.memo->verticalScrollBar()->setValue(0);
        window.memo->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QTest::keyClick(window.memo, Qt::Key_PageDown);
        QVERIFY(window.memo->verticalScrollBar()->value() > 0);
        QCOMPARE(vertical, 1);
    }

    void handlers_that_change_the_memo_during_a_pass_do_no_harm()
    {
        std::vector<QString> reports;
        platform::set_message_box_handler([&](const QString& text, const QString&, platform::MessageIcon) {
            reports.push_back(text);
            return platform::MessageAnswer::Ok;
        });
        Window window("first error line\nsecond");
        window.memo->SetColorLimMax(4);
        window.memo->add_highlight_rule().Keywords().push_back("error");
        window.memo->ColorRules().Add().SetKeyDrawingType(colormemo::dtEventDraw);
        int calls = 0;
        window.memo->OnDraw = [&](colormemo::TColorRule&, std::string_view region, std::span<colormemo::TKeyDescr>,
                                  std::int32_t&) {
            QVERIFY(region.starts_with("first error line\r\nsecond"));
            if (++calls == 1) {
                window.memo->PaintColors(false);  // ignored: a pass is running
                window.memo->append_line("appended error");
                window.memo->SetColorLimMax(8);  // refused while the buffer is in use
            }
        };
        window.shot();
        QCOMPARE(window.memo->ColorLimMax(), 4);
        QCOMPARE(window.memo->line_count(), 3);
        // The refusal is reported once the paint is over, not inside it.
        QTRY_COMPARE(reports.size(), std::size_t(1));
        QVERIFY(reports[0].contains(QStringLiteral("colouring pass")));
        QVERIFY(drawn_in(window.shot(), window.cells(window.find("error", 2), 5), red));
        platform::set_message_box_handler({});
    }
};

QTEST_MAIN(TestColorMemo)
#include "test_color_memo.moc"
