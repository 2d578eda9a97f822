#pragma once
#include "platform/resource_store.h"

namespace fb {
// The resources linked into this program.
const ResourceStore& embeddedResources();
} // namespace fb
