#pragma once
// The text form of the store that vesmira-store shows, exports and imports: every name and
// string byte-exact, readable where the bytes are readable.

#include "store/registry_database.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace store {

// Bytes in double quotes. Printable ASCII and well-formed UTF-8 stay as they are; '"' and '\'
// are escaped with '\'; line feed, carriage return and tab as \n \r \t; any other byte as \xHH.
std::string quote_bytes(std::string_view bytes);
// Reads a quoted text written by quote_bytes, starting at pos (leading blanks skipped); pos
// ends after the closing quote. False on anything else.
bool unquote_bytes(std::string_view line, std::size_t& pos, std::string& bytes);

// The tree below key for people: one key ("name\") or value ("name = data") per line, indented
// by level, values before subkeys; the default value shows as "(default)".
void print_tree(RegistryDatabase& db, int64_t key, std::ostream& out);

// The whole tree as text, one line per key and per value, in creation order:
//   vesmira-store 1
//   key "Software" "Tarnwheel"          a key, by the quoted names from the root
//   value "command" str "ssh host"       a value of the last key line
//   value "" int 80
// Throws DatabaseError for a value this format can't carry.
void export_tree(RegistryDatabase& db, std::ostream& out);

// Reads export_tree's text and writes it into the store in one transaction: keys are created as
// needed, values created or replaced; with replace everything else in the store goes. Nothing
// changes unless the whole text is valid; then false with error naming the line.
bool import_tree(RegistryDatabase& db, std::istream& in, bool replace, std::string& error);

}  // namespace store
