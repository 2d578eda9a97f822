#include "app/folder_lock.h"

namespace fb {

std::string alreadyOpenText() {
    return "Der Fragebogen ist in diesem Ordner bereits ge\xF6" "ffnet. Bitte arbeiten Sie in dem schon "
           "ge\xF6" "ffneten Fenster weiter. Dieses zweite Programm wird jetzt beendet.";
}

FolderLock::FolderLock() : lock_(QString::fromLatin1(kFolderLockFile)) {
    // Stale only when its program is gone: a questionnaire stays open for
    // hours, so the lock's age says nothing.
    lock_.setStaleLockTime(0);
}

bool FolderLock::acquire() { return lock_.tryLock(0) || lock_.error() != QLockFile::LockFailedError; }

} // namespace fb
