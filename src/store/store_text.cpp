// Text form of the configuration store for vesmira-store: quoting, tree view, export, import.

#include "store/store_text.h"

#include "platform/hex_digit.h"

#include <charconv>
#include <istream>
#include <ostream>
#include <vector>

namespace store {

namespace {

constexpr std::string_view format_header = "vesmira-store 1";

// Length of the well-formed UTF-8 sequence of two or more bytes starting at i, or 0.
std::size_t utf8_sequence(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    }
    // C1 control characters are escaped like the C0 ones.
    if (lead == 0xC2 && byte(i + 1) < 0xA0)
        return 0;
    return length;
}

std::string escape(std::string_view bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (const std::size_t length = c >= 0x80 ? utf8_sequence(bytes, i) : 0; length > 0) {
            out.append(bytes.substr(i, length));
            i += length;
            continue;
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
        ++i;
    }
    return out;
}

void skip_blanks(std::string_view line, std::size_t& pos)
{
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
}

// The next blank-separated word at pos.
std::string_view word(std::string_view line, std::size_t& pos)
{
    skip_blanks(line, pos);
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ')
        ++pos;
    return line.substr(start, pos - start);
}

std::string display_name(std::string_view name)
{
    return name.empty() ? std::string("(default)") : escape(name);
}

std::string display_data(const StoredValue& value)
{
    if (value.type == static_cast<int>(ValueType::Integer) && value.is_integer_data)
        return std::to_string(value.number);
    if (value.type == static_cast<int>(ValueType::String) && !value.is_integer_data) {
        std::string_view text = value.bytes;
        if (!text.empty() && text.back() == '\0')
            text.remove_suffix(1);
        return quote_bytes(text);
    }
    return "<value of type " + std::to_string(value.type) + ">";
}

void print_level(RegistryDatabase& db, int64_t key, int depth, std::ostream& out)
{
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    for (const StoredValue& value : db.values(key))
        out << indent << display_name(value.name) << " = " << display_data(value) << '\n';
    for (const KeyEntry& child : db.children(key)) {
        out << indent << escape(child.name) << "\\\n";
        print_level(db, child.id, depth + 1, out);
    }
}

void export_level(RegistryDatabase& db, int64_t key, std::string& path, std::ostream& out)
{
    const std::vector<StoredValue> values = db.values(key);
    if (key != RegistryDatabase::root_key || !values.empty())
        out << "key" << path << '\n';
    for (const StoredValue& value : values) {
        out << "value " << quote_bytes(value.name);
        if (value.type == static_cast<int>(ValueType::Integer) && value.is_integer_data) {
            out << " int " << value.number << '\n';
        } else if (value.type == static_cast<int>(ValueType::String) && !value.is_integer_data &&
                   !value.bytes.empty() && value.bytes.back() == '\0') {
            out << " str " << quote_bytes(std::string_view(value.bytes).substr(0, value.bytes.size() - 1)) << '\n';
        } else {
            throw DatabaseError("value " + quote_bytes(value.name) + " has a form the export can't carry", 0);
        }
    }
    for (const KeyEntry& child : db.children(key)) {
        const std::size_t length = path.size();
        path += ' ';
        path += quote_bytes(child.name);
        export_level(db, child.id, path, out);
        path.resize(length);
    }
}

struct ImportLine {
    bool is_key;
    std::vector<std::string> names;  // the key's path; for a value, its name alone
    bool is_integer = false;
    int32_t number = 0;
    std::string text;
};

bool parse_line(std::string_view line, ImportLine& parsed, std::string& why)
{
    std::size_t pos = 0;
    const std::string_view kind = word(line, pos);
    if (kind == "key") {
        parsed.is_key = true;
        for (skip_blanks(line, pos); pos < line.size(); skip_blanks(line, pos)) {
            std::string name;
            if (!unquote_bytes(line, pos, name)) {
                why = "badly quoted key name";
                return false;
            }
            if (name.empty() || name.find('\\') != std::string::npos) {
                why = "a key name must be non-empty and hold no backslash";
                return false;
            }
            parsed.names.push_back(std::move(name));
        }
        return true;
    }
    if (kind != "value") {
        why = "expected \"key\" or \"value\"";
        return false;
    }
    parsed.is_key = false;
    std::string name;
    if (!unquote_bytes(line, pos, name)) {
        why = "badly quoted value name";
        return false;
    }
    parsed.names.push_back(std::move(name));
    const std::string_view type = word(line, pos);
    if (type == "int") {
        const std::string_view digits = word(line, pos);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed.number);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
            why = "not a 32-bit integer";
            return false;
        }
        parsed.is_integer = true;
    } else if (type == "str") {
        if (!unquote_bytes(line, pos, parsed.text)) {
            why = "badly quoted string";
            return false;
        }
    } else {
        why = "expected \"int\" or \"str\"";
        return false;
    }
    skip_blanks(line, pos);
    if (pos != line.size()) {
        why = "unexpected text at the end of the line";
        return false;
    }
    return true;
}

}  // namespace

std::string quote_bytes(std::string_view bytes)
{
    return '"' + escape(bytes) + '"';
}

bool unquote_bytes(std::string_view line, std::size_t& pos, std::string& bytes)
{
    bytes.clear();
    skip_blanks(line, pos);
    if (pos >= line.size() || line[pos] != '"')
        return false;
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++i >= line.size())
            return false;
        switch (line[i]) {
        case '\\': bytes += '\\'; break;
        case '"': bytes += '"'; break;
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 't': bytes += '\t'; break;
        case 'x': {
            if (i + 2 >= line.size())
                return false;
            const int high = platform::hex_digit_value(line[i + 1]);
            const int low = platform::hex_digit_value(line[i + 2]);
            if (high < 0 || low < 0)
                return false;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return false;
}

void print_tree(RegistryDatabase& db, int64_t key, std::ostream& out)
{
    RegistryDatabase::Transaction snapshot(db, RegistryDatabase::Transaction::Kind::Read);
    print_level(db, key, 0, out);
    snapshot.commit();
}

void export_tree(RegistryDatabase& db, std::ostream& out)
{
    RegistryDatabase::Transaction snapshot(db, RegistryDatabase::Transaction::Kind::Read);
    out << format_header << '\n';
    std::string path;
    export_level(db, RegistryDatabase::root_key, path, out);
    snapshot.commit();
}

bool import_tree(RegistryDatabase& db, std::istream& in, bool replace, std::string& error)
{
    // The whole text is checked before the store is touched.
    std::vector<ImportLine> lines;
    std::string line;
    std::size_t number = 0;
    bool seen_key = false;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1) {
            if (line != format_header) {
                error = "line 1: expected \"" + std::string(format_header) + "\"";
                return false;
            }
            continue;
        }
        if (line.empty())
            continue;
        ImportLine parsed;
        std::string why;
        if (!parse_line(line, parsed, why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        if (!parsed.is_key && !seen_key) {
            error = "line " + std::to_string(number) + ": a value before any key line";
            return false;
        }
        seen_key = seen_key || parsed.is_key;
        lines.push_back(std::move(parsed));
    }
    if (number == 0) {
        error = "empty input";
        return false;
    }

    RegistryDatabase::Transaction transaction(db, RegistryDatabase::Transaction::Kind::Write);
    if (replace) {
        for (const KeyEntry& child : db.children(RegistryDatabase::root_key))
            db.delete_key(child.id);
        db.delete_values(RegistryDatabase::root_key);
    }
    int64_t key = RegistryDatabase::root_key;
    for (const ImportLine& parsed : lines) {
        if (parsed.is_key)
            key = *db.resolve(parsed.names, true);
        else if (parsed.is_integer)
            db.set_integer(key, parsed.names.front(), parsed.number);
        else
            db.set_string(key, parsed.names.front(), parsed.text);
    }
    transaction.commit();
    return true;
}

}  // namespace store
