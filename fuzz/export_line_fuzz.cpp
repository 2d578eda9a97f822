// The export's reading of an answer file: the input is the file. It is read
// against the embedded questionnaire and against a small script whose texts
// stand next to each other and to optional rows. An accepted line must join
// again from its parts to the very bytes it was read from, and the split
// must try no more states than the line has "&"s times a small constant.
#include "content/embedded.h"
#include "engine/text_lines.h"
#include "fuzz_util.h"
#include "tools/export/answer_file.h"
#include "tools/export/catalogue.h"

#include <algorithm>

namespace {

using namespace fb::exporter;

const char* const kSmallScript =
    "PAGE P1\r\nTEXT A\r\nFrage A\r\nTEXT B\r\nFrage B\r\nRADIO R\r\nFrage R\r\neins\r\nzwei\r\nEND\r\n"
    "PAGE Witze\r\nSKALA.WT W01\r\nWitz\r\nEND\r\n\r\nSKALA.WP W02\r\nbild001.jpg\r\n\r\n"
    "PAGE P3\r\nTEXT Z\r\nFrage Z\r\nMULTI M\r\nFrage M\r\na\r\nb\r\nEND\r\nTEXT Y\r\nFrage Y";

void check(const Catalogue& cat, const std::string& bytes) {
    Answers a;
    const std::string error = readAnswerFile(cat, bytes, a);
    const std::size_t amps = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '&'));
    FUZZ_CHECK(a.steps <= 8 * (amps + 2));
    if (!error.empty())
        return;
    const std::vector<std::string> lines = fb::splitLines(bytes);
    FUZZ_CHECK(!lines.empty() && lines[0] == a.line);
    std::string joined = "recipient=" + std::string(a.recipient) + "&subject=Bogendaten";
    for (std::size_t i = 0; i < cat.variables.size(); ++i) {
        if (a.states[i] == State::Present)
            joined += "&" + cat.variables[i].name + "=" + std::string(a.values[i]);
        if (a.states[i] == State::Absent)
            FUZZ_CHECK(cat.variables[i].optional);
    }
    FUZZ_CHECK(joined == a.line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Catalogue embedded = [] {
        const fb::ResourceEntry* e = fb::embeddedResources().find("TXT", "BOGEN");
        return buildCatalogue(fb::ScriptLines(fb::splitLines(e->bytes())));
    }();
    static const Catalogue small = buildCatalogue(fb::ScriptLines(fb::splitLines(kSmallScript)));
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check(embedded, bytes);
    check(small, bytes);
    return 0;
}
