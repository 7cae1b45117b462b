// Band arithmetic of the title-bar gradient and caption shortening.

#include "caption_drawing.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace {

// numerator / denominator to the nearest integer, halves away from zero (denominator > 0).
int divide_rounded(int numerator, int denominator)
{
    const int magnitude = (2 * std::abs(numerator) + denominator) / (2 * denominator);
    return numerator < 0 ? -magnitude : magnitude;
}

int channel_step(int start, int end, int index, int count)
{
    if (count <= 1)
        return start;
    return start + divide_rounded(index * (end - start), count - 1);
}

}  // namespace

std::vector<GradientBand> gradient_bands(int left, int right, QColor start, QColor end, int steps)
{
    std::vector<GradientBand> bands;
    const int width = right - left;
    if (width <= 0)
        return bands;
    // The step count is a byte: 256 wraps to 0, which like 1 gives a single band.
    const int count = std::max(1, std::min(steps & 0xFF, width));
    const int band = width / count;
    const int remainder = width % count;
    if (band > 0) {
        bands.reserve(static_cast<std::size_t>(count) + 1);
        for (int i = 0; i < count; ++i) {
            const QColor color(channel_step(start.red(), end.red(), i, count),
                               channel_step(start.green(), end.green(), i, count),
                               channel_step(start.blue(), end.blue(), i, count));
            bands.push_back({left + i * band, left + (i + 1) * band, color});
        }
    }
    if (remainder > 0)
        bands.push_back({right - remainder, right, end});
    return bands;
}

void gradient_fill(QPainter& painter, const QRect& area, platform::TColor start,
                   platform::TColor end, int steps)
{
    if (area.isEmpty())
        return;
    const QColor start_rgb = platform::resolve_color(start);
    const QColor end_rgb = platform::resolve_color(end);
    for (const GradientBand& band :
         gradient_bands(area.left(), area.left() + area.width(), start_rgb, end_rgb, steps)) {
        painter.fillRect(QRect(band.left, area.top(), band.right - band.left, area.height()),
                         band.color);
    }
}

QString shorten_text(const QString& text, int room, const QFontMetrics& metrics)
{
    if (metrics.horizontalAdvance(text) <= room)
        return text;
    const QString ellipsis = QStringLiteral("...");
    for (qsizetype length = text.size() - 2; length >= 0; --length) {
        // Never cut a character encoded as a surrogate pair in half.
        if (length > 0 && text.at(length - 1).isHighSurrogate())
            continue;
        QString candidate = text.left(length) + ellipsis;
        if (metrics.horizontalAdvance(candidate) <= room)
            return candidate;
    }
    return ellipsis;
}
