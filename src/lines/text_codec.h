#pragma once
// How the view reads the bytes of a line as characters: valid UTF-8 sequences are one
// character each, every other byte is a character of its own, so the bytes stay exact.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lines {

// A place in a line whose display column is known: a character boundary `byte` at `column`
// (tabs expanded, one column per character).
struct ColumnMark {
    std::size_t byte = 0;
    std::int64_t column = 0;
};

// Tab stops every this many columns.
inline constexpr int tab_columns = 8;

// Byte length of the character starting at `pos` (pos < bytes.size()): the length of a
// complete, well-formed UTF-8 sequence, or 1.
std::size_t char_length(std::string_view bytes, std::size_t pos);

// The character boundary at or before `pos` (pos <= bytes.size()).
std::size_t char_start(std::string_view bytes, std::size_t pos);
// The boundary after the character at `pos`, and the one before `pos` (pos > 0).
std::size_t next_char(std::string_view bytes, std::size_t pos);
std::size_t prev_char(std::string_view bytes, std::size_t pos);

// The character a byte sequence stands for in copied or spoken text: its code point, or for
// a stray byte the Windows-1252 character of that byte (so 8-bit Latin text reads right).
char32_t text_char(std::string_view bytes, std::size_t pos, std::size_t length);
// As text_char, but as painted: carriage return is a blank cell, other control characters
// show as their control pictures.
char32_t display_char(std::string_view bytes, std::size_t pos, std::size_t length);

QString decode_text(std::string_view bytes);
// decode_text(bytes) written to `out`, which has room for bytes.size() characters (no byte
// sequence decodes to more UTF-16 units than it has bytes); returns the units written.
qsizetype decode_text_to(QChar* out, std::string_view bytes);
QString decode_display(std::string_view bytes);

// Display columns of a line with tabs expanded, counting one column per character.
int display_columns(std::string_view bytes);

// True when every byte is printable ASCII or a TAB: such a line lays out by column arithmetic.
bool is_plain_ascii(std::string_view bytes);

// The lines of text split at line feeds: one more than it has line feeds.
std::vector<std::string_view> split_lines(std::string_view text);

// UTF-16 units text_char() gives for a line.
qsizetype utf16_length(std::string_view bytes);

// Columns of the complete characters of `bytes` from `mark` on; the mark ends on the boundary
// before a character whose bytes have not all arrived. Every `mark_spacing` bytes a mark goes
// to `marks` when given.
void count_columns(std::string_view bytes, ColumnMark& mark, std::vector<ColumnMark>* marks, std::size_t mark_spacing);

}  // namespace lines
