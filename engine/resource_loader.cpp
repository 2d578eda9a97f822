#include "engine/resource_loader.h"

namespace fb {

ResourceId resourceIdFor(const std::string& fileName) {
    const std::size_t sep = fileName.find_last_of("/\\:");
    const std::size_t dot = fileName.find_last_of('.');
    ResourceId id;
    if (dot != std::string::npos && (sep == std::string::npos || dot > sep)) {
        id.type = fileName.substr(dot + 1);
        id.name = fileName.substr(0, dot);
    } else {
        id.name = fileName;
    }
    for (char& c : id.type)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (id.type == "HTM")
        id.type = "HTML";
    return id;
}

void loadResourceFile(const ResourceStore& store, const std::string& fileName, MemoryStream& stream) {
    const ResourceId id = resourceIdFor(fileName);
    const ResourceEntry* entry = store.find(id.type, id.name);
    if (!entry)
        throw EResNotFound("Can't load resource: " + id.name);
    stream.clear();
    stream.write(entry->data, entry->size);
    stream.setPosition(0);
}

} // namespace fb
