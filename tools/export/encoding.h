#pragma once
// Windows-1252 to UTF-8, and the test whether a file is Windows-1252 text.
#include <cstddef>
#include <string>
#include <string_view>

namespace fb::exporter {

// The five bytes Windows leaves undefined become the C1 controls of the same
// value, as in the program's own conversion.
void appendUtf8(std::string& out, std::string_view cp1252);
std::string toUtf8(std::string_view cp1252);

bool isValidUtf8(std::string_view bytes);

// Empty when bytes are Windows-1252 text as the program writes it; else the
// reason, naming the first offending byte (1-based offset). Rejected: NUL and
// other control characters than TAB, CR and LF; the five undefined bytes; and
// a file with non-ASCII bytes that is valid UTF-8 throughout (a re-encoded
// file: the program's own files hold "WB\xF6se=", which is no UTF-8).
std::string textProblem(std::string_view bytes);

// At most max bytes of a UTF-8 text, cut at a character boundary.
std::string cutUtf8(const std::string& text, std::size_t max);

} // namespace fb::exporter
