#include "tools/export/answer_file.h"

#include "engine/text_lines.h"
#include "tools/export/encoding.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace fb::exporter {
namespace {

constexpr std::string_view kRecipient = "recipient=";
constexpr std::string_view kSubject = "&subject=";
constexpr std::string_view kSubjectValue = "Bogendaten";

std::string quoted(std::string_view text) {
    constexpr std::size_t kMax = 40;
    if (text.size() > kMax)
        return "\"" + std::string(text.substr(0, kMax)) + "...\"";
    return "\"" + std::string(text) + "\"";
}

std::string position(std::size_t index) { return " at position " + std::to_string(index + 1); }

// A name as another version of the script could have recorded it: letters,
// digits, "." and "_".
bool nameLike(std::string_view name) {
    if (name.empty() || name.size() > 64)
        return false;
    for (char ch : name) {
        const auto b = static_cast<unsigned char>(ch);
        const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= 0xC0 && b != 0xD7 && b != 0xF7);
        if (!letter && !(b >= '0' && b <= '9') && b != '.' && b != '_')
            return false;
    }
    return true;
}

// The split is a search over (position of an "&", next variable) with every
// failed state remembered, and the "&"s that may start each variable listed
// once up front, so a line is split in time linear in its length.
class LineSplitter {
public:
    LineSplitter(const Catalogue& cat, std::string_view line, Answers& out)
        : vars_(cat.variables), pages_(cat.pages), line_(line), out_(out) {}

    // pos: the "&" before the first answer, or the line's end.
    bool split(std::size_t pos) {
        index(pos);
        return parse(pos, 0) && checkTexts();
    }
    const std::string& error() const { return error_; }

private:
    const std::vector<Variable>& vars_;
    const std::vector<Page>& pages_;
    std::string_view line_;
    Answers& out_;
    std::string error_;
    std::size_t errorAt_ = 0;
    int swallowing_ = 0;
    std::unordered_map<std::string_view, std::vector<std::size_t>> byName_;
    std::vector<std::vector<std::size_t>> allowed_; // per variable: the "&"s it may start at
    std::vector<std::size_t> failedFrom_;           // per variable: every "&" of allowed_ from here on failed
    std::vector<std::size_t> knownFields_;          // "&" + a name of the script + "="
    std::vector<std::size_t> fieldLike_;            // "&" + a text without "&" + "="
    std::unordered_set<unsigned long long> failed_;

    void index(std::size_t from) {
        std::size_t longest = 0;
        for (std::size_t j = 0; j < vars_.size(); ++j) {
            byName_[vars_[j].name].push_back(j);
            longest = std::max(longest, vars_[j].name.size());
        }
        allowed_.assign(vars_.size() + 1, {});
        failedFrom_.assign(vars_.size() + 1, line_.size());
        for (std::size_t q = line_.find('&', from); q != std::string_view::npos; q = line_.find('&', q + 1)) {
            const std::size_t end = line_.find_first_of("=&", q + 1);
            if (end != std::string_view::npos && line_[end] == '=' && end > q + 1)
                fieldLike_.push_back(q);
            // Every "=" a script name's length away may end a name.
            const std::size_t last = std::min(line_.size(), q + 2 + longest);
            bool known = false;
            for (std::size_t e = q + 1; e < last; ++e) {
                if (line_[e] != '=')
                    continue;
                const auto it = byName_.find(line_.substr(q + 1, e - q - 1));
                if (it == byName_.end())
                    continue;
                known = true;
                for (std::size_t j : it->second) {
                    // Allowed after variable i-1 when only optional rows lie between.
                    for (std::size_t i = j + 1; i-- > 0;) {
                        if (allowed_[i].empty() || allowed_[i].back() != q)
                            allowed_[i].push_back(q);
                        if (i == 0 || !vars_[i - 1].optional)
                            break;
                    }
                }
            }
            if (known)
                knownFields_.push_back(q);
        }
    }

    static std::size_t firstAtOrAfter(const std::vector<std::size_t>& sorted, std::size_t pos) {
        const auto it = std::lower_bound(sorted.begin(), sorted.end(), pos);
        return it == sorted.end() ? std::string_view::npos : *it;
    }

    // The failure that got furthest into the line is the one reported; a
    // text that ran to the line's end only got there by swallowing the rest,
    // so its failure counts only when there is no other.
    bool fail(std::size_t at, std::string why) {
        if (swallowing_)
            at = 0;
        if (error_.empty() || at > errorAt_) {
            errorAt_ = at;
            error_ = std::move(why);
        }
        return false;
    }

    bool nameAt(std::size_t pos, std::size_t j) const {
        const std::string& name = vars_[j].name;
        return line_[pos] == '&' && line_.size() - pos - 1 > name.size() &&
               line_.compare(pos + 1, name.size(), name) == 0 && line_[pos + 1 + name.size()] == '=';
    }

    bool allowedAt(std::size_t pos, std::size_t i) const {
        return std::binary_search(allowed_[i].begin(), allowed_[i].end(), pos);
    }

    std::string expected(std::size_t i) const {
        if (i >= vars_.size())
            return "nothing (the questionnaire ends before)";
        std::string names;
        for (std::size_t j = i; j < vars_.size(); ++j) {
            if (!names.empty())
                names += " or ";
            names += quoted(vars_[j].name);
            if (!vars_[j].optional)
                break;
        }
        return names;
    }

    // A text that ran to the line's end leaves the later pages unrecorded
    // only when nothing in it looks like one of the script's fields.
    bool atEnd(std::size_t i, std::size_t swallowedFrom) {
        std::size_t j = i;
        while (j < vars_.size() && vars_[j].optional && !vars_[j].firstOfPage) {
            out_.states[j] = State::Absent;
            ++j;
        }
        if (j < vars_.size() && !vars_[j].firstOfPage)
            return fail(line_.size(), "the line ends inside page " + pages_[vars_[j].page].name +
                                          ": the answer " + quoted(vars_[j].name) + " is missing");
        if (j < vars_.size() && swallowing_ && firstAtOrAfter(knownFields_, swallowedFrom) != std::string_view::npos)
            return fail(line_.size(), "the line ends before page " + pages_[vars_[j].page].name);
        for (std::size_t k = j; k < vars_.size(); ++k)
            out_.states[k] = State::NotRecorded;
        return true;
    }

    bool parse(std::size_t pos, std::size_t i) {
        ++out_.steps;
        if (pos == line_.size())
            return atEnd(i, pos);
        const unsigned long long key = (static_cast<unsigned long long>(pos) << 20) | i;
        if (failed_.count(key))
            return false;
        bool matched = false;
        for (std::size_t j = i; j < vars_.size(); ++j) {
            if (nameAt(pos, j)) {
                matched = true;
                for (std::size_t k = i; k < j; ++k)
                    out_.states[k] = State::Absent;
                if (field(pos, j))
                    return true;
            }
            if (!vars_[j].optional)
                break;
        }
        if (!matched)
            unexpected(pos, i);
        failed_.insert(key);
        return false;
    }

    // An allowed name at pos without "=" and value: the line was cut there.
    bool missingValue(std::size_t pos, std::size_t i) {
        std::size_t nameEnd = line_.find_first_of("=&", pos + 1);
        if (nameEnd == std::string_view::npos)
            nameEnd = line_.size();
        if (nameEnd < line_.size() && line_[nameEnd] == '=')
            return false;
        const std::string_view name = line_.substr(pos + 1, nameEnd - pos - 1);
        for (std::size_t j = i; j < vars_.size(); ++j) {
            if (name == vars_[j].name) {
                fail(pos + 1, "the value of " + quoted(name) + position(pos + 1) + " is missing (" +
                                  (nameEnd == line_.size() ? "the line ends" : "no \"=\" follows") +
                                  " after the name)");
                return true;
            }
            if (!vars_[j].optional)
                break;
        }
        return false;
    }

    void unexpected(std::size_t pos, std::size_t i) {
        if (missingValue(pos, i))
            return;
        const std::size_t nameEnd = line_.find_first_of("=&", pos + 1);
        const std::string_view name =
            line_.substr(pos + 1, (nameEnd == std::string_view::npos ? line_.size() : nameEnd) - pos - 1);
        fail(pos + 1, "field " + quoted(name) + position(pos + 1) + " is not allowed there; expected " +
                          expected(i));
    }

    // A text that cannot end anywhere has most likely run into a field of
    // a wrong name: report the first "&" that looks like one (the allowed
    // names were tried already).
    void strayField(std::size_t start, std::size_t next) {
        for (auto it = std::lower_bound(fieldLike_.begin(), fieldLike_.end(), start); it != fieldLike_.end(); ++it) {
            if (allowedAt(*it, next))
                continue;
            const std::size_t end = line_.find('=', *it + 1);
            fail(*it + 1, "field " + quoted(line_.substr(*it + 1, end - *it - 1)) + position(*it + 1) +
                              " is not allowed there; expected " + expected(next));
            return;
        }
    }

    bool field(std::size_t pos, std::size_t j) {
        const Variable& v = vars_[j];
        const std::size_t start = pos + 1 + v.name.size() + 1;
        out_.states[j] = State::Present;
        if (!v.numeric) {
            // Every "&" that an allowed name follows may end the text; the
            // first one that lets the rest read through does. Only a text
            // without such an "&" runs to the line's end: otherwise a text at
            // a page's end would swallow a broken rest of the line.
            const std::vector<std::size_t>& ends = allowed_[j + 1];
            auto it = std::lower_bound(ends.begin(), ends.end(), start);
            if (it != ends.end()) {
                // Those from failedFrom_ on were tried from an earlier text.
                std::size_t& failedFrom = failedFrom_[j + 1];
                for (; it != ends.end() && *it < failedFrom; ++it) {
                    ++out_.steps;
                    out_.values[j] = line_.substr(start, *it - start);
                    if (parse(*it, j + 1))
                        return true;
                }
                failedFrom = std::min(failedFrom, start);
                return false;
            }
            out_.values[j] = line_.substr(start);
            ++swallowing_;
            const bool ok = atEnd(j + 1, start);
            --swallowing_;
            if (!ok) {
                strayField(start, j + 1);
                const std::size_t last = line_.rfind('&');
                if (last != std::string_view::npos && last >= start)
                    missingValue(last, j + 1);
            }
            return ok;
        }
        std::size_t end = line_.find('&', start);
        if (end == std::string_view::npos)
            end = line_.size();
        const std::string_view value = line_.substr(start, end - start);
        out_.values[j] = value;
        if (value.empty())
            return fail(start, "the value of " + quoted(v.name) + position(start) + " is missing");
        unsigned long long n = 0;
        bool digits = value.size() <= 19;
        for (std::size_t k = 0; digits && k < value.size(); ++k) {
            digits = value[k] >= '0' && value[k] <= '9';
            n = n * 10 + static_cast<unsigned>(value[k] - '0');
        }
        if (!digits)
            return fail(start, "value " + quoted(value) + " of " + quoted(v.name) + position(start) +
                                   " is not a number");
        if (!v.hasRange)
            return fail(start, "value " + quoted(value) + " of " + quoted(v.name) + position(start) +
                                   ": the item has no options");
        if (n < v.minValue || n > v.maxValue)
            return fail(start, "value " + quoted(value) + " of " + quoted(v.name) + position(start) +
                                   " is outside " + std::to_string(v.minValue) + ".." +
                                   std::to_string(v.maxValue));
        return parse(end, j + 1);
    }

    // A text answer that ends in "&" + a name the script does not know + "="
    // most likely swallowed a field of another version of the script. Where
    // another field follows, the file is refused; at the line's end, where a
    // participant's text may hold it, it is kept with a note.
    bool checkTexts() {
        for (std::size_t j = 0; j < vars_.size(); ++j) {
            if (vars_[j].numeric || out_.states[j] != State::Present)
                continue;
            const std::string_view value = out_.values[j];
            const std::size_t amp = value.rfind('&');
            if (amp == std::string_view::npos)
                continue;
            const std::size_t eq = value.find('=', amp + 1);
            if (eq == std::string_view::npos)
                continue;
            const std::string_view name = value.substr(amp + 1, eq - amp - 1);
            if (!nameLike(name) || byName_.count(name))
                continue;
            const std::size_t at = static_cast<std::size_t>(value.data() - line_.data()) + amp;
            const std::string what = "the text answer " + quoted(vars_[j].name) + " ends in " +
                                     quoted(value.substr(amp)) + position(at) + ": " + quoted(name) +
                                     " is no answer name of the questionnaire script";
            if (value.data() + value.size() != line_.data() + line_.size()) {
                error_ = what + " (an answer file of another version of the script?)";
                return false;
            }
            out_.notes.push_back(what + "; kept as part of the text");
        }
        return true;
    }
};

} // namespace

std::string readAnswerFile(const Catalogue& cat, std::string_view bytes, Answers& out) {
    out.notes.clear();
    out.steps = 0;
    out.sentMark = false;
    out.recipient = {};
    out.line.clear();
    if (std::string problem = textProblem(bytes); !problem.empty())
        return problem;
    std::vector<std::string> lines = splitLines(bytes);
    if (lines.empty())
        return "defective: the file holds no line";
    if (lines.size() > 2)
        return "defective: the file holds " + std::to_string(lines.size()) +
               " lines (an answer file has one, and a second when it was sent)";
    if (lines.size() == 2) {
        out.sentMark = lines[1] == kSentMark;
        if (!out.sentMark)
            out.notes.push_back("the second line is not \"" + std::string(kSentMark) +
                                "\"; counted as not sent");
    }
    out.line = std::move(lines[0]);
    const std::string_view line = out.line;
    if (!startsWith(line, kRecipient))
        return "the line does not start with \"recipient=\"";
    const std::size_t subject = line.find(kSubject, kRecipient.size());
    if (subject == std::string_view::npos)
        return "no \"&subject=\" field after the recipient";
    out.recipient = line.substr(kRecipient.size(), subject - kRecipient.size());
    const std::size_t value = subject + kSubject.size();
    const std::size_t answers = value + kSubjectValue.size();
    if (line.compare(value, kSubjectValue.size(), kSubjectValue) != 0 ||
        (answers < line.size() && line[answers] != '&'))
        return "the subject" + position(value) + " is not \"Bogendaten\"";
    if (answers >= line.size())
        return "no answers after the header";

    const std::size_t n = cat.variables.size();
    out.values.assign(n, std::string_view());
    out.states.assign(n, State::NotRecorded);
    LineSplitter splitter(cat, line, out);
    if (!splitter.split(answers))
        return splitter.error();
    // A line that ends at a page boundary before the questionnaire's end.
    for (std::size_t k = 0; k < n; ++k) {
        if (out.states[k] == State::NotRecorded) {
            const Page& last = k > 0 ? cat.pages[cat.variables[k - 1].page] : cat.pages.front();
            out.notes.push_back("the answers end after page " + last.name + " (" +
                                std::to_string(last.number) + "); the later pages stay empty");
            break;
        }
    }
    return {};
}

} // namespace fb::exporter
