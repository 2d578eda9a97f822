#pragma once
// Where the program keeps its files. Started from the desktop entry it works
// in a folder of its own in the home folder, so the answer files do not lie
// among the participant's other files; started from a shell it works in the
// current directory. On Windows it always works in its own folder.
#include <string>

namespace fb {

// The option the desktop entry starts the program with.
inline constexpr const char* kDesktopOption = "--desktop";

// "Fragebogen" in the home folder ($HOME, else the password database's entry);
// on Windows in the user's profile folder (%USERPROFILE%), as UTF-8.
std::string desktopWorkingFolder();

// Creates the folder if it is missing and makes it the current directory.
// Returns an empty string, or a message saying why that failed.
std::string enterWorkingFolder(const std::string& folder);

} // namespace fb
