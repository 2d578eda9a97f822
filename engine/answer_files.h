#pragma once
// The progress file and the numbered answer files.
#include <string>
#include <vector>

namespace fb {

inline const char* const kProgressFile = "bogen.prt";

// "00000000.bgn" and the numbers after it.
std::string answerFileName(int number);

// The lines joined with "&" between neighbours.
std::string joinAnswers(const std::vector<std::string>& lines);

// Writes the joined line to the first free answer file (gaps first) and
// returns its number. The number is claimed by an exclusive create, so a
// second program in the same directory never overwrites it.
int writeAnswerFile(const std::vector<std::string>& lines);

} // namespace fb
