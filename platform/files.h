#pragma once
// The file-system calls behind the program's own files (progress and answer
// files, their temporaries). Each call is the system's own where it has one:
// POSIX calls on Linux, the wide-character Win32 calls on Windows. Failures
// are reported as errno values, so one set of messages serves both.
//
// Paths are byte strings in the system's file-name encoding: the locale's on
// POSIX, UTF-8 on Windows (converted to UTF-16 for every call there, so that
// any user folder works).
#include <QString>

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace fb::files {

// A name as Qt holds it, in the file-name encoding above.
std::string encodeName(const QString& name);

// Whether anything (file, folder, link) has this name.
bool exists(const std::string& path);
// The permission bits of a regular file; false if path is none.
bool regularFileMode(const std::string& path, unsigned& mode);

// A new file opened for writing as a C runtime descriptor (write() and
// close() work on it), or -1 with errno; EEXIST if the name is taken. On
// Windows it can be renamed while open and is not inherited.
int createNew(const std::string& path, unsigned mode);
// An exclusive lock on the whole file, held until it is closed. Without wait,
// false with errno EWOULDBLOCK while another holds it.
bool lockExclusive(int fd, bool wait);
// False once the name no longer refers to this open file (removed, or
// about to be removed, or replaced).
bool stillNamed(int fd, const std::string& path);
// Gives the file these permission bits where the system has them.
void setMode(int fd, unsigned mode);
long writeSome(int fd, const char* data, std::size_t size);
// Flushes the file's bytes to the disk; -1 with errno.
int flush(int fd);
int closeFile(int fd);

// Each 0, or -1 with errno.
int removeFile(const std::string& path);
int replaceFile(const std::string& from, const std::string& to);
// EEXIST when to exists; ENOTSUP (and the like) where the call is missing.
int renameNoReplace(const std::string& from, const std::string& to);
int hardLink(const std::string& from, const std::string& to);

// So that a rename or removal in folder survives a power loss.
void syncFolder(const std::string& folder);

// Names of the entries of folder (without "." and ".."); empty if unreadable.
std::vector<std::string> folderEntries(const std::string& folder);

// Removes path if it is a regular file that nobody holds locked, or, where
// the file system has no locks, that was last written longer than
// unlockedAge seconds ago. True if it was removed.
bool removeIfUnused(const std::string& path, std::time_t unlockedAge);

// Random bytes from the system; false if it has none to give yet.
bool randomBytes(void* data, std::size_t size);
unsigned long processId();

} // namespace fb::files
