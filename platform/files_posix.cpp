#include "platform/files.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fb::files {

namespace {
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool lockFile(int fd, int how) {
    for (;;) {
        if (::flock(fd, how) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}
} // namespace

std::string encodeName(const QString& name) { return QFile::encodeName(name).toStdString(); }

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool regularFileMode(const std::string& path, unsigned& mode) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    mode = st.st_mode & 0777;
    return true;
}

int createNew(const std::string& path, unsigned mode) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
}

bool lockExclusive(int fd, bool wait) { return lockFile(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB); }

bool stillNamed(int fd, const std::string& path) {
    struct stat mine, named;
    return ::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &named) == 0 && sameFile(mine, named);
}

void setMode(int fd, unsigned mode) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && (st.st_mode & 0777) != mode)
        ::fchmod(fd, static_cast<mode_t>(mode));
}

long writeSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }

int flush(int fd) { return ::fsync(fd); }

int closeFile(int fd) { return ::close(fd); }

int removeFile(const std::string& path) { return ::unlink(path.c_str()); }

int replaceFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }

int renameNoReplace(const std::string& from, const std::string& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
}

int hardLink(const std::string& from, const std::string& to) { return ::link(from.c_str(), to.c_str()); }

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool removeIfUnused(const std::string& path, std::time_t unlockedAge) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened, named;
    bool stale = false;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        if (lockFile(fd, LOCK_EX | LOCK_NB))
            stale = true;
        else if (errno != EWOULDBLOCK)
            stale = ::time(nullptr) - opened.st_mtime > unlockedAge;
    }
    // Holding the lock, the name must still be the file that was locked.
    const bool removed = stale && ::lstat(path.c_str(), &named) == 0 && sameFile(opened, named) &&
                         ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

bool randomBytes(void* data, std::size_t size) {
    return ::getrandom(data, size, GRND_NONBLOCK) == static_cast<ssize_t>(size);
}

unsigned long processId() { return static_cast<unsigned long>(::getpid()); }

} // namespace fb::files
