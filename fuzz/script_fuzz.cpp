// The questionnaire script reader: the input is a script. Counts its pages,
// looks up every page by the name its start line gives (and through a resume
// marker), and reads every page from where the lookup puts it and from every
// line at which a read ended. Failures must be the program's own errors.
#include "engine/script.h"
#include "engine/text_lines.h"
#include "fuzz_util.h"
#include "platform/errors.h"

#include <set>

namespace {

// Reads one page and checks what the reader promises about its result.
long long readChecked(const fb::ScriptLines& lines, long long start) {
    std::size_t items = 0;
    const long long next = fb::readPage(lines, start, [&](const fb::ScriptItem& it) {
        ++items;
        FUZZ_CHECK(!it.keywordLine.empty());
        for (const std::string& option : it.options)
            FUZZ_CHECK(!fb::startsWith(option, "END"));
        if (it.kind == fb::ItemKind::SkalaWT)
            FUZZ_CHECK(fb::startsWith(it.keywordLine, "SKALA.WT"));
    });
    FUZZ_CHECK(next > start || next == lines.count());
    FUZZ_CHECK(next <= lines.count() + 1);
    return next;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fb::ScriptLines lines;
    lines.assignText(std::string(reinterpret_cast<const char*>(data), size));
    const int pages = fb::countPages(lines);
    FUZZ_CHECK(pages >= 0 && pages <= lines.count());

    std::set<std::string> names;
    for (const std::string& l : lines.all())
        if (fb::isPageStart(l))
            names.insert(fb::fromPosition(l, fb::startsWith(l, "PAGE") ? 6 : 10));
    try {
        names.insert(fb::choosePageName(lines, {}));
    } catch (const fb::Exception&) {
        FUZZ_CHECK(lines.empty());
    }
    for (const std::string& name : names) {
        try {
            FUZZ_CHECK(fb::choosePageName(lines, {"recipient=x", "PAGE " + name}) == name);
        } catch (const fb::Exception&) {
            FUZZ_CHECK(lines.empty());
        }
        try {
            const fb::PageLocation at = fb::lookupPage(lines, name);
            FUZZ_CHECK(at.start >= 0 && at.start <= lines.count());
            FUZZ_CHECK(at.pageNumber >= 0 && at.pageNumber <= pages);
            readChecked(lines, at.start);
        } catch (const fb::Exception&) {
            // an unknown name or a page that runs off the script
        }
    }
    // The page sequence as the program follows it, bounded by the line count.
    long long cursor = 1;
    for (long long steps = 0; cursor < lines.count() && steps <= lines.count(); ++steps) {
        try {
            cursor = readChecked(lines, cursor);
        } catch (const fb::Exception&) {
            break;
        }
    }
    return 0;
}
