// Finding hot spots in the colouring region and under the mouse.

#include "colormemo/hotspot.h"

#include "colormemo/colorpass.h"

namespace colormemo {

namespace {

constexpr std::uint8_t HotSpotTextZOrder = 252;
constexpr std::uint8_t HotSpotMarkerZOrder = 253;

std::int32_t to_pos(std::size_t offset) { return static_cast<std::int32_t>(offset); }

}  // namespace

void add_hot_spot_descrs(TColorPass& pass, std::string_view region, const THotSpot& spot)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t begin = region.find(spot.BeginChar(), from);
        if (begin == std::string_view::npos)
            return;
        const std::size_t end = region.find(spot.EndChar(), begin + 1);
        // A lone begin marker colours nothing, and nothing after it is searched.
        if (end == std::string_view::npos)
            return;
        pass.Add({to_pos(begin), to_pos(begin), spot.MarkerColor(), HotSpotMarkerZOrder, false});
        // Empty when the markers touch; the merge ignores a stretch that ends before it starts.
        pass.Add({to_pos(begin + 1), to_pos(end) - 1, spot.Color(), HotSpotTextZOrder, false});
        pass.Add({to_pos(end), to_pos(end), spot.MarkerColor(), HotSpotMarkerZOrder, false});
        from = end + 1;
    }
}

bool is_on_hot_spot(std::string_view line, std::size_t at, const THotSpot& spot)
{
    if (at >= line.size())
        return false;
    const std::string_view rest = line.substr(at);
    const std::size_t end = rest.find(spot.EndChar());
    if (end == std::string_view::npos)
        return false;
    const std::size_t begin = rest.find(spot.BeginChar());
    return begin == std::string_view::npos || begin > end || spot.BeginChar() == spot.EndChar();
}

std::string hot_spot_text(std::string_view line, std::size_t at, const THotSpot& spot)
{
    std::string_view before = line.substr(0, at);
    const std::size_t begin = before.rfind(spot.BeginChar());
    if (begin != std::string_view::npos)
        before.remove_prefix(begin + 1);
    std::string_view rest = line.substr(at);
    rest = rest.substr(0, rest.find(spot.EndChar()));
    std::string text(before);
    text += rest;
    return text;
}

}  // namespace colormemo
