#include "platform/errors.h"

#include <climits>

namespace fb {

EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

int strToInt(const std::string& text) {
    auto fail = [&]() -> int { throw EConvertError("'" + text + "' is not a valid integer value"); };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size())
        return fail();
    long long value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return fail();
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return fail();
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return fail();
    return static_cast<int>(value);
}

} // namespace fb
