#include "tools/script_checker/checker.h"

#include "engine/answers.h"
#include "engine/resource_loader.h"
#include "engine/text_lines.h"
#include "platform/cp1252.h"
#include "platform/errors.h"

#include <algorithm>
#include <limits>
#include <map>
#include <set>

namespace fb {
namespace {

// Every prefix the reader or the page counter reacts to.
constexpr std::string_view kKeywords[] = {"PAGE",      "RADIO", "TEXT",   "SKALA.TAG",
                                          "SKALA.STD", "MULTI", "SINGLE", "SKALA.W"};

std::string_view keywordOf(const std::string& line) {
    for (std::string_view k : kKeywords)
        if (startsWith(line, k))
            return k;
    return {};
}

bool isBlank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// Script text for a message: quoted, shortened, converted from Windows-1252.
std::string shown(const std::string& text) {
    constexpr std::size_t kMax = 50;
    std::string cut = text.size() > kMax ? text.substr(0, kMax - 3) + "..." : text;
    return "\"" + fromCp1252(cut).toStdString() + "\"";
}

std::string shown(std::string_view text) { return shown(std::string(text)); }

struct PageStart {
    long long index;
    std::string name;
};

class Walker {
public:
    Walker(const ScriptLines& lines, const CheckOptions& options)
        : lines_(lines), options_(options), n_(lines.count()) {}

    std::vector<Finding> run() {
        if (n_ == 0) {
            add(-1, Rule::FirstLine, "the script is empty; it must begin with a PAGE line");
            return std::move(findings_);
        }
        if (!startsWith(at(0), "PAGE"))
            add(0, Rule::FirstLine,
                "the first line " + shown(at(0)) + " is no PAGE line; the first page is named by it");
        walk();
        if (startsWith(at(n_ - 1), "PAGE"))
            add(n_ - 1, Rule::LastLine,
                "the script ends with a PAGE line: the questionnaire ends on an empty page");
        checkPageNames();
        checkUnusedPictures();
        runReader();
        std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
            auto key = [](const Finding& f) {
                return f.line == 0 ? std::numeric_limits<long long>::max() : f.line;
            };
            return key(a) < key(b);
        });
        return std::move(findings_);
    }

private:
    const ScriptLines& lines_;
    const CheckOptions& options_;
    const long long n_;
    std::vector<Finding> findings_;
    std::vector<PageStart> pages_;
    std::map<std::string, long long> answerNames_; // answer name -> keyword line index
    std::set<const ResourceEntry*> usedPictures_;

    bool has(long long i) const { return i >= 0 && i < n_; }
    const std::string& at(long long i) const { return lines_[i]; }

    // index is 0-based; -1 stands for the script as a whole.
    void add(long long index, Rule rule, std::string message) {
        findings_.push_back(Finding{index + 1, rule, std::move(message)});
    }

    // Follows the reader through the whole script in order. Each branch
    // returns the index of the next line the reader examines on its own.
    void walk() {
        long long i = 0;
        while (i < n_) {
            const std::string& line = at(i);
            if (startsWith(line, "PAGE")) {
                pageLine(i);
                ++i;
            } else if (startsWith(line, "RADIO") || startsWith(line, "MULTI") ||
                       startsWith(line, "SINGLE")) {
                i = optionList(i);
            } else if (startsWith(line, "TEXT") || startsWith(line, "SKALA.TAG")) {
                i = questionItem(i, false);
            } else if (startsWith(line, "SKALA.STD")) {
                i = questionItem(i, true);
            } else if (startsWith(line, "SKALA.W")) {
                i = ratingItem(i);
            } else {
                if (!isBlank(line))
                    add(i, Rule::StrayText,
                        "line " + shown(line) +
                            " begins with no keyword and belongs to no item: the reader ignores it");
                ++i;
            }
        }
    }

    // After a list or joke that never closes, go on at the next keyword line,
    // where the author most likely meant the broken item to end.
    long long resumeAfter(long long i) const {
        while (has(i) && keywordOf(at(i)).empty())
            ++i;
        return i;
    }

    void pageLine(long long i) {
        const std::string& line = at(i);
        const std::string name = fromPosition(line, 6);
        if (line.size() < 6 || line[4] != ' ' || name.front() == ' ')
            add(i, Rule::KeywordLine,
                "page start " + shown(line) + " must be \"PAGE\", one blank and the page's name");
        pages_.push_back(PageStart{i, name});
    }

    void keywordLine(long long i, std::string_view keyword) {
        const std::string& line = at(i);
        const std::size_t k = keyword.size();
        if (line.size() <= k + 1 || line[k] != ' ' || line[k + 1] == ' ')
            add(i, Rule::KeywordLine,
                "item line " + shown(line) + " must be " + shown(keyword) +
                    ", one blank and the item's name");
    }

    // The answer names follow the recorder's fixed character positions.
    void answerNames(long long i, std::size_t position, bool rating) {
        const std::string base = fromPosition(at(i), position);
        if (base.empty() && !rating)
            return; // already reported as a malformed item line
        const std::vector<std::string> names =
            rating ? std::vector<std::string>{base + ".w", base + ".a", base + ".k"}
                   : std::vector<std::string>{base};
        for (const std::string& name : names) {
            const auto [it, fresh] = answerNames_.emplace(name, i);
            if (!fresh) {
                add(i, Rule::DuplicateAnswer,
                    "item " + shown(at(i)) + " records its answer as " + shown(name) +
                        ", as the item in line " + std::to_string(it->second + 1) + " does");
                return;
            }
        }
    }

    // A line that belongs to an item but begins with a keyword. reread: the
    // reader examines the line again as an ordinary line.
    void content(long long j, const std::string& what, long long item, bool reread,
                 std::vector<Finding>* sink = nullptr) {
        const std::string_view k = keywordOf(at(j));
        if (k.empty())
            return;
        std::string why;
        if (k == "PAGE" || k == "SKALA.W")
            why = reread ? "the reader ends the page there" : "it is counted as a page start";
        else if (reread)
            why = "the reader builds a " + std::string(k) + " item from it";
        else
            why = "is an END missing above it?";
        Finding f{j + 1, Rule::KeywordInContent,
                  what + " " + shown(at(j)) + " of " + shown(at(item)) + " begins with the keyword " +
                      shown(k) + ": " + why};
        (sink ? *sink : findings_).push_back(std::move(f));
    }

    long long missing(long long item, const std::string& what) {
        add(item, Rule::MissingLine, "the script ends before the " + what + " of " + shown(at(item)));
        return n_;
    }

    long long optionList(long long i) {
        const std::string_view kw =
            startsWith(at(i), "RADIO") ? "RADIO" : (startsWith(at(i), "MULTI") ? "MULTI" : "SINGLE");
        keywordLine(i, kw);
        answerNames(i, kw.size() + 2, false);
        if (!has(i + 1))
            return missing(i, "question line");
        content(i + 1, "question line", i, false);
        std::vector<Finding> inside;
        long long j = i + 2;
        for (; has(j) && !startsWith(at(j), "END"); ++j)
            content(j, "option line", i, false, &inside);
        if (!has(j)) {
            add(i, Rule::UnclosedList,
                "option list of " + shown(at(i)) +
                    " is never closed: no later line begins with \"END\"");
            return resumeAfter(i + 2);
        }
        findings_.insert(findings_.end(), inside.begin(), inside.end());
        if (kw == "MULTI" && j - (i + 2) > kMultiEntries)
            add(i, Rule::LongChoiceList,
                "choice list " + shown(at(i)) + " has " + std::to_string(j - (i + 2)) +
                    " entries: its recorded value holds " + std::to_string(kMultiEntries) +
                    ", so choosing entry " + std::to_string(kMultiEntries + 1) +
                    " or a later one stops the page from being saved");
        return j + 1;
    }

    long long questionItem(long long i, bool hours) {
        const std::string_view kw =
            startsWith(at(i), "TEXT") ? "TEXT" : (hours ? "SKALA.STD" : "SKALA.TAG");
        keywordLine(i, kw);
        answerNames(i, kw == "TEXT" ? 6 : 11, false);
        if (!has(i + 1))
            return missing(i, "question line");
        content(i + 1, "question line", i, true);
        if (!hours)
            return i + 2;
        if (!has(i + 2))
            return missing(i, "hour line");
        content(i + 2, "hour line", i, true);
        const std::string& hourLine = at(i + 2);
        try {
            const int hour = strToInt(hourLine);
            if (hour < 0 || hour > 24)
                add(i + 2, Rule::HourLine,
                    "hour line " + shown(hourLine) + " of " + shown(at(i)) +
                        " is no hour of the day (0 to 24): the scale is labelled from " +
                        std::to_string(hour <= 24 ? hour : static_cast<long long>(hour) - 24));
        } catch (const EConvertError&) {
            add(i + 2, Rule::HourLine,
                "hour line " + shown(hourLine) + " of " + shown(at(i)) +
                    " is no decimal integer: the page build fails there");
        }
        return i + 3;
    }

    long long ratingItem(long long i) {
        const bool joke = startsWith(at(i), "SKALA.WT");
        if (joke)
            keywordLine(i, "SKALA.WT");
        else if (startsWith(at(i), "SKALA.WP"))
            keywordLine(i, "SKALA.WP");
        else
            add(i, Rule::KeywordLine,
                "item line " + shown(at(i)) +
                    " is neither SKALA.WT nor SKALA.WP: the reader takes it for a picture item");
        answerNames(i, 11, true);
        pages_.push_back(PageStart{i, fromPosition(at(i), 10)});

        long long last; // the item's last own line
        if (joke) {
            if (!has(i + 1))
                return missing(i, "joke text");
            if (at(i + 1) == "END")
                add(i + 1, Rule::UnclosedJoke,
                    "the joke text of " + shown(at(i)) +
                        " begins with \"END\": the reader takes that line as text, not as the end");
            else
                content(i + 1, "joke line", i, false);
            std::vector<Finding> inside;
            long long j = i + 2;
            for (; has(j) && at(j) != "END"; ++j) {
                if (startsWith(at(j), "END"))
                    inside.push_back(Finding{j + 1, Rule::UnclosedJoke,
                                             "joke line " + shown(at(j)) + " of " + shown(at(i)) +
                                                 " is not exactly \"END\" and does not end the joke"});
                else
                    content(j, "joke line", i, false, &inside);
            }
            if (!has(j)) {
                add(i, Rule::UnclosedJoke,
                    "the joke text of " + shown(at(i)) +
                        " is never closed: no later line is exactly \"END\"");
                // Keep the near-miss terminators, which explain why; the
                // keyword lines after are the script's next items.
                for (Finding& f : inside)
                    if (f.rule == Rule::UnclosedJoke)
                        findings_.push_back(std::move(f));
                return resumeAfter(i + 2);
            }
            findings_.insert(findings_.end(), inside.begin(), inside.end());
            last = j;
        } else {
            if (!has(i + 1))
                return missing(i, "picture file line");
            content(i + 1, "picture file line", i, false);
            picture(i + 1);
            last = i + 1;
        }

        // The reader skips the separator unread and then expects a page start.
        const long long separator = last + 1;
        const long long next = last + 2;
        if (!has(separator)) {
            add(i, Rule::RatingTail,
                "the script ends after " + shown(at(i)) +
                    ": a separator line and the next page start must follow, or the page build fails");
            return n_;
        }
        if (!keywordOf(at(separator)).empty())
            add(separator, Rule::RatingTail,
                "the separator line after " + shown(at(i)) + " is " + shown(at(separator)) +
                    ": the reader skips it unread; leave an empty line there");
        else if (!isBlank(at(separator)))
            add(separator, Rule::StrayText,
                "the separator line " + shown(at(separator)) + " after " + shown(at(i)) +
                    " is skipped unread; leave it empty");
        if (!has(next)) {
            add(i, Rule::RatingTail,
                "the script ends after the separator line of " + shown(at(i)) +
                    ": the next page start must follow, or the page build fails");
            return n_;
        }
        if (!isPageStart(at(next))) {
            add(next, Rule::RatingTail,
                "line " + shown(at(next)) + " after the separator of " + shown(at(i)) +
                    " must start the next page (PAGE or SKALA.W); the reader skips it and the "
                    "page runs on");
            return next + 1;
        }
        return next;
    }

    void picture(long long j) {
        if (!options_.resources)
            return;
        const std::string& file = at(j);
        const ResourceId id = resourceIdFor(file);
        if (id.type != "JPG") {
            add(j, Rule::MissingPicture,
                "picture file " + shown(file) + " has no .jpg extension; cartoons are JPG resources");
            return;
        }
        const ResourceEntry* entry = options_.resources->find("JPG", id.name);
        if (!entry) {
            add(j, Rule::MissingPicture,
                "picture file " + shown(file) + " is no embedded JPG resource (" +
                    shown(id.name) + " not found)");
            return;
        }
        usedPictures_.insert(entry);
    }

    void checkUnusedPictures() {
        if (!options_.resources)
            return;
        for (const ResourceEntry& e : options_.resources->entries())
            if (equalsIgnoreCase(e.type, "JPG") && !usedPictures_.contains(&e))
                add(-1, Rule::UnusedPicture,
                    std::string("JPG resource ") + e.name + " is named by no SKALA.WP item");
    }

    // Page lookup tests every line from the 6th and from the 10th character
    // and takes the last match, while the page number counts up to the first:
    // any second line that matches a page's name misplaces or misnumbers it.
    void checkPageNames() {
        std::map<std::string, std::vector<const PageStart*>> byName;
        for (const PageStart& page : pages_)
            if (!page.name.empty()) // an empty name is reported as a malformed line
                byName[page.name].push_back(&page);
        for (long long q = 0; q < n_; ++q) {
            const std::string& line = at(q);
            const std::string six = fromPosition(line, 6);
            const std::string ten = fromPosition(line, 10);
            for (const std::string* key : {&six, &ten}) {
                if (key == &ten && ten == six)
                    continue;
                const auto it = byName.find(*key);
                if (it == byName.end())
                    continue;
                const std::vector<const PageStart*>& same = it->second;
                const bool isSuchPage = std::any_of(same.begin(), same.end(),
                                                    [&](const PageStart* p) { return p->index == q; });
                for (const PageStart* page : same) {
                    if (page->index == q)
                        continue;
                    if (isSuchPage) {
                        // Two pages of one name: reported once, at the later one.
                        if (q > page->index && page == same.front())
                            add(q, Rule::DuplicatePage,
                                "page name " + shown(page->name) + " is used already in line " +
                                    std::to_string(page->index + 1));
                    } else {
                        add(q, Rule::DuplicatePage,
                            "line " + shown(line) + " also matches the lookup of page " +
                                shown(page->name) + " (line " + std::to_string(page->index + 1) +
                                "): that page would be started or numbered wrongly");
                    }
                }
            }
        }
    }

    // The program's own reader, page after page as the questionnaire runs
    // (each page named by the line that ended the one before): it shows what
    // a participant would meet, and guards against anything the rules miss.
    void runReader() {
        std::set<long long> starts;
        std::string name = choosePageName(lines_, {});
        const int limit = countPages(lines_) + 1;
        for (int step = 0; step <= limit; ++step) {
            long long pageIndex = -1;
            long long cursor = 0;
            try {
                const PageLocation loc = lookupPage(lines_, name);
                // The line whose name matched: a PAGE line is read from the
                // line after it, a rating item from itself.
                pageIndex = has(loc.start - 1) && fromPosition(at(loc.start - 1), 6) == name
                                ? loc.start - 1
                                : loc.start;
                if (!starts.insert(loc.start).second) {
                    add(pageIndex, Rule::ReaderFails,
                        "the program shows page " + shown(name) +
                            " a second time: the questionnaire never ends");
                    return;
                }
                cursor = readPage(lines_, loc.start, [](const ScriptItem&) {});
            } catch (const Exception& e) {
                add(pageIndex, Rule::ReaderFails,
                    "the program fails on page " + shown(name) + ": " +
                        fromCp1252(e.message()).toStdString());
                return;
            }
            const auto marker = resumeMarker(lines_, cursor);
            if (!marker)
                return; // finished
            name = fromPosition(*marker, 6);
        }
        add(-1, Rule::ReaderFails, "the program's page sequence does not come to an end");
    }
};

} // namespace

std::vector<Finding> checkScript(const ScriptLines& lines, const CheckOptions& options) {
    return Walker(lines, options).run();
}

std::vector<Finding> checkScriptBytes(std::string_view bytes, const CheckOptions& options) {
    return checkScript(ScriptLines(splitLines(bytes)), options);
}

} // namespace fb
