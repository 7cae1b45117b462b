#pragma once
// How the store reads key paths and compares names; plain functions with no I/O.

#include <string>
#include <string_view>
#include <vector>

namespace store {

// The key names along path, from the root. Every backslash separates two levels, so a name
// that contains a backslash becomes two levels; empty pieces (the leading backslash, doubled or
// trailing ones) name no level. "\a\\b\" -> {"a", "b"}; "" and "\" -> {} (the root).
std::vector<std::string> split_key_path(std::string_view path);

// The form under which a name is compared: ASCII letters lowered, every other byte (including
// the bytes of non-ASCII characters) kept exactly.
std::string fold_name(std::string_view name);

}  // namespace store
