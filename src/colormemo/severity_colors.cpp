// The severity colours for light and dark memo backgrounds.

#include "colormemo/severity_colors.h"

namespace colormemo {

SeverityColors severity_colors(int severity, const QColor& background)
{
    // The band is dark enough under white text on either background and plainly apart from
    // both; the text colours are deep on a light memo and light on a dark one.
    const bool dark = background.lightness() < 128;
    switch (severity & 7) {
    case 0:
    case 1:
    case 2:
        return {QColor(0xFF, 0xFF, 0xFF), QColor(0xB0, 0x00, 0x00)};
    case 3:
        return {dark ? QColor(0xFF, 0x6B, 0x6B) : QColor(0xCC, 0x00, 0x00), std::nullopt};
    case 4:
        return {dark ? QColor(0xFF, 0x99, 0x33) : QColor(0xB3, 0x59, 0x00), std::nullopt};
    case 5:
        return {dark ? QColor(0x6C, 0xA6, 0xFF) : QColor(0x00, 0x47, 0xC8), std::nullopt};
    case 6:
        return {};
    default:
        return {dark ? QColor(0x9A, 0x9A, 0x9A) : QColor(0x76, 0x76, 0x76), std::nullopt};
    }
}

}  // namespace colormemo
