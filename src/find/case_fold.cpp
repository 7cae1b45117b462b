// Folding the letter case of the scripts the plain-text search knows, and reading the bytes
// of a line as characters for it.

#include "find/case_fold.h"

#include <utility>

namespace find {

namespace {

// Code points below this are the only ones that fold to something other than themselves.
constexpr char32_t folded_range_end = 0x0530;

// In the ranges where upper and lower case alternate, the upper case is at the even (or,
// with `odd_upper`, the odd) code point.
char32_t fold_alternating(char32_t c, bool odd_upper)
{
    return ((c & 1u) != 0) == odd_upper ? c + 1 : c;
}

// Letters whose lower case lies elsewhere, or that are the variant form of a lower-case
// letter (the micro sign, the iota subscript, final sigma, the Greek symbol forms).
constexpr std::pair<char32_t, char32_t> single_folds[] = {
    {0x00B5, 0x03BC}, {0x0178, 0x00FF}, {0x0345, 0x03B9}, {0x037F, 0x03F3}, {0x0386, 0x03AC}, {0x038C, 0x03CC},
    {0x03C2, 0x03C3}, {0x03CF, 0x03D7}, {0x03D0, 0x03B2}, {0x03D1, 0x03B8}, {0x03D5, 0x03C6},
    {0x03D6, 0x03C0}, {0x03F0, 0x03BA}, {0x03F1, 0x03C1}, {0x03F4, 0x03B8}, {0x03F5, 0x03B5},
    {0x03F7, 0x03F8}, {0x03F9, 0x03F2}, {0x03FA, 0x03FB}, {0x04C0, 0x04CF},
};

}  // namespace

char32_t fold_code_point(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c >= folded_range_end)
        return c;
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7)
        return c + 0x20;
    // Latin Extended-A; dotted and dotless i, kra, n preceded by apostrophe and long s have no
    // partner of the same length and stay as they are.
    if ((c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177))
        return fold_alternating(c, false);
    if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E))
        return fold_alternating(c, true);
    // Greek
    if (c >= 0x0388 && c <= 0x038A)
        return c + 0x25;
    if (c == 0x038E || c == 0x038F)
        return c + 0x3F;
    if ((c >= 0x0391 && c <= 0x03A1) || (c >= 0x03A3 && c <= 0x03AB))
        return c + 0x20;
    if ((c >= 0x0370 && c <= 0x0373) || c == 0x0376 || c == 0x0377 || (c >= 0x03D8 && c <= 0x03EF))
        return fold_alternating(c, false);
    if (c >= 0x03FD && c <= 0x03FF)
        return c - 0x82;
    // Cyrillic and its supplement
    if (c >= 0x0400 && c <= 0x040F)
        return c + 0x50;
    if (c >= 0x0410 && c <= 0x042F)
        return c + 0x20;
    if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x052F))
        return fold_alternating(c, false);
    if (c >= 0x04C1 && c <= 0x04CE)
        return fold_alternating(c, true);
    for (const auto& [from, to] : single_folds) {
        if (c == from)
            return to;
    }
    return c;
}

FoldedChar folded_char_at(std::string_view bytes, std::size_t pos)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pos;
    const std::size_t room = bytes.size() - pos;
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return {lead >= 'A' && lead <= 'Z' ? lead + 0x20u : lead, 1};
    std::size_t length = 0;
    char32_t c = 0;
    char32_t lowest = 0;  // the smallest code point this length may encode (no overlong forms)
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1Fu, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0Fu, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07u, lowest = 0x10000;
    } else {
        return {stray_byte_key(lead), 1};
    }
    if (room < length)
        return {stray_byte_key(lead), 1};
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0u) != 0x80u)
            return {stray_byte_key(lead), 1};
        c = (c << 6) | (p[i] & 0x3Fu);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return {stray_byte_key(lead), 1};
    return {fold_code_point(c), length};
}

std::vector<char32_t> case_variants(char32_t code_point)
{
    const char32_t folded = fold_code_point(code_point);
    std::vector<char32_t> variants{code_point};
    for (char32_t c = 0; c < folded_range_end; ++c) {
        if (c != code_point && fold_code_point(c) == folded)
            variants.push_back(c);
    }
    return variants;
}

std::vector<unsigned char> utf8_bytes(char32_t c)
{
    if (c < 0x80)
        return {static_cast<unsigned char>(c)};
    if (c < 0x800)
        return {static_cast<unsigned char>(0xC0 | (c >> 6)), static_cast<unsigned char>(0x80 | (c & 0x3F))};
    if (c < 0x10000)
        return {static_cast<unsigned char>(0xE0 | (c >> 12)), static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)),
                static_cast<unsigned char>(0x80 | (c & 0x3F))};
    return {static_cast<unsigned char>(0xF0 | (c >> 18)), static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)),
            static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)), static_cast<unsigned char>(0x80 | (c & 0x3F))};
}

}  // namespace find
