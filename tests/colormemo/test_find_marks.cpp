// The matches of a find search on screen, marked in the colour memo: the mark colour behind
// exactly the matched characters, the glyphs and rule colours kept, the selection look kept.

#include "memo_window.h"

#include <QScrollBar>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using lines::TextOffset;
using memo_test::same_pixels;
using memo_test::Window;

namespace {

using Spans = std::vector<std::pair<int, int>>;  // byte offset and length in line 0

std::shared_ptr<const find::Pattern> search(const std::string& needle, bool regex = false)
{
    return std::make_shared<const find::Pattern>(needle, find::PatternOptions{false, regex});
}

int count_of(const QImage& image, QRect area, QColor color)
{
    int count = 0;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixel(x, y) == color.rgb() ? 1 : 0;
    return count;
}

// Matched cells: no white left in them (the edge columns may be either), mostly the mark
// colour, and every pixel of full `ink` in the unmarked picture still that.
bool marked(const QImage& unmarked, const QImage& shown, QRect area, QColor mark, QRgb ink)
{
    const QRect inner = area.adjusted(1, 0, -1, 0);
    int cores = 0;
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x) {
            const bool core = unmarked.pixel(x, y) == (ink | 0xFF000000);
            if (shown.pixel(x, y) == 0xFFFFFFFF || (core && shown.pixel(x, y) != unmarked.pixel(x, y)))
                return false;
            cores += core ? 1 : 0;
        }
    return cores > 0 && 2 * count_of(shown, inner, mark) > inner.width() * inner.height();
}

}  // namespace

class TestFindMarks : public QObject {
    Q_OBJECT

private slots:
    void matches_on_screen_are_marked_exactly_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<Spans>("matches");
        QTest::addColumn<bool>("times");
        // The marks follow the text where the arrival time strip moves it.
        for (const bool times : {false, true}) {
            const auto row = [times](const char* name) -> QTestData& {
                return QTest::addRow("%s%s", name, times ? ", beside arrival times" : "");
            };
            row("any case, twice") << QByteArray("Served in 12 ms, served") << "served" << false
                                    << Spans{{0, 6}, {17, 6}} << times;
            row("after a TAB") << QByteArray("ab\tserved ok") << "served" << false << Spans{{3, 6}} << times;
            row("after invalid bytes") << QByteArray("\xFF\xFE\xC3 x served ok") << "served" << false
                                        << Spans{{6, 6}} << times;
            row("expression") << QByteArray("took 12 ms and 7 ms") << "\\d+ ms" << true
                               << Spans{{5, 5}, {15, 4}} << times;
        }
    }

    void matches_on_screen_are_marked_exactly()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, needle);
        QFETCH(bool, regex);
        QFETCH(Spans, matches);
        QFETCH(bool, times);
        Window window(line.toStdString() + "\nno match on this line");
        window.memo->set_shows_arrival_times(times);
        const QImage plain = window.shot();
        window.memo->set_find_marks(search(needle.toStdString(), regex));
        const QImage shown = window.shot();

        int from = 0;  // right of the previous match
        for (const auto& [start, length] : matches) {
            const QRect cells = window.cells(start, length);
            QVERIFY(marked(plain, shown, cells, window.memo->find_mark_color(), 0x000000));
            QVERIFY(same_pixels(plain, shown, QRect(from + 1, cells.top(), cells.left() - from - 2, cells.height())));
            from = cells.right() + 1;
        }
        QVERIFY(same_pixels(plain, shown, window.row(0, from + 1)));
        QVERIFY(same_pixels(plain, shown, window.row(1)));
    }

    void marks_lie_under_rule_colours_and_the_selection()
    {
        Window window("an error here, error there");
        window.memo->add_highlight_rule().Keywords().push_back("error");
        const TextOffset first = window.find("error");
        const TextOffset second = window.find("error there");
        window.memo->set_selection(second + 1, 3);
        const QImage unmarked = window.shot();
        window.memo->set_find_marks(search("err"));
        const QImage shown = window.shot();
        const QColor mark = window.memo->find_mark_color();

        // The keyword keeps its red inside the match, on the mark colour; outside it, on white.
        QVERIFY(marked(unmarked, shown, window.cells(first, 3), mark, 0xFF0000));
        QVERIFY(same_pixels(unmarked, shown, window.cells(first + 3, 2)));
        // Selected characters keep the selection look; the rest of the match is marked.
        QVERIFY(same_pixels(unmarked, shown, window.cells(second + 1, 3)));
        QVERIFY(count_of(shown, window.cells(second, 1), mark) > 0);
    }

    void a_search_alone_brings_marks_and_clearing_it_removes_them()
    {
        Window window("served in 12 ms\nnothing");
        const QImage plain = window.shot();
        QCOMPARE(window.memo->pass_count(), 0);
        window.memo->set_find_marks(search("ms"));
        QVERIFY(count_of(window.shot(), window.cells(window.find("ms"), 2), window.memo->find_mark_color()) > 0);
        QVERIFY(window.memo->pass_count() > 0);

        // A search that cannot match marks nothing, and neither does no search.
        for (auto pattern : {search("(unclosed", true), search(""), std::shared_ptr<const find::Pattern>()}) {
            window.memo->set_find_marks(pattern);
            QVERIFY(same_pixels(plain, window.shot(), plain.rect()));
        }
        QCOMPARE(window.memo->find_marks(), nullptr);
    }

    void a_match_far_into_a_long_line_is_marked_where_it_shows()
    {
        // Long enough that only the part of the line around the screen is read.
        std::string line(300'000, 'x');
        line.replace(200'000, 6, "served");
        Window window(line);
        window.memo->set_find_marks(search("served"));
        const TextOffset at = window.find("served");
        window.memo->horizontalScrollBar()->setValue(window.memo->position_of_offset(at).x() - 100);
        const QRect cells = window.cells(at, 6);
        QVERIFY(window.memo->viewport()->rect().contains(cells));
        const QImage shown = window.shot();
        const QColor mark = window.memo->find_mark_color();
        QVERIFY(2 * count_of(shown, cells, mark) > cells.width() * cells.height());
        QCOMPARE(count_of(shown, QRect(0, cells.top(), cells.left() - 1, cells.height()), mark), 0);
        QCOMPARE(count_of(shown, QRect(cells.right() + 2, cells.top(), 500, cells.height()), mark), 0);
    }

    void the_mark_colour_keeps_the_text_readable_data()
    {
        QTest::addColumn<uint>("background");
        QTest::addColumn<uint>("text");
        QTest::newRow("white, black text") << 0xFFFFFFu << 0x000000u;
        QTest::newRow("black, white text") << 0x000000u << 0xFFFFFFu;
        QTest::newRow("dark blue, light grey text") << 0x402010u << 0xD0D0D0u;
    }

    void the_mark_colour_keeps_the_text_readable()
    {
        QFETCH(uint, background);
        QFETCH(uint, text);
        Window window("served");
        window.memo->SetColor(background);
        const QColor mark = window.memo->find_mark_color();
        // Lightness apart from the text's, apart from the memo's colour, and amber, not red.
        QVERIFY2(std::abs(mark.lightness() - platform::resolve_color(text).lightness()) >= 110,
                 qPrintable(mark.name()));
        const QColor memo = platform::resolve_color(background);
        QVERIFY(std::abs(mark.red() - memo.red()) + std::abs(mark.green() - memo.green()) +
                    std::abs(mark.blue() - memo.blue()) >= 120);
        QVERIFY(mark.hue() >= 30 && mark.hue() <= 60);
    }
};

QTEST_MAIN(TestFindMarks)
#include "test_find_marks.moc"
