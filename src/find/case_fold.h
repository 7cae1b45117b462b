#pragma once
// Letter case without regard to case for the plain-text search: the bytes of a line read as
// characters (well-formed UTF-8 sequences, every other byte a character of its own) and
// each character reduced to one key that its upper- and lower-case forms share.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace find {

// A character of a line: its key and its byte length.
struct FoldedChar {
    std::uint32_t key = 0;
    std::size_t length = 1;
};

// The key a stray byte (one not part of a well-formed sequence) gets: above every code point,
// so a stray byte only ever equals the same stray byte.
constexpr std::uint32_t stray_byte_key(unsigned char byte) { return 0x110000u + byte; }

// The case-folded form of `code_point` for ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic (with its supplement); any other code point is its own. The two forms always have the same UTF-8 length,
// so a match without case is as long as the text searched for.
char32_t fold_code_point(char32_t code_point);

// The character starting at `pos` (pos < bytes.size()), folded.
FoldedChar folded_char_at(std::string_view bytes, std::size_t pos);

// Every code point whose folded form is that of `code_point`, itself included.
std::vector<char32_t> case_variants(char32_t code_point);

// The UTF-8 bytes of a code point.
std::vector<unsigned char> utf8_bytes(char32_t code_point);

}  // namespace find
