#pragma once
// Colour values as the forms store them (0x00BBGGRR), with system colours resolved
// through one table fed from the application palette.

#include <QColor>

#include <cstdint>

namespace platform {

using TColor = std::uint32_t;

// System colours: the top bit set, the low byte an index into the system colour table.
inline constexpr TColor clActiveCaption = 0x80000002;
inline constexpr TColor clInactiveCaption = 0x80000003;
inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clCaptionText = 0x80000009;
inline constexpr TColor clBtnShadow = 0x80000010;
inline constexpr TColor clInactiveCaptionText = 0x80000013;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clRed = 0x0000FF;

constexpr bool is_system_color(TColor color) { return (color & 0x80000000u) != 0; }

// The RGB value a colour stands for now; a system colour takes the palette's current value
// or, where the palette has no such role, a fixed classic value.
QColor resolve_color(TColor color);

// The colour value for an RGB colour (never a system colour).
constexpr TColor color_from_rgb(int red, int green, int blue)
{
    return static_cast<TColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

}  // namespace platform
