#include "submit/answer_file_summary.h"

#include "engine/text_lines.h"

namespace fb {

AnswerFileSummary summarizeAnswerFile(const std::vector<std::string>& lines) {
    AnswerFileSummary s;
    if (lines.empty() || lines.size() > 2)
        return s;
    s.state = lines.size() == 2 ? AnswerFileState::Sent : AnswerFileState::Unsent;
    const std::string& first = lines.front();
    const long long nameStart = positionOf("&Name=", first) + 6;
    s.name = copyText(first, nameStart, positionOf("&Email=", first) - nameStart);
    // The e-mail answer runs from its marker to the next field.
    if (const long long at = positionOf("&Email=", first); at > 0) {
        const std::string rest = copyText(first, at + 7, static_cast<long long>(first.size()));
        s.email = rest.substr(0, rest.find('&'));
    }
    return s;
}

} // namespace fb
