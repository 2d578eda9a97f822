#pragma once
// The program's exception classes. Every failure is an exception carrying a
// message text; the handler that lets one escape is reported in an error box.
#include <stdexcept>
#include <string>

namespace fb {

// The general exception class ("Exception"): a message and nothing else.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// An index outside a list: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    explicit EListError(long long index);
};

// A text that is no number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Delphi-style StrToInt: optional blanks, sign, decimal digits, nothing else.
int strToInt(const std::string& text);

} // namespace fb
