#pragma once
// The gradient caption's drawing rules as plain functions: the band arithmetic of the
// gradient and the shortening of a caption text that does not fit.

#include "platform/system_colors.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <vector>

class QFontMetrics;
class QPainter;

struct GradientBand {
    int left = 0;   // first pixel column
    int right = 0;  // one past the last column
    QColor color;
};

// The bands that fill columns [left, right): steps is taken as an unsigned byte, the band
// count is at least 1 and at most the width, each band's channels step from start towards end
// rounded half away from zero, and columns left over at the right get the end colour.
std::vector<GradientBand> gradient_bands(int left, int right, QColor start, QColor end, int steps);

// Fills area with the gradient from start to end (system colours resolved now).
void gradient_fill(QPainter& painter, const QRect& area, platform::TColor start,
                   platform::TColor end, int steps);

// text when it fits room; otherwise the longest prefix that drops at least two characters and
// fits with "..." appended, or "..." alone.
QString shorten_text(const QString& text, int room, const QFontMetrics& metrics);
