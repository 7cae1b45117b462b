// System colour table: palette roles where the palette has them, classic values elsewhere.

#include "system_colors.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>
#include <optional>

namespace platform {

namespace {

struct SystemColorEntry {
    std::optional<QPalette::ColorRole> role;
    QPalette::ColorGroup group;
    QRgb fallback;
};

// Indexed by the low byte of a system colour value.
constexpr std::array<SystemColorEntry, 31> system_color_table{{
    {std::nullopt, QPalette::Active, qRgb(212, 208, 200)},                 // 0 scroll bar
    {std::nullopt, QPalette::Active, qRgb(58, 110, 165)},                  // 1 desktop
    {QPalette::Highlight, QPalette::Active, qRgb(10, 36, 106)},            // 2 active caption
    {QPalette::Mid, QPalette::Active, qRgb(128, 128, 128)},                // 3 inactive caption
    {QPalette::Window, QPalette::Active, qRgb(212, 208, 200)},             // 4 menu
    {QPalette::Base, QPalette::Active, qRgb(255, 255, 255)},               // 5 window
    {QPalette::Shadow, QPalette::Active, qRgb(0, 0, 0)},                   // 6 window frame
    {QPalette::WindowText, QPalette::Active, qRgb(0, 0, 0)},               // 7 menu text
    {QPalette::Text, QPalette::Active, qRgb(0, 0, 0)},                     // 8 window text
    {QPalette::HighlightedText, QPalette::Active, qRgb(255, 255, 255)},    // 9 caption text
    {std::nullopt, QPalette::Active, qRgb(212, 208, 200)},                 // 10 active border
    {std::nullopt, QPalette::Active, qRgb(212, 208, 200)},                 // 11 inactive border
    {QPalette::Dark, QPalette::Active, qRgb(128, 128, 128)},               // 12 application workspace
    {QPalette::Highlight, QPalette::Active, qRgb(10, 36, 106)},            // 13 highlight
    {QPalette::HighlightedText, QPalette::Active, qRgb(255, 255, 255)},    // 14 highlight text
    {QPalette::Button, QPalette::Active, qRgb(212, 208, 200)},             // 15 button face
    {QPalette::Dark, QPalette::Active, qRgb(128, 128, 128)},               // 16 button shadow
    {QPalette::Text, QPalette::Disabled, qRgb(128, 128, 128)},             // 17 grey text
    {QPalette::ButtonText, QPalette::Active, qRgb(0, 0, 0)},               // 18 button text
    {std::nullopt, QPalette::Active, qRgb(212, 208, 200)},                 // 19 inactive caption text
    {QPalette::Light, QPalette::Active, qRgb(255, 255, 255)},              // 20 button highlight
    {QPalette::Shadow, QPalette::Active, qRgb(64, 64, 64)},                // 21 3D dark shadow
    {QPalette::Midlight, QPalette::Active, qRgb(212, 208, 200)},           // 22 3D light
    {QPalette::ToolTipText, QPalette::Active, qRgb(0, 0, 0)},              // 23 info text
    {QPalette::ToolTipBase, QPalette::Active, qRgb(255, 255, 225)},        // 24 info background
    {std::nullopt, QPalette::Active, qRgb(181, 181, 181)},                 // 25 (unused)
    {QPalette::Link, QPalette::Active, qRgb(0, 0, 128)},                   // 26 hot light
    {std::nullopt, QPalette::Active, qRgb(166, 202, 240)},                 // 27 gradient active caption
    {std::nullopt, QPalette::Active, qRgb(192, 192, 192)},                 // 28 gradient inactive caption
    {QPalette::Highlight, QPalette::Active, qRgb(49, 106, 197)},           // 29 menu highlight
    {QPalette::Window, QPalette::Active, qRgb(236, 233, 216)},             // 30 menu bar
}};

}  // namespace

QColor resolve_color(TColor color)
{
    if (!is_system_color(color))
        return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                      static_cast<int>((color >> 16) & 0xFF));
    const std::size_t index = color & 0xFF;
    if (index >= system_color_table.size())
        return QColor(Qt::black);
    const SystemColorEntry& entry = system_color_table[index];
    if (entry.role && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QGuiApplication::palette().color(entry.group, *entry.role);
    return QColor(entry.fallback);
}

}  // namespace platform
