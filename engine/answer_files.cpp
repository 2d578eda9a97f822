#include "engine/answer_files.h"

#include "engine/line_file.h"

#include <cstdio>

namespace fb {

std::string answerFileName(int number) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%08d.bgn", number);
    return buf;
}

std::string joinAnswers(const std::vector<std::string>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i)
            joined += '&';
        joined += lines[i];
    }
    return joined;
}

int writeAnswerFile(const std::vector<std::string>& lines) {
    const std::vector<std::string> one{joinAnswers(lines)};
    for (int n = 0; n <= 99999999; ++n) {
        const std::string name = answerFileName(n);
        if (fileExists(name))
            continue;
        if (createLineFileExclusive(name, one))
            return n;
    }
    throw EFileError("No free answer file number");
}

} // namespace fb
