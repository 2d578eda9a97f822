#pragma once
// Turns a content file name such as "bogen.txt" into a resource type and
// name and copies the resource's bytes into a stream. Nothing is read from
// disk.
#include "platform/errors.h"
#include "platform/memory_stream.h"
#include "platform/resource_store.h"

#include <string>

namespace fb {

class EResNotFound : public Exception {
public:
    using Exception::Exception;
};

struct ResourceId {
    std::string type; // upper case extension, "HTM" read as "HTML"
    std::string name; // the file name without its extension
};

ResourceId resourceIdFor(const std::string& fileName);

// On success the stream holds exactly the resource's bytes at position 0; on
// failure it is left as it was.
void loadResourceFile(const ResourceStore& store, const std::string& fileName, MemoryStream& stream);

} // namespace fb
