// How long an alert holds the GUI thread: opening and starting a sound (done inside line
// reception), closing it (done in the notification handler), and painting a title bar.

#include "alerts/tgradientcaption.h"
#include "alerts/tmediaplayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QByteArray silent_wave(int milliseconds)
{
    const quint32 data_size = static_cast<quint32>(8000 * milliseconds / 1000 * 2);
    QByteArray file(44, '\0');
    char* p = file.data();
    memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(36 + data_size, p + 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);
    qToLittleEndian<quint16>(1, p + 22);
    qToLittleEndian<quint32>(8000, p + 24);
    qToLittleEndian<quint32>(16000, p + 28);
    qToLittleEndian<quint16>(2, p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(data_size, p + 40);
    file.append(QByteArray(static_cast<qsizetype>(data_size), '\0'));
    return file;
}

struct Stats {
    double median = 0;
    double max = 0;
};

Stats stats(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

double ms(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alert.wav"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(silent_wave(2000)) < 0)
            return 1;
    }

    TMediaPlayer player;
    QElapsedTimer timer;
    timer.start();
    player.SetFileName(path);
    player.OpenDevice();
    player.StartPlayback();
    const double first_open = ms(timer);
    player.CloseDevice();

    // Back-to-back alerts: each open also closes the sound still playing.
    const int rounds = 30;
    std::vector<double> open_start;
    std::vector<double> close;
    for (int i = 0; i < rounds; ++i) {
        timer.restart();
        player.SetWaitNext(true);
        player.SetNotifyNext(false);
        player.OpenDevice();
        player.SetWaitNext(false);
        player.SetNotifyNext(true);
        player.StartPlayback();
        open_start.push_back(ms(timer));
        QCoreApplication::processEvents();
    }
    for (int i = 0; i < rounds; ++i) {
        player.OpenDevice();
        player.StartPlayback();
        QCoreApplication::processEvents();
        timer.restart();
        player.CloseDevice();
        close.push_back(ms(timer));
    }

    QMdiArea area;
    area.resize(1000, 400);
    QMdiSubWindow* window = area.addSubWindow(new QLabel(QStringLiteral("log")));
    auto* caption = new TGradientCaption(window);
    caption->SetFormCaption(QStringLiteral("localhost:5140 - a log window with a long caption"));
    window->resize(900, 200);
    area.show();
    QCoreApplication::processEvents();
    const QRect title(QPoint(0, 0), caption->caption_rect().size());
    QPixmap target(title.size());
    std::vector<double> paint;
    for (int i = 0; i < 200; ++i) {
        caption->SetStartColor(static_cast<platform::TColor>(i % 2 == 0 ? 255 : 0));
        QPainter painter(&target);
        timer.restart();
        caption->draw_caption(painter, title);
        paint.push_back(ms(timer));
    }

    const Stats open_stats = stats(open_start);
    const Stats close_stats = stats(close);
    const Stats paint_stats = stats(paint);
    std::printf("%-34s %10s %10s\n", "operation (GUI thread held)", "median ms", "max ms");
    std::printf("%-34s %10.2f %10.2f\n", "first open + start", first_open, first_open);
    std::printf("%-34s %10.2f %10.2f\n", "open + start (replacing a sound)", open_stats.median,
                open_stats.max);
    std::printf("%-34s %10.2f %10.2f\n", "close while playing", close_stats.median, close_stats.max);
    std::printf("%-34s %10.2f %10.2f\n",
                qPrintable(QStringLiteral("draw_caption %1x%2").arg(title.width()).arg(title.height())),
                paint_stats.median, paint_stats.max);
    std::printf("BENCH alerts first_open_ms=%.2f open_start_median_ms=%.2f open_start_max_ms=%.2f "
                "close_median_ms=%.2f close_max_ms=%.2f draw_caption_median_ms=%.3f\n",
                first_open, open_stats.median, open_stats.max, close_stats.median, close_stats.max,
                paint_stats.median);
    return 0;
}
