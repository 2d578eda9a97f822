#pragma once
// The questionnaire script: its lines, page counting, page lookup and the
// page reader that yields a page's items.
#include <functional>
#include <string>
#include <vector>

namespace fb {

// The script's lines, 0-based; every access outside the list fails with
// "List index out of bounds (%d)".
class ScriptLines {
public:
    ScriptLines() = default;
    explicit ScriptLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    void assignText(const std::string& bytes);
    const std::string& operator[](long long index) const;
    long long count() const { return static_cast<long long>(lines_.size()); }
    bool empty() const { return lines_.empty(); }
    const std::vector<std::string>& all() const { return lines_; }

private:
    std::vector<std::string> lines_;
};

// A line that starts a page: "PAGE…" or a rating item "SKALA.W…".
bool isPageStart(const std::string& line);

// Per line: whether a page the participant sees begins there. Every "PAGE"
// line does; a rating item only when it follows another rating item, since
// one met while a page is read is shown on that page (the first joke on the
// page that "PAGE Witze" starts).
std::vector<bool> shownPageStarts(const ScriptLines& lines);

// The pages as the participant sees them, so that the numbers run without
// a gap.
int countPages(const ScriptLines& lines);

// The page to build: the first PAGE line's name, or the name after "PAGE " in
// the last answer line when that is a resume marker.
std::string choosePageName(const ScriptLines& lines, const std::vector<std::string>& answers);

struct PageLocation {
    long long start = 0;  // first line to read
    int pageNumber = 0;   // 1-based, counted over the pages shown
};

// Every line is tested; the last match wins. An unknown name ends in the
// list's index error.
PageLocation lookupPage(const ScriptLines& lines, const std::string& pageName);

enum class ItemKind { Radio, Text, SkalaTag, SkalaStd, Multi, Single, SkalaWT, SkalaWP };

struct ScriptItem {
    ItemKind kind;
    std::string keywordLine;          // e.g. "RADIO Geschlecht"
    std::string question;             // TEXT, RADIO, SINGLE, MULTI, SKALA.TAG, SKALA.STD
    std::vector<std::string> options; // RADIO, SINGLE, MULTI
    int firstHour = 0;                // SKALA.STD
    std::string jokeText;             // SKALA.WT, lines joined with CR LF
    std::string pictureFile;          // SKALA.WP
};

// Reads one page from start, handing each item to onItem as it is read (so a
// failing item leaves the earlier ones built). Returns ScriptCursor: one past
// the page start that ended the page, or the number of lines when the script
// ran out.
long long readPage(const ScriptLines& lines, long long start,
                   const std::function<void(const ScriptItem&)>& onItem);

} // namespace fb
