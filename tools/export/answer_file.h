#pragma once
// Reading one answer file: its form (one line, or two with the sent mark),
// its header, and the split of the answer line into the script's fields.
//
// Answers are written unescaped, so a TEXT value may hold "&" and "=". A "&"
// starts a new field only where the text after it is a name that the script
// allows next, followed by "=". When a TEXT value itself holds such a text,
// the split that lets the rest of the line read through is taken.
#include "tools/export/catalogue.h"

#include <string>
#include <string_view>
#include <vector>

namespace fb::exporter {

inline constexpr std::string_view kSentMark = "Daten erfolgreich gesendet.";

enum class State : unsigned char {
    NotRecorded, // the variable's page is not in the line
    Absent,      // its page is there, but not the line (an unchecked ".k")
    Present,
};

struct Answers {
    std::string line;                     // the answer line, Windows-1252
    std::string_view recipient;           // views into line
    std::vector<std::string_view> values; // per variable, valid when Present
    std::vector<State> states;
    bool sentMark = false;
    std::vector<std::string> notes; // Windows-1252
    std::size_t steps = 0; // states and split points the split tried: linear in the line's "&"s
};

// Empty on success; otherwise why the file cannot be exported (Windows-1252,
// with the 1-based position in the line where one applies). out is reused
// between calls.
std::string readAnswerFile(const Catalogue& cat, std::string_view bytes, Answers& out);

} // namespace fb::exporter
