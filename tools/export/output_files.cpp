#include "tools/export/output_files.h"

#include "platform/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fb::exporter {
namespace {

#ifdef _WIN32
// The same calls on Windows; paths are UTF-8.
namespace os {

std::wstring wide(const std::string& path) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), w.data(), n);
    return w;
}

int createNew(const std::string& path) {
    return ::_wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int n = ::_write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool syncAndClose(int fd) {
    if (::_commit(fd) != 0) {
        const int e = errno;
        ::_close(fd);
        errno = e;
        return false;
    }
    return ::_close(fd) == 0;
}

void closeQuietly(int fd) { ::_close(fd); }

bool exists(const std::string& path) { return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool replace(const std::string& from, const std::string& to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = EACCES;
    return false;
}

void removeQuietly(const std::string& path) { ::_wunlink(wide(path).c_str()); }

void syncFolder(const std::string&) {} // MOVEFILE_WRITE_THROUGH did it

int processId() { return ::_getpid(); }

} // namespace os
#else
// The only calls to the operating system in this file. Each returns false
// with errno set.
namespace os {

int createNew(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool syncAndClose(int fd) {
    if (::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return false;
    }
    return ::close(fd) == 0;
}

void closeQuietly(int fd) { ::close(fd); }

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool replace(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

void removeQuietly(const std::string& path) { ::unlink(path.c_str()); }

// The new names must survive a power loss too.
void syncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int processId() { return static_cast<int>(::getpid()); }

} // namespace os
#endif

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw Exception(what + " " + path + ": " + std::strerror(errno));
}

} // namespace

OutputFile::OutputFile(std::string name, std::string temp) : name_(std::move(name)), temp_(std::move(temp)) {
    fd_ = os::createNew(temp_);
    if (fd_ < 0)
        fail("cannot create", temp_);
    buffer_.reserve(1 << 16);
}

void OutputFile::write(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= (1 << 16))
        flush();
}

void OutputFile::flush() {
    if (!os::writeAll(fd_, buffer_))
        fail("cannot write", temp_);
    buffer_.clear();
}

OutputSet::OutputSet(std::string dir) : dir_(std::move(dir)) {
    if (dir_.empty())
        dir_ = ".";
    if (dir_.back() != '/')
        dir_ += '/';
}

OutputSet::~OutputSet() {
    for (const auto& f : files_) {
        if (f->fd_ >= 0)
            os::closeQuietly(f->fd_);
        if (!committed_)
            os::removeQuietly(f->temp_);
    }
}

std::string OutputSet::path(const std::string& name) const { return dir_ + name; }

OutputFile& OutputSet::add(const std::string& name) {
    const std::string temp = path("." + name + ".neu-" + std::to_string(os::processId()));
    os::removeQuietly(temp); // left by an earlier run of the same id that was killed
    files_.push_back(std::unique_ptr<OutputFile>(new OutputFile(name, temp)));
    return *files_.back();
}

void OutputSet::drop(const std::string& name) { dropped_.push_back(name); }

void OutputSet::commit() {
    for (const auto& f : files_) {
        f->flush();
        const int fd = f->fd_;
        f->fd_ = -1;
        if (!os::syncAndClose(fd))
            fail("cannot write", f->temp_);
    }
    // Each file in place moves aside first, so that a failure half-way can
    // put the earlier set back.
    struct Step {
        std::string target, temp, saved;
        bool movedAside = false, placed = false;
    };
    std::vector<Step> steps;
    for (const auto& f : files_)
        steps.push_back({path(f->name_), f->temp_, {}});
    for (const std::string& name : dropped_)
        steps.push_back({path(name), {}, {}});
    const std::string suffix = ".alt-" + std::to_string(os::processId());
    auto rollBack = [&] {
        const int e = errno;
        for (auto s = steps.rbegin(); s != steps.rend(); ++s) {
            if (s->placed && !s->movedAside)
                os::removeQuietly(s->target);
            if (s->movedAside)
                os::replace(s->saved, s->target);
        }
        errno = e;
    };
    for (Step& s : steps) {
        if (os::exists(s.target)) {
            s.saved = dir_ + "." + s.target.substr(dir_.size()) + suffix;
            if (!os::replace(s.target, s.saved)) {
                rollBack();
                fail("cannot move aside", s.target);
            }
            s.movedAside = true;
        }
        if (s.temp.empty())
            continue;
        if (!os::replace(s.temp, s.target)) {
            rollBack();
            fail("cannot rename to", s.target);
        }
        s.placed = true;
    }
    committed_ = true;
    for (const Step& s : steps)
        if (s.movedAside)
            os::removeQuietly(s.saved);
    os::syncFolder(dir_);
}

} // namespace fb::exporter
