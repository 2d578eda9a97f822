#pragma once
// The program's embedded resources: raw bytes looked up by type and name,
// both compared without regard to case.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace fb {

struct ResourceEntry {
    const char* type; // upper case, e.g. "TXT"
    const char* name; // upper case, e.g. "BOGEN"
    const unsigned char* data;
    std::size_t size;
    std::string_view bytes() const { return {reinterpret_cast<const char*>(data), size}; }
};

class ResourceStore {
public:
    explicit ResourceStore(std::span<const ResourceEntry> entries) : entries_(entries) {}
    const ResourceEntry* find(std::string_view type, std::string_view name) const;
    std::span<const ResourceEntry> entries() const { return entries_; }

private:
    std::span<const ResourceEntry> entries_;
};

bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace fb
