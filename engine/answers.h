#pragma once
// Validation and recording of the page being shown.
#include "engine/page_model.h"
#include "engine/script.h"

#include <optional>
#include <string>
#include <vector>

namespace fb {

// Every entry answered by the rule of its kind (all entries are tested).
bool pageComplete(const PageModel& model);

// Whether entry i is answered by the rule of its kind (false past the end).
bool entryAnswered(const PageModel& model, std::size_t i);

// A MULTI value is a 64-bit set: entry i (0-based) adds 2 to the power i.
inline constexpr int kMultiEntries = 64;

// The "name=value" lines of the page, in entry order. Throws, recording
// nothing, when a selected MULTI entry lies beyond kMultiEntries.
std::vector<std::string> answerLines(const PageModel& model);

// The marker of the next page for the line where the builder stopped, or
// nothing when the script is exhausted.
std::optional<std::string> resumeMarker(const ScriptLines& lines, long long scriptCursor);

} // namespace fb
