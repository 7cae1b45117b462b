// Reading line bytes as characters for painting, copying and the screen reader.

#include "lines/text_codec.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lines {

namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Windows-1252 for 0x80..0x9F; the five bytes it leaves undefined keep their C1 code point.
constexpr std::array<char16_t, 32> cp1252_high = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void append_code_point(QString& out, char32_t code)
{
    if (code < 0x10000) {
        out.append(QChar(static_cast<char16_t>(code)));
    } else {
        const char32_t value = code - 0x10000;
        out.append(QChar(static_cast<char16_t>(0xD800 + (value >> 10))));
        out.append(QChar(static_cast<char16_t>(0xDC00 + (value & 0x3FF))));
    }
}

template <typename Map>
void append_decoded(QString& out, std::string_view bytes, Map map)
{
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // Printable ASCII goes in as one run: most log text is nothing else.
        std::size_t run = pos;
        while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) >= 0x20 && static_cast<unsigned char>(bytes[run]) < 0x7F)
            ++run;
        if (run > pos) {
            out.append(QLatin1StringView(bytes.data() + pos, static_cast<qsizetype>(run - pos)));
            pos = run;
            continue;
        }
        const std::size_t length = char_length(bytes, pos);
        append_code_point(out, map(bytes, pos, length));
        pos += length;
    }
}

template <typename Map>
QString decode_with(std::string_view bytes, Map map)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    append_decoded(out, bytes, map);
    return out;
}

}  // namespace

std::size_t char_length(std::string_view bytes, std::size_t pos)
{
    const auto at = [&](std::size_t i) -> unsigned char {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
    };
    const unsigned char lead = at(pos);
    if (lead < 0xC2 || lead > 0xF4)
        return 1;
    const unsigned char second = at(pos + 1);
    if (lead < 0xE0)
        return is_continuation(second) ? 2 : 1;
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    if (second < low || second > high)
        return 1;
    if (!is_continuation(at(pos + 2)))
        return 1;
    if (lead < 0xF0)
        return 3;
    return is_continuation(at(pos + 3)) ? 4 : 1;
}

std::size_t char_start(std::string_view bytes, std::size_t pos)
{
    if (pos >= bytes.size())
        return bytes.size();
    if (!is_continuation(static_cast<unsigned char>(bytes[pos])))
        return pos;
    // A continuation byte belongs to a sequence only if a lead byte at most three bytes back
    // starts a well-formed sequence reaching it; a lead byte can never sit inside another
    // sequence, so this agrees with reading the line from its start.
    for (std::size_t back = 1; back <= 3 && back <= pos; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[pos - back]);
        if (!is_continuation(byte))
            return char_length(bytes, pos - back) > back ? pos - back : pos;
    }
    return pos;
}

std::size_t next_char(std::string_view bytes, std::size_t pos)
{
    if (pos >= bytes.size())
        return bytes.size();
    return pos + char_length(bytes, pos);
}

std::size_t prev_char(std::string_view bytes, std::size_t pos)
{
    if (pos == 0)
        return 0;
    return char_start(bytes, pos - 1);
}

char32_t text_char(std::string_view bytes, std::size_t pos, std::size_t length)
{
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    if (length == 1) {
        if (lead < 0x80)
            return lead;
        if (lead < 0xA0)
            return cp1252_high[lead - 0x80];
        return lead;
    }
    char32_t code = lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i)
        code = (code << 6) | (static_cast<unsigned char>(bytes[pos + i]) & 0x3F);
    return code;
}

char32_t display_char(std::string_view bytes, std::size_t pos, std::size_t length)
{
    const char32_t code = text_char(bytes, pos, length);
    if (code == '\r')
        return ' ';
    if (code < 0x20 && code != '\t')
        return 0x2400 + code;
    if (code == 0x7F)
        return 0x2421;
    return code;
}

QString decode_text(std::string_view bytes)
{
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    out.resize(decode_text_to(out.data(), bytes));
    return out;
}

qsizetype decode_text_to(QChar* out, std::string_view bytes)
{
    QChar* const start = out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // ASCII is every byte its own character. A screen reader is told every received byte
        // this way, so these runs are most of what it costs: sixteen bytes at a time where the
        // processor widens them in one step, else eight.
#if defined(__SSE2__)
        if (pos + 16 <= bytes.size()) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + pos));
            if (_mm_movemask_epi8(chunk) == 0) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(chunk, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(chunk, zero));
                out += 16;
                pos += 16;
                continue;
            }
        }
#endif
        std::uint64_t word;
        if (pos + 8 <= bytes.size() && (std::memcpy(&word, bytes.data() + pos, 8), (word & 0x8080808080808080u) == 0)) {
            for (std::size_t i = 0; i < 8; ++i)
                out[i] = QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[pos + i])));
            out += 8;
            pos += 8;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[pos]);
        if (byte < 0x80) {
            *out++ = QChar(static_cast<char16_t>(byte));
            ++pos;
            continue;
        }
        const std::size_t length = char_length(bytes, pos);
        const char32_t code = text_char(bytes, pos, length);
        if (code < 0x10000) {
            *out++ = QChar(static_cast<char16_t>(code));
        } else {
            *out++ = QChar(QChar::highSurrogate(code));
            *out++ = QChar(QChar::lowSurrogate(code));
        }
        pos += length;
    }
    return out - start;
}

QString decode_display(std::string_view bytes) { return decode_with(bytes, display_char); }

int display_columns(std::string_view bytes)
{
    // Without tabs, every byte but a continuation byte starts a character. This runs on every
    // append, so the continuation bytes are counted eight at a time.
    int columns = 0;
    if (bytes.find('\t') == std::string_view::npos) {
        std::size_t pos = 0;
        std::size_t continuations = 0;
        for (; pos + 8 <= bytes.size(); pos += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + pos, 8);
            // Bit 7 set and bit 6 clear: shifting bit 6 of each byte onto bit 7 finds them. The
            // multiplication adds up the bytes' flags: std::popcount is a library call where
            // the baseline processor has no popcount instruction.
            const std::uint64_t flags = (word & ~(word << 1) & 0x8080808080808080u) >> 7;
            continuations += static_cast<std::size_t>((flags * 0x0101010101010101u) >> 56);
        }
        for (; pos < bytes.size(); ++pos)
            continuations += is_continuation(static_cast<unsigned char>(bytes[pos])) ? 1 : 0;
        return static_cast<int>(bytes.size() - continuations);
    }
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (bytes[pos] == '\t')
            columns = (columns / tab_columns + 1) * tab_columns;
        else
            ++columns;
        pos = next_char(bytes, pos);
    }
    return columns;
}

bool is_plain_ascii(std::string_view bytes)
{
    bool plain = true;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        plain &= (byte >= 0x20 && byte < 0x7F) || byte == '\t';
    }
    return plain;
}

std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find('\n', from);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(from));
            return parts;
        }
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
}

qsizetype utf16_length(std::string_view bytes)
{
    qsizetype units = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // ASCII eight bytes at a time: one unit each.
        std::uint64_t word;
        if (pos + 8 <= bytes.size() && (std::memcpy(&word, bytes.data() + pos, 8), (word & 0x8080808080808080u) == 0)) {
            units += 8;
            pos += 8;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[pos]);
        if (byte < 0x80) {
            ++units;
            ++pos;
            continue;
        }
        const std::size_t length = char_length(bytes, pos);
        units += length == 4 ? 2 : 1;
        pos += length;
    }
    return units;
}

void count_columns(std::string_view bytes, ColumnMark& mark, std::vector<ColumnMark>* marks, std::size_t mark_spacing)
{
    std::size_t pos = mark.byte;
    std::int64_t column = mark.column;
    std::size_t next_mark = marks != nullptr && !marks->empty() ? marks->back().byte + mark_spacing
                                                                : std::numeric_limits<std::size_t>::max();
    while (pos < bytes.size()) {
        if (pos >= next_mark) {
            marks->push_back({pos, column});
            next_mark = pos + mark_spacing;
        }
        // ASCII without tabs up to the next mark, eight bytes at a time: the common case by far.
        const std::size_t run_end = std::min(bytes.size(), next_mark);
        constexpr std::uint64_t high_bits = 0x8080808080808080u;
        constexpr std::uint64_t ones = 0x0101010101010101u;
        while (pos + 8 <= run_end) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + pos, 8);
            const std::uint64_t tabs = word ^ (ones * '\t');
            // A byte with its high bit set, or a tab (a zero byte of `tabs`), ends the fast run.
            if (((word | ((tabs - ones) & ~tabs)) & high_bits) != 0)
                break;
            pos += 8;
            column += 8;
        }
        while (pos < run_end) {
            const auto byte = static_cast<unsigned char>(bytes[pos]);
            if (byte >= 0x80 || byte == '\t')
                break;
            ++pos;
            ++column;
        }
        if (pos >= run_end)
            continue;
        const auto lead = static_cast<unsigned char>(bytes[pos]);
        if (lead == '\t') {
            column = (column / tab_columns + 1) * tab_columns;
            ++pos;
            continue;
        }
        const std::size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead >= 0xC2 && lead <= 0xF4 && pos + needed > bytes.size())
            break;  // the rest of this character is still to come
        pos += char_length(bytes, pos);
        ++column;
    }
    mark = {pos, column};
}


}  // namespace lines
