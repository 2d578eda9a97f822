#include "platform/resource_store.h"

namespace fb {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}

const ResourceEntry* ResourceStore::find(std::string_view type, std::string_view name) const {
    for (const ResourceEntry& e : entries_)
        if (equalsIgnoreCase(e.type, type) && equalsIgnoreCase(e.name, name))
            return &e;
    return nullptr;
}

} // namespace fb
