#include "engine/text_lines.h"

namespace fb {

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    std::size_t total = 0;
    for (const auto& l : lines)
        total += l.size() + 2;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string copyText(const std::string& text, long long start, long long count) {
    if (start < 1)
        start = 1;
    const long long size = static_cast<long long>(text.size());
    if (start > size || count <= 0)
        return {};
    if (count > size - start + 1)
        count = size - start + 1;
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

long long positionOf(const std::string& needle, const std::string& text) {
    const auto p = text.find(needle);
    return p == std::string::npos ? 0 : static_cast<long long>(p) + 1;
}

} // namespace fb
