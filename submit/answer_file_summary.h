#pragma once
// What the send dialog reads from an answer file: whether it can be sent, and
// whose answers it holds. Free of the window so that it can be tested and
// fuzzed on its own.
#include <string>
#include <vector>

namespace fb {

enum class AnswerFileState {
    Defective, // no line, or more than two
    Unsent,    // the one line of answers
    Sent,      // the answers and the line the upload appended
};

struct AnswerFileSummary {
    AnswerFileState state = AnswerFileState::Defective;
    std::string name;  // empty when Defective
    std::string email; // empty when Defective
};

// The lines as the dialog has read them from the file.
AnswerFileSummary summarizeAnswerFile(const std::vector<std::string>& lines);

} // namespace fb
