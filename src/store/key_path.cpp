// Key path splitting and name folding for the configuration store.

#include "store/key_path.h"

namespace store {

std::vector<std::string> split_key_path(std::string_view path)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string fold_name(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

}  // namespace store
