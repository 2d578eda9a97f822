#pragma once
// The line-list text files the program keeps in its working directory
// ("bogen.prt" and the answer files). Writes never leave a half-written file:
// the bytes go to a temporary file in the same directory, are flushed to disk
// and then renamed (or, for a new answer file, linked) into place.
#include "platform/errors.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace fb {

class EFileError : public Exception {
public:
    using Exception::Exception;
};

// File names are Windows-1252 bytes as the program holds them.
bool fileExists(const std::string& name);
std::vector<std::string> readLineFile(const std::string& name);
std::string readFileBytes(const std::string& name);
void deleteFile(const std::string& name); // no error if absent

// Replaces name's content whole, or leaves the old content and throws.
void writeLineFile(const std::string& name, const std::vector<std::string>& lines);

// Creates name with these lines; false (and nothing written) if it exists.
bool createLineFileExclusive(const std::string& name, const std::vector<std::string>& lines);

// Test seam: the call that writes bytes to a file descriptor (default ::write).
using WriteCall = std::function<long(int fd, const char* data, std::size_t size)>;
void setWriteCall(WriteCall call); // empty restores ::write

} // namespace fb
