#pragma once
// Hot spots of the colour memo: text between two marker characters, drawn like a link and
// clickable. The settings, the descriptors a pass gets for them and the mouse's hit test.

#include "colormemo/keydescr.h"

#include <string>
#include <string_view>

namespace colormemo {

class TColorPass;

class THotSpot {
public:
    // Character 0 as BeginChar switches hot spots off even while Active.
    char BeginChar() const { return FBeginChar; }
    void SetBeginChar(char value) { FBeginChar = value; }
    char EndChar() const { return FEndChar; }
    void SetEndChar(char value) { FEndChar = value; }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { FColor = value; }
    // Text and background of the two markers; the window colour hides them.
    TColor MarkerColor() const { return FMarkerColor; }
    void SetMarkerColor(TColor value) { FMarkerColor = value; }
    bool Active() const { return FActive; }
    void SetActive(bool value) { FActive = value; }
    bool Underlined() const { return FUnderlined; }
    void SetUnderlined(bool value) { FUnderlined = value; }

    void Assign(const THotSpot& source) { *this = source; }

private:
    char FBeginChar = '\x1E';
    char FEndChar = '\x1F';
    TColor FColor = 0xFF0000;
    TColor FMarkerColor = 0x80000005;
    bool FActive = false;
    bool FUnderlined = true;
};

// Appends, for every begin marker in region that has an end marker after it, the marker,
// text and marker descriptors (priorities 253, 252, 253), at offsets counted from the region's
// first byte. An unterminated begin marker ends the search.
void add_hot_spot_descrs(TColorPass& pass, std::string_view region, const THotSpot& spot);

// Whether the character at `at` of a line lies on a hot spot: an end marker follows it on the
// line, and no begin marker comes before that end marker (unless both markers are one character).
bool is_on_hot_spot(std::string_view line, std::size_t at, const THotSpot& spot);

// The text of the hot spot under the character at `at`: from after the last begin marker
// before it to before the first end marker from it on.
std::string hot_spot_text(std::string_view line, std::size_t at, const THotSpot& spot);

}  // namespace colormemo
