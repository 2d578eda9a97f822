#pragma once
// Checks a questionnaire script for the rules the reader relies on but never
// tests, so that a broken script fails the build instead of a participant's
// session. The walk follows the reader's own line consumption.
#include "engine/script.h"
#include "platform/resource_store.h"

#include <string>
#include <string_view>
#include <vector>

namespace fb {

enum class Rule {
    FirstLine,        // the first line is no PAGE line (or the script is empty)
    KeywordLine,      // a keyword line without one blank and a name after the keyword
    MissingLine,      // the script ends before a line an item needs
    UnclosedList,     // a RADIO, SINGLE or MULTI list without a line beginning with "END"
    UnclosedJoke,     // a joke text without a line that is exactly "END"
    KeywordInContent, // a question, option, hour, joke or file line beginning with a keyword
    RatingTail,       // a rating item not followed by a separator line and a page start
    HourLine,         // a SKALA.STD hour line that is no decimal integer
    LastLine,         // the script ends with a page start
    StrayText,        // text outside every item, which the reader ignores
    DuplicatePage,    // another line answers the lookup of a page's name
    DuplicateAnswer,  // two items record answers under the same name
    MissingPicture,   // a SKALA.WP file name that is no embedded JPG resource
    UnusedPicture,    // a JPG resource that no SKALA.WP item names
    ReaderFails,      // the program's own reader fails or loops on the script
    LongChoiceList,   // a MULTI list with more entries than its recorded value holds
};

struct Finding {
    long long line = 0; // 1-based; 0 for the script as a whole
    Rule rule = Rule::FirstLine;
    std::string message; // UTF-8
};

struct CheckOptions {
    // The store the pictures are looked up in; null skips both picture rules.
    const ResourceStore* resources = nullptr;
};

// Findings ordered by line, whole-script findings last.
std::vector<Finding> checkScript(const ScriptLines& lines, const CheckOptions& options);

// Splits the bytes as the program does, then checks them.
std::vector<Finding> checkScriptBytes(std::string_view bytes, const CheckOptions& options);

} // namespace fb
