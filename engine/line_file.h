#pragma once
// The line-list text files the program keeps in its working directory
// ("bogen.prt" and the answer files). Writes never leave a half-written file:
// the bytes go to a temporary file in the same directory, are flushed to disk
// and then moved into place. New files get 0666 less the umask; a replaced
// file keeps its mode (where the system has modes).
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
// Two programs racing for one name never both succeed. Where the file system
// can neither rename without replacing nor link, the name is first claimed
// by an empty file, which a reader takes for a defective file, never for one
// with content.
bool createLineFileExclusive(const std::string& name, const std::vector<std::string>& lines);

// Whether a file name (without directory) has the pattern of our own
// temporary files: "~fragebogen-", 16 lower-case hex digits, ".tmp".
bool isTemporaryName(const std::string& fileName);

// Removes the temporary files that a killed program left in directory (only
// our own pattern, and none that a running program is still writing).
// Returns how many were removed; failures are ignored.
int removeStaleTemporaries(const std::string& directory = ".");

// Test seams, each empty to restore the system call.
// Writes bytes to a file descriptor (default files::writeSome).
using WriteCall = std::function<long(int fd, const char* data, std::size_t size)>;
void setWriteCall(WriteCall call);
// Moves or links from to to without replacing an existing to; returns 0 or
// -1 with errno set. Defaults: files::renameNoReplace and files::hardLink.
using LinkCall = std::function<int(const char* from, const char* to)>;
void setRenameNoReplaceCall(LinkCall call);
void setLinkCall(LinkCall call);

} // namespace fb
