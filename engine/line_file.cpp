#include "engine/line_file.h"

#include "engine/text_lines.h"
#include "platform/cp1252.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fb {
namespace {

WriteCall& writeCall() {
    static WriteCall call;
    return call;
}

std::string localPath(const std::string& name) {
    return QFile::encodeName(fromCp1252(name)).toStdString();
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

[[noreturn]] void fail(const std::string& what, const std::string& name, int err) {
    throw EFileError(what + " " + quoted(name) + ". " + std::strerror(err));
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void syncDirectory(const std::string& path) {
    int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes bytes to a new temporary file beside path and returns its name.
std::string writeTemporary(const std::string& name, const std::string& path, const std::string& bytes) {
    std::string tmpl = path + ".tmp-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    int fd = ::mkstemp(buf.data());
    if (fd < 0)
        fail("Cannot create file", name, errno);
    const std::string tmp(buf.data());
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        fail("Cannot write file", name, err);
    };
    ::fchmod(fd, 0644);
    std::size_t done = 0;
    while (done < bytes.size()) {
        long n = writeCall() ? writeCall()(fd, bytes.data() + done, bytes.size() - done)
                             : ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            abandon(n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0)
        abandon(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("Cannot write file", name, err);
    }
    return tmp;
}

} // namespace

void setWriteCall(WriteCall call) { writeCall() = std::move(call); }

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
    if (::unlink(path.c_str()) == 0)
        syncDirectory(path);
}

void writeLineFile(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = localPath(name);
    const std::string tmp = writeTemporary(name, path, joinLines(lines));
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("Cannot create file", name, err);
    }
    syncDirectory(path);
}

bool createLineFileExclusive(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = localPath(name);
    if (::access(path.c_str(), F_OK) == 0)
        return false;
    const std::string tmp = writeTemporary(name, path, joinLines(lines));
    // link() fails if the name exists, so two programs never claim one number.
    const int rc = ::link(tmp.c_str(), path.c_str());
    const int err = errno;
    ::unlink(tmp.c_str());
    if (rc != 0) {
        if (err == EEXIST)
            return false;
        fail("Cannot create file", name, err);
    }
    syncDirectory(path);
    return true;
}

} // namespace fb
