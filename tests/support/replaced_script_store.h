#pragma once
// The embedded resources with the questionnaire script replaced by a test's
// own, and optionally a few resources added (a test cartoon, say). Holds the
// bytes it points to, so it lives as long as the store is used.
#include "content/embedded.h"
#include "platform/resource_store.h"
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace fbtest {

class ReplacedScriptStore {
public:
    explicit ReplacedScriptStore(std::string script, std::vector<fb::ResourceEntry> extra = {})
        : script_(std::move(script)), entries_(entriesFor(script_, std::move(extra))),
          store_(std::span<const fb::ResourceEntry>(entries_)) {}
    ReplacedScriptStore(const ReplacedScriptStore&) = delete;
    ReplacedScriptStore& operator=(const ReplacedScriptStore&) = delete;

    const fb::ResourceStore& store() const { return store_; }

private:
    static std::vector<fb::ResourceEntry> entriesFor(const std::string& script,
                                                     std::vector<fb::ResourceEntry> extra) {
        std::vector<fb::ResourceEntry> e;
        e.push_back({"TXT", "BOGEN", reinterpret_cast<const unsigned char*>(script.data()), script.size()});
        e.insert(e.end(), extra.begin(), extra.end());
        for (const auto& r : fb::embeddedResources().entries())
            if (std::string(r.type) != "TXT" || std::string(r.name) != "BOGEN")
                e.push_back(r);
        return e;
    }

    std::string script_;
    std::vector<fb::ResourceEntry> entries_;
    fb::ResourceStore store_;
};

} // namespace fbtest
