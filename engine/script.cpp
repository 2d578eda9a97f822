#include "engine/script.h"

#include "engine/text_lines.h"
#include "platform/errors.h"

namespace fb {

void ScriptLines::assignText(const std::string& bytes) { lines_ = splitLines(bytes); }

const std::string& ScriptLines::operator[](long long index) const {
    if (index < 0 || index >= count())
        throw EListError(index);
    return lines_[static_cast<std::size_t>(index)];
}

bool isPageStart(const std::string& line) {
    return startsWith(line, "PAGE") || startsWith(line, "SKALA.W");
}

int countPages(const ScriptLines& lines) {
    int count = 0;
    for (const std::string& line : lines.all()) {
        if (startsWith(line, "PAGE"))
            ++count;
        if (startsWith(line, "SKALA.W"))
            ++count;
    }
    return count;
}

std::string choosePageName(const ScriptLines& lines, const std::vector<std::string>& answers) {
    std::string name = fromPosition(lines[0], 6);
    if (!answers.empty() && startsWith(answers.back(), "PAGE"))
        name = fromPosition(answers.back(), 6);
    return name;
}

PageLocation lookupPage(const ScriptLines& lines, const std::string& pageName) {
    PageLocation loc;
    long long found = 0; // 0: nothing matched; the check below then fails on index -1
    bool matched = false;
    for (long long i = 0; i < lines.count(); ++i) {
        const std::string& line = lines[i];
        if (!matched && isPageStart(line))
            ++loc.pageNumber;
        if (fromPosition(line, 6) == pageName || fromPosition(line, 10) == pageName) {
            found = i + 1;
            matched = true;
        }
    }
    loc.start = found;
    if (startsWith(lines[found - 1], "SKALA.W"))
        loc.start = found - 1;
    return loc;
}

long long readPage(const ScriptLines& lines, long long start,
                   const std::function<void(const ScriptItem&)>& onItem) {
    long long cursor = start;
    for (;;) {
        if (cursor >= lines.count())
            return cursor; // the script ran out
        // Each test reads the line where the cursor stands at that moment.
        if (startsWith(lines[cursor], "RADIO")) {
            ScriptItem item{ItemKind::Radio, lines[cursor], lines[cursor + 1], {}, 0, {}, {}};
            long long i = cursor + 2;
            while (!startsWith(lines[i], "END"))
                item.options.push_back(lines[i++]);
            cursor = i;
            onItem(item);
        }
        if (startsWith(lines[cursor], "TEXT"))
            onItem(ScriptItem{ItemKind::Text, lines[cursor], lines[cursor + 1], {}, 0, {}, {}});
        if (startsWith(lines[cursor], "SKALA.TAG"))
            onItem(ScriptItem{ItemKind::SkalaTag, lines[cursor], lines[cursor + 1], {}, 0, {}, {}});
        if (startsWith(lines[cursor], "SKALA.STD")) {
            ScriptItem item{ItemKind::SkalaStd, lines[cursor], lines[cursor + 1], {}, 0, {}, {}};
            item.firstHour = strToInt(lines[cursor + 2]);
            onItem(item);
        }
        if (startsWith(lines[cursor], "MULTI") || startsWith(lines[cursor], "SINGLE")) {
            const bool multi = startsWith(lines[cursor], "MULTI");
            ScriptItem item{multi ? ItemKind::Multi : ItemKind::Single, lines[cursor],
                            lines[cursor + 1], {}, 0, {}, {}};
            long long i = cursor + 2;
            while (!startsWith(lines[i], "END"))
                item.options.push_back(lines[i++]);
            cursor = i;
            onItem(item);
        }
        if (startsWith(lines[cursor], "SKALA.W")) {
            if (startsWith(lines[cursor], "SKALA.WT")) {
                ScriptItem item{ItemKind::SkalaWT, lines[cursor], {}, {}, 0, lines[cursor + 1], {}};
                long long i = cursor + 2;
                while (lines[i] != "END") {
                    item.jokeText += "\r\n";
                    item.jokeText += lines[i++];
                }
                cursor = i + 2;
                onItem(item);
            } else {
                ScriptItem item{ItemKind::SkalaWP, lines[cursor], {}, {}, 0, {}, lines[cursor + 1]};
                cursor += 3;
                onItem(item);
            }
        }
        // The end-of-pass test reads without a bounds check of its own: a
        // rating item at the very end of the script fails here.
        const bool ends = isPageStart(lines[cursor]);
        ++cursor;
        if (ends)
            return cursor;
    }
}

} // namespace fb
