#include "engine/script.h"

#include "engine/text_lines.h"
#include "platform/errors.h"

#include <algorithm>

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

std::vector<bool> shownPageStarts(const ScriptLines& lines) {
    const auto& all = lines.all();
    const std::size_t n = all.size();
    std::vector<bool> shown(n, false);
    // nextEnd[i]: the first exact "END" line at or after i (n if none), so
    // that every joke's end is found in one pass.
    std::vector<std::size_t> nextEnd(n + 1, n);
    for (std::size_t i = n; i-- > 0;)
        nextEnd[i] = all[i] == "END" ? i : nextEnd[i + 1];
    for (std::size_t i = 0; i < n; ++i) {
        if (startsWith(all[i], "PAGE"))
            shown[i] = true;
        if (!startsWith(all[i], "SKALA.W"))
            continue;
        // Where the reader stands after this rating item: two lines below
        // the joke's "END", three below a cartoon's keyword line. A rating
        // item there ends this page and is shown on a page of its own; one
        // met anywhere else belongs to the page being read.
        std::size_t after = n;
        if (startsWith(all[i], "SKALA.WT")) {
            if (i + 2 < n && nextEnd[i + 2] < n)
                after = nextEnd[i + 2] + 2;
        } else {
            after = i + 3;
        }
        if (after < n && startsWith(all[after], "SKALA.W"))
            shown[after] = true;
    }
    return shown;
}

int countPages(const ScriptLines& lines) {
    const std::vector<bool> shown = shownPageStarts(lines);
    return static_cast<int>(std::count(shown.begin(), shown.end(), true));
}

std::string choosePageName(const ScriptLines& lines, const std::vector<std::string>& answers) {
    std::string name = fromPosition(lines[0], 6);
    if (!answers.empty() && startsWith(answers.back(), "PAGE"))
        name = fromPosition(answers.back(), 6);
    return name;
}

PageLocation lookupPage(const ScriptLines& lines, const std::string& pageName) {
    PageLocation loc;
    const std::vector<bool> shown = shownPageStarts(lines);
    long long found = 0; // 0: nothing matched; the check below then fails on index -1
    bool matched = false;
    for (long long i = 0; i < lines.count(); ++i) {
        const std::string& line = lines[i];
        if (!matched && shown[static_cast<std::size_t>(i)])
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
