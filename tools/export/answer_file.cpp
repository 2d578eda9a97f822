#include "tools/export/answer_file.h"

#include "engine/text_lines.h"
#include "tools/export/encoding.h"

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

class LineSplitter {
public:
    LineSplitter(const Catalogue& cat, std::string_view line, Answers& out)
        : vars_(cat.variables), pages_(cat.pages), line_(line), out_(out) {}

    // pos: the "&" before the first answer, or the line's end.
    bool split(std::size_t pos) { return parse(pos, 0); }
    const std::string& error() const { return error_; }

private:
    const std::vector<Variable>& vars_;
    const std::vector<Page>& pages_;
    std::string_view line_;
    Answers& out_;
    std::string error_;
    std::size_t errorAt_ = 0;
    int swallowing_ = 0;
    std::size_t swallowedFrom_ = 0;
    std::unordered_set<std::string_view> names_;
    std::unordered_set<unsigned long long> failed_;

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

    // Whether a field allowed after variable i-1 starts at the "&" at pos.
    bool allowedAt(std::size_t pos, std::size_t i) const {
        for (std::size_t j = i; j < vars_.size(); ++j) {
            if (nameAt(pos, j))
                return true;
            if (!vars_[j].optional)
                break;
        }
        return false;
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
    bool atEnd(std::size_t i) {
        std::size_t j = i;
        while (j < vars_.size() && vars_[j].optional && !vars_[j].firstOfPage) {
            out_.states[j] = State::Absent;
            ++j;
        }
        if (j < vars_.size() && !vars_[j].firstOfPage)
            return fail(line_.size(), "the line ends inside page " + pages_[vars_[j].page].name +
                                          ": the answer " + quoted(vars_[j].name) + " is missing");
        if (j < vars_.size() && swallowing_ && holdsAField(swallowedFrom_))
            return fail(line_.size(), "the line ends before page " + pages_[vars_[j].page].name);
        for (std::size_t k = j; k < vars_.size(); ++k)
            out_.states[k] = State::NotRecorded;
        return true;
    }

    // Whether "&" and a name of the script and "=" follow from start on.
    bool holdsAField(std::size_t start) {
        if (names_.empty())
            for (const Variable& v : vars_)
                names_.insert(v.name);
        for (std::size_t q = line_.find('&', start); q != std::string_view::npos; q = line_.find('&', q + 1)) {
            const std::size_t end = line_.find_first_of("=&", q + 1);
            if (end != std::string_view::npos && line_[end] == '=' &&
                names_.count(line_.substr(q + 1, end - q - 1)))
                return true;
        }
        return false;
    }

    bool parse(std::size_t pos, std::size_t i) {
        if (pos == line_.size())
            return atEnd(i);
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
        if (!matched) {
            const std::size_t nameEnd = line_.find_first_of("=&", pos + 1);
            const std::string_view name =
                line_.substr(pos + 1, (nameEnd == std::string_view::npos ? line_.size() : nameEnd) - pos - 1);
            fail(pos + 1, "field " + quoted(name) + position(pos + 1) +
                              " is not allowed there; expected " + expected(i));
        }
        failed_.insert(key);
        return false;
    }

    // A text that cannot end anywhere has most likely run into a field of
    // a wrong name: report the first "&" that looks like one (the allowed
    // names were tried already).
    void strayField(std::size_t start, std::size_t next) {
        for (std::size_t q = line_.find('&', start); q != std::string_view::npos; q = line_.find('&', q + 1)) {
            const std::size_t end = line_.find_first_of("=&", q + 1);
            if (end != std::string_view::npos && line_[end] == '=' && end > q + 1 && !allowedAt(q, next)) {
                fail(q + 1, "field " + quoted(line_.substr(q + 1, end - q - 1)) + position(q + 1) +
                                " is not allowed there; expected " + expected(next));
                return;
            }
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
            bool candidate = false;
            for (std::size_t q = line_.find('&', start); q != std::string_view::npos;
                 q = line_.find('&', q + 1)) {
                if (!allowedAt(q, j + 1))
                    continue;
                candidate = true;
                out_.values[j] = line_.substr(start, q - start);
                if (parse(q, j + 1))
                    return true;
            }
            if (candidate)
                return false;
            out_.values[j] = line_.substr(start);
            if (!swallowing_)
                swallowedFrom_ = start;
            ++swallowing_;
            const bool ok = parse(line_.size(), j + 1);
            --swallowing_;
            if (!ok)
                strayField(start, j + 1);
            return ok;
        }
        std::size_t end = line_.find('&', start);
        if (end == std::string_view::npos)
            end = line_.size();
        const std::string_view value = line_.substr(start, end - start);
        out_.values[j] = value;
        unsigned long long n = 0;
        bool digits = !value.empty() && value.size() <= 19;
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
};

} // namespace

std::string readAnswerFile(const Catalogue& cat, std::string_view bytes, Answers& out) {
    out.notes.clear();
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
