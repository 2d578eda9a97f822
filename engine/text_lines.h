#pragma once
// Lists of 8-bit text lines, as the script and the answer files hold them.
#include <string>
#include <string_view>
#include <vector>

namespace fb {

// Splits at CR, LF or CR LF; a NUL byte ends the text; a final line end adds
// no empty line; lines are never trimmed.
std::vector<std::string> splitLines(std::string_view text);

// Each line followed by CR LF.
std::string joinLines(const std::vector<std::string>& lines);

// Exact, case-sensitive test of a line's first characters.
inline bool startsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

// The text from the 1-based position pos on; empty when the line is shorter.
inline std::string fromPosition(const std::string& line, std::size_t pos) {
    return pos - 1 < line.size() ? line.substr(pos - 1) : std::string();
}

// Copy with the rules of the text extraction of the program: 1-based start,
// a start below 1 counts as 1, a start beyond the end or a count of zero or
// less gives empty text, a count past the end stops at the end.
std::string copyText(const std::string& text, long long start, long long count);

// 1-based position of needle in text, 0 when absent.
long long positionOf(const std::string& needle, const std::string& text);

} // namespace fb
