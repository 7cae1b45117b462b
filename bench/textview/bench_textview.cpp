// Appending 100-byte lines to the memo in received-size chunks with repaints happening, the
// memory each line costs at ten million lines, one full repaint at the end of that store,
// and splitting and joining a line in its middle.

#include "resident_memory.h"

#include "colormemo/tcolormemo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// CPU time of the whole process: on a shared machine it shows what wall time hides.
double cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void press(TColorMemo& memo, Qt::Key key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&memo, &event);
}

// Counts the paints the view really gets.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int total_lines = 10'000'000;
    if (argc > 1)
        total_lines = std::max(100'000, std::atoi(argv[1]));
    constexpr int line_bytes = 100;
    constexpr int chunk_lines = 650;  // about one 64 KiB read of the socket

    lines::LogLines lines;
    TColorMemo memo;
    memo.set_lines(lines);
    memo.resize(800, 600);
    memo.show();
    QApplication::processEvents();
    PaintCounter counter;
    memo.viewport()->installEventFilter(&counter);

    // Distinct lines: a running number in a fixed 100-byte line.
    std::vector<std::string> chunk(chunk_lines, std::string(line_bytes, '.'));
    std::vector<std::string_view> views(chunk.begin(), chunk.end());
    for (std::string& line : chunk)
        line.replace(20, 22, " the quick brown fox: ");

    const double rss_before = bench::resident_bytes();
    QElapsedTimer timer;
    timer.start();
    const double cpu_before = cpu_seconds();
    int appended = 0;
    int chunks = 0;
    while (appended < total_lines) {
        const int count = std::min(chunk_lines, total_lines - appended);
        for (int i = 0; i < count; ++i) {
            std::snprintf(chunk[static_cast<std::size_t>(i)].data(), 16, "%015d", appended + i);
            chunk[static_cast<std::size_t>(i)][15] = ' ';
        }
        memo.append_lines(std::span<const std::string_view>(views.data(), static_cast<std::size_t>(count)));
        appended += count;
        // The event loop runs between chunks as it does between socket reads: pending
        // repaints happen here.
        QApplication::processEvents();
        ++chunks;
    }
    const double append_seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double append_cpu_seconds = cpu_seconds() - cpu_before;
    const int append_paints = counter.paints;
    const double rss_after = bench::resident_bytes();
    const double lines_per_s = appended / append_seconds;
    const double bytes_per_line = (rss_after - rss_before) / appended;

    // Full repaints of the 800 x 600 view at the end of the store.
    QScrollBar* bar = memo.verticalScrollBar();
    bar->setValue(bar->maximum());
    std::vector<double> paint_us;
    for (int i = 0; i < 300; ++i) {
        timer.restart();
        memo.viewport()->repaint();
        paint_us.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e3);
    }
    std::sort(paint_us.begin(), paint_us.end());
    const double paint_median = paint_us[paint_us.size() / 2];

    // Enter in the middle of the store splits a line; Backspace joins it again.
    const int middle = memo.line_count() / 2;
    memo.set_selection(memo.line_start(middle) + 50, 0);
    timer.restart();
    press(memo, Qt::Key_Return);
    const double split_ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    press(memo, Qt::Key_Backspace);
    const double join_ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    press(memo, Qt::Key_Delete);
    const double type_ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const bool intact = memo.line_count() == total_lines;

    std::printf("%-44s %14s\n", "measure", "value");
    std::printf("%-44s %14d\n", "lines appended (100 bytes each)", appended);
    std::printf("%-44s %14d\n", "chunks (event loop run after each)", chunks);
    std::printf("%-44s %14d\n", "paints of the view while appending", append_paints);
    std::printf("%-44s %14.0f\n", "append rate, lines/s", lines_per_s);
    std::printf("%-44s %14.0f\n", "append rate by process CPU time, lines/s", appended / append_cpu_seconds);
    std::printf("%-44s %14.1f\n", "resident memory per line, bytes", bytes_per_line);
    std::printf("%-44s %14.1f\n", "store's own accounting per line, bytes",
                static_cast<double>(lines.store().memory_bytes()) / appended);
    std::printf("%-44s %14.0f\n", "full repaint 800x600 at the end, median us", paint_median);
    std::printf("%-44s %14.0f\n", "full repaint, 90th percentile us", paint_us[paint_us.size() * 9 / 10]);
    std::printf("%-44s %14.3f\n", "Enter in the middle line, ms", split_ms);
    std::printf("%-44s %14.3f\n", "Backspace joining it again, ms", join_ms);
    std::printf("%-44s %14.3f\n", "Delete of one character, ms", type_ms);
    std::printf("%-44s %14s\n", "line count after the edits", intact ? "unchanged" : "WRONG");
    std::printf("BENCH view paint_us=%.0f lines=%d\n", paint_median, appended);
    std::printf("BENCH textview lines_per_s=%.0f bytes_per_line=%.1f paint_us=%.0f split_ms=%.3f join_ms=%.3f\n",
                lines_per_s, bytes_per_line, paint_median, split_ms, join_ms);
    return intact ? 0 : 1;
}
