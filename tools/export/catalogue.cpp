#include "tools/export/catalogue.h"

#include "engine/answers.h"
#include "engine/text_lines.h"
#include "platform/errors.h"

#include <set>

namespace fb::exporter {
namespace {

// Where the recorded name starts in an entry's line (the answer collector's
// positions: "SKALA.WT W01" + ".w" records under "01.w").
std::size_t namePosition(ItemKind kind) {
    switch (kind) {
    case ItemKind::Radio:
    case ItemKind::Multi:
        return 7;
    case ItemKind::Text:
        return 6;
    case ItemKind::Single:
        return 8;
    default:
        return 11;
    }
}

std::string firstLine(const std::string& text) {
    const std::size_t end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

void addItem(Catalogue& cat, const ScriptItem& item) {
    const std::size_t page = cat.pages.size() - 1;
    auto add = [&](Variable v) {
        v.page = page;
        v.firstOfPage = cat.variables.empty() || cat.variables.back().page != page;
        cat.variables.push_back(std::move(v));
    };
    Variable v;
    v.kind = item.kind;
    v.numeric = item.kind != ItemKind::Text;
    if (item.kind == ItemKind::SkalaWT || item.kind == ItemKind::SkalaWP) {
        v.itemName = fromPosition(item.keywordLine, 10);
        v.question = item.kind == ItemKind::SkalaWT ? firstLine(item.jokeText) : item.pictureFile;
        v.hasRange = true;
        const struct {
            const char* suffix;
            Row row;
            unsigned long long max;
        } rows[] = {{".w", Row::Funny, 7}, {".a", Row::Rejection, 7}, {".k", Row::Known, 1}};
        for (const auto& r : rows) {
            Variable rv = v;
            rv.name = fromPosition(item.keywordLine + r.suffix, 11);
            rv.row = r.row;
            rv.optional = r.row == Row::Known;
            rv.minValue = 1;
            rv.maxValue = r.max;
            add(std::move(rv));
        }
        return;
    }
    v.name = fromPosition(item.keywordLine, namePosition(item.kind));
    v.itemName = v.name;
    v.question = item.question;
    v.options = item.options;
    v.firstHour = item.firstHour;
    const unsigned long long n = item.options.size();
    switch (item.kind) {
    case ItemKind::Radio:
        v.hasRange = n > 0;
        v.minValue = 1;
        v.maxValue = n;
        break;
    case ItemKind::Single:
        v.hasRange = n > 0;
        v.minValue = 0;
        v.maxValue = n - 1;
        break;
    case ItemKind::Multi:
        // Nothing selected records 0, so an empty list still has a range.
        v.hasRange = true;
        v.minValue = 0;
        v.maxValue = n >= 64 ? ~0ull : (1ull << n) - 1;
        break;
    case ItemKind::SkalaTag:
        v.hasRange = true;
        v.minValue = 1;
        v.maxValue = 24;
        break;
    case ItemKind::SkalaStd:
        v.hasRange = true;
        v.minValue = 1;
        v.maxValue = 28;
        break;
    default:
        break;
    }
    add(std::move(v));
}

} // namespace

const char* kindKeyword(ItemKind kind) {
    switch (kind) {
    case ItemKind::Radio: return "RADIO";
    case ItemKind::Text: return "TEXT";
    case ItemKind::SkalaTag: return "SKALA.TAG";
    case ItemKind::SkalaStd: return "SKALA.STD";
    case ItemKind::Multi: return "MULTI";
    case ItemKind::Single: return "SINGLE";
    case ItemKind::SkalaWT: return "SKALA.WT";
    case ItemKind::SkalaWP: return "SKALA.WP";
    }
    return "";
}

Catalogue buildCatalogue(const ScriptLines& lines) {
    if (lines.empty())
        throw Exception("the script is empty");
    Catalogue cat;
    std::set<long long> starts;
    std::string name = choosePageName(lines, {});
    const int limit = countPages(lines) + 1;
    for (int step = 0; step <= limit; ++step) {
        const PageLocation loc = lookupPage(lines, name);
        if (!starts.insert(loc.start).second)
            throw Exception("the program shows page " + name + " a second time");
        cat.pages.push_back(Page{name, loc.pageNumber});
        const long long cursor = readPage(lines, loc.start, [&](const ScriptItem& item) { addItem(cat, item); });
        const auto marker = resumeMarker(lines, cursor);
        if (!marker)
            return cat;
        name = fromPosition(*marker, 6);
    }
    throw Exception("the program's page sequence does not come to an end");
}

} // namespace fb::exporter
