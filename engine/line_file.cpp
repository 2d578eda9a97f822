#include "engine/line_file.h"

#include "engine/text_lines.h"
#include "platform/cp1252.h"

#include "platform/files.h"

#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace fb {
namespace {

constexpr char kTempPrefix[] = "~fragebogen-";
constexpr char kTempSuffix[] = ".tmp";
constexpr std::size_t kTempHexDigits = 16;

// A temporary that cannot be locked (a file system without locks) may still
// be in use by a running write for this long; writes take milliseconds.
constexpr long kUnlockedTempAge = 600; // seconds

WriteCall& writeCall() {
    static WriteCall call;
    return call;
}

LinkCall& renameNoReplaceCall() {
    static LinkCall call;
    return call;
}

LinkCall& linkCall() {
    static LinkCall call;
    return call;
}

long writeBytes(int fd, const char* data, std::size_t size) {
    return writeCall() ? writeCall()(fd, data, size) : files::writeSome(fd, data, size);
}

int renameNoReplace(const char* from, const char* to) {
    if (renameNoReplaceCall())
        return renameNoReplaceCall()(from, to);
    return files::renameNoReplace(from, to);
}

int linkFile(const char* from, const char* to) {
    return linkCall() ? linkCall()(from, to) : files::hardLink(from, to);
}

std::string localPath(const std::string& name) {
    return files::encodeName(fromCp1252(name));
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

[[noreturn]] void fail(const std::string& what, const std::string& name, int err) {
    throw EFileError(what + " " + quoted(name) + ". " + std::strerror(err));
}

std::string directoryOf(const std::string& path) {
#ifdef _WIN32
    const auto slash = path.find_last_of("/\\");
#else
    const auto slash = path.find_last_of('/');
#endif
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// So that a rename or removal itself survives a power loss.
void syncDirectory(const std::string& path) { files::syncFolder(directoryOf(path)); }

std::string randomHex() {
    unsigned long long value = 0;
    if (!files::randomBytes(&value, sizeof value)) {
        // No entropy yet: still distinct per process and call (and the
        // exclusive create catches the rest).
        static std::atomic<unsigned long long> counter{0};
        value = static_cast<unsigned long long>(
                    std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (static_cast<unsigned long long>(files::processId()) << 40) ^ (counter++ * 0x9E3779B97F4A7C15ull);
    }
    char buf[kTempHexDigits + 1];
    std::snprintf(buf, sizeof buf, "%016llx", value);
    return buf;
}

// A temporary file beside its target, open and locked while it is written,
// so that a program starting meanwhile does not take it for a crash's leftover.
class Temporary {
public:
    Temporary(const std::string& name, const std::string& target, unsigned createMode) : name_(name) {
        const std::string dir = directoryOf(target);
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = dir + "/" + kTempPrefix + randomHex() + kTempSuffix;
            fd_ = files::createNew(path_, createMode);
            if (fd_ < 0) {
                if (errno == EEXIST)
                    continue;
                fail("Cannot create file", name_, errno);
            }
            // Without locks in the file system the age rule protects it.
            files::lockExclusive(fd_, true);
            // A clean-up may have removed the fresh name before the lock.
            if (files::stillNamed(fd_, path_))
                return;
            files::closeFile(fd_);
            fd_ = -1;
        }
        fail("Cannot create file", name_, EEXIST);
    }

    ~Temporary() {
        if (fd_ >= 0)
            files::closeFile(fd_);
        if (!consumed_)
            files::removeFile(path_);
    }

    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    const std::string& path() const { return path_; }

    // Created with the mode less the umask, the file is never more open
    // than asked; a file system that cannot hold the mode (FAT) keeps its own.
    void setMode(unsigned mode) { files::setMode(fd_, mode); }

    // Writes all bytes and flushes them to the disk.
    void write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const long n = writeBytes(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail("Cannot write file", name_, n < 0 ? errno : ENOSPC);
            done += static_cast<std::size_t>(n);
        }
        if (files::flush(fd_) != 0)
            fail("Cannot write file", name_, errno);
    }

    // The file now lives under another name: nothing to remove.
    void consumed() { consumed_ = true; }

private:
    std::string name_;
    std::string path_;
    int fd_ = -1;
    bool consumed_ = false;
};

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

enum class Claim { Done, Taken, Unsupported };

Claim claimByRename(Temporary& tmp, const std::string& name, const std::string& path) {
    if (renameNoReplace(tmp.path().c_str(), path.c_str()) == 0) {
        tmp.consumed();
        return Claim::Done;
    }
    const int err = errno;
    if (err == EEXIST)
        return Claim::Taken;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP || err == EOPNOTSUPP)
        return Claim::Unsupported;
    fail("Cannot create file", name, err);
}

Claim claimByLink(Temporary& tmp, const std::string& name, const std::string& path) {
    if (linkFile(tmp.path().c_str(), path.c_str()) == 0)
        return Claim::Done; // the temporary name goes with tmp
    const int err = errno;
    if (err == EEXIST)
        return Claim::Taken;
    // FAT, exFAT and many network shares have no hard links.
    if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS)
        return Claim::Unsupported;
    fail("Cannot create file", name, err);
}

// The name is claimed by an empty file, then the written file replaces it.
// A kill in between leaves the empty file: defective, never partial answers.
Claim claimByPlaceholder(Temporary& tmp, const std::string& name, const std::string& path) {
    const int fd = files::createNew(path, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return Claim::Taken;
        fail("Cannot create file", name, errno);
    }
    files::closeFile(fd);
    if (files::replaceFile(tmp.path(), path) != 0) {
        const int err = errno;
        files::removeFile(path);
        fail("Cannot create file", name, err);
    }
    tmp.consumed();
    return Claim::Done;
}

} // namespace

void setWriteCall(WriteCall call) { writeCall() = std::move(call); }
void setRenameNoReplaceCall(LinkCall call) { renameNoReplaceCall() = std::move(call); }
void setLinkCall(LinkCall call) { linkCall() = std::move(call); }

bool fileExists(const std::string& name) {
    QFileInfo info(fromCp1252(name));
    return info.exists() && !info.isDir();
}

std::string readFileBytes(const std::string& name) {
    QFile f(fromCp1252(name));
    if (!f.open(QIODevice::ReadOnly))
        throw EFileError("Cannot open file " + quoted(name) + ". " + toCp1252(f.errorString()));
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw EFileError("Cannot read file " + quoted(name) + ". " + toCp1252(f.errorString()));
    return data.toStdString();
}

std::vector<std::string> readLineFile(const std::string& name) {
    return splitLines(readFileBytes(name));
}

void deleteFile(const std::string& name) {
    const std::string path = localPath(name);
    if (files::removeFile(path) == 0)
        syncDirectory(path);
}

void writeLineFile(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = localPath(name);
    unsigned mode = 0666;
    const bool replacing = files::regularFileMode(path, mode);
    Temporary tmp(name, path, mode);
    if (replacing)
        tmp.setMode(mode); // the umask may have taken bits the old file had
    tmp.write(joinLines(lines));
    if (files::replaceFile(tmp.path(), path) != 0)
        fail("Cannot create file", name, errno);
    tmp.consumed();
    syncDirectory(path);
}

bool createLineFileExclusive(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = localPath(name);
    if (files::exists(path))
        return false;
    Temporary tmp(name, path, 0666);
    tmp.write(joinLines(lines));
    Claim claim = claimByRename(tmp, name, path);
    if (claim == Claim::Unsupported)
        claim = claimByLink(tmp, name, path);
    if (claim == Claim::Unsupported)
        claim = claimByPlaceholder(tmp, name, path);
    if (claim == Claim::Taken)
        return false;
    syncDirectory(path);
    return true;
}

bool isTemporaryName(const std::string& fileName) {
    const std::size_t prefix = sizeof kTempPrefix - 1;
    const std::size_t suffix = sizeof kTempSuffix - 1;
    if (fileName.size() != prefix + kTempHexDigits + suffix ||
        fileName.compare(0, prefix, kTempPrefix) != 0 ||
        fileName.compare(prefix + kTempHexDigits, suffix, kTempSuffix) != 0)
        return false;
    for (std::size_t i = prefix; i < prefix + kTempHexDigits; ++i)
        if (!isHex(fileName[i]))
            return false;
    return true;
}

int removeStaleTemporaries(const std::string& directory) {
    int removed = 0;
    for (const std::string& name : files::folderEntries(directory))
        if (isTemporaryName(name) && files::removeIfUnused(directory + "/" + name, kUnlockedTempAge))
            ++removed;
    if (removed)
        files::syncFolder(directory);
    return removed;
}

} // namespace fb
