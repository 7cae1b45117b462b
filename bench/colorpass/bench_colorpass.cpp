// Time of one full colouring pass of the memo scrolled to the end of its text, after 10,000
// and after 1,000,000 lines, and after 1,000,000 lines with the matches of a find search
// marked: the pass must cost the lines on screen, never the whole text.

#include "colormemo/tcolormemo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Figures {
    int lines = 0;
    bool find = false;
    int passes = 0;
    double repaint_ms = 0;  // median repaint with its colouring pass
    double plain_ms = 0;    // median repaint of the same screen without rules
    // What the colouring pass itself adds to a repaint.
    double pass_ms() const { return repaint_ms - plain_ms; }
};

double median_ms(const std::function<void()>& step, int runs)
{
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.restart();
        step();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

Figures measure(int total_lines, int runs, bool find)
{
    lines::LogLines lines;
    TColorMemo memo;
    memo.set_lines(lines);
    memo.resize(800, 600);
    memo.show();
    // The log window's rule with a few catchwords, a begin/end rule over several lines and
    // hot spots: every producer of a pass has work.
    colormemo::TColorRule& catchwords = memo.add_highlight_rule();
    catchwords.Keywords() = {"error", "warning", "timeout", "refused", "fatal", "denied", "panic", "retry"};
    catchwords.SetKeyMaxHeight(3);
    memo.ColorRules().Add().SetKeyBegEndLst({"[[;]];green", "/*;*/;#808080"});
    colormemo::THotSpot spot;
    spot.SetActive(true);
    memo.SetHotSpot(spot);
    // The first letter typed into the find bar: several matches on every line.
    if (find)
        memo.set_find_marks(std::make_shared<const find::Pattern>("s", find::PatternOptions{}));

    // 100-byte lines with a catchword in every third, a stretch over lines now and then, and
    // a hot spot in every fifth.
    constexpr int chunk_lines = 650;
    std::vector<std::string> chunk(chunk_lines);
    std::vector<std::string_view> views(chunk_lines);
    for (int appended = 0; appended < total_lines;) {
        const int count = std::min(chunk_lines, total_lines - appended);
        for (int i = 0; i < count; ++i) {
            const int n = appended + i;
            std::string& line = chunk[static_cast<std::size_t>(i)];
            line = std::to_string(n) + " host7 service[42]: ";
            line += n % 3 == 0 ? "connection refused, will retry " : "request served in 12 ms, ok ";
            line += n % 5 == 0 ? "see \x1Emanual\x1F " : "";
            line += n % 17 == 0 ? "[[ opens " : (n % 17 == 2 ? "closes ]] " : "");
            line.resize(100, '.');
            views[static_cast<std::size_t>(i)] = line;
        }
        memo.append_lines(std::span<const std::string_view>(views.data(), static_cast<std::size_t>(count)));
        appended += count;
    }
    QScrollBar* bar = memo.verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();

    Figures figures;
    figures.lines = memo.line_count();
    figures.find = find;
    const int passes_before = memo.pass_count();
    figures.repaint_ms = median_ms([&] { memo.PaintColors(false); }, runs);
    figures.passes = memo.pass_count() - passes_before;
    memo.SetColorRules(colormemo::TDrawRules());
    spot.SetActive(false);
    memo.SetHotSpot(spot);
    memo.set_find_marks(nullptr);
    figures.plain_ms = median_ms([&] { memo.viewport()->repaint(); }, runs);
    return figures;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;

    const Figures small = measure(10'000, runs, false);
    const Figures large = measure(1'000'000, runs, false);
    const Figures marked = measure(1'000'000, runs, true);

    std::printf("one full pass of an 800x600 memo scrolled to the end, median of %d\n", runs);
    std::printf("%12s %6s %10s %16s %18s %14s\n", "lines", "find", "passes", "repaint+pass ms", "plain repaint ms",
                "pass share ms");
    for (const Figures& f : {small, large, marked})
        std::printf("%12d %6s %10d %16.3f %18.3f %14.3f\n", f.lines, f.find ? "marks" : "-", f.passes, f.repaint_ms,
                    f.plain_ms, f.pass_ms());
    std::printf("ratio 1,000,000 / 10,000 lines: %.2f (target at most 2)\n", large.repaint_ms / small.repaint_ms);
    for (const Figures& f : {small, large})
        std::printf("BENCH colorpass lines=%d ms_per_pass=%.3f pass_ms=%.3f\n", f.lines, f.repaint_ms, f.pass_ms());
    std::printf("BENCH colorpass lines=%d find=1 ms_per_pass=%.3f pass_ms=%.3f\n", marked.lines, marked.repaint_ms,
                marked.pass_ms());
    return 0;
}
