#pragma once
// One program per working folder: two would both write "bogen.prt", and the
// one broken off last would replace the other's progress without a word.
#include <QLockFile>
#include <string>

namespace fb {

inline constexpr const char* kFolderLockFile = "fragebogen.lock";

// What the second program says before it ends.
std::string alreadyOpenText();

class FolderLock {
public:
    // The lock file in the current directory.
    FolderLock();
    // False only while another running program holds the folder; a lock
    // left behind by a program that died is taken over. A folder where no
    // lock file can be made (read-only) is not refused: nothing can be
    // written there by either program.
    bool acquire();

private:
    QLockFile lock_;
};

} // namespace fb
