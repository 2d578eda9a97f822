#include "tools/export/csv_writer.h"

#include "platform/errors.h"
#include "tools/export/encoding.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fb::exporter {
namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    temp_ = path_ + ".tmp-" + std::to_string(::getpid());
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw Exception(systemError("cannot create", temp_));
    buffer_.reserve(1 << 16);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_)
        ::unlink(temp_.c_str());
}

void OutputFile::write(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= (1 << 16))
        flush();
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw Exception(systemError("cannot write", temp_));
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void OutputFile::commit() {
    flush();
    if (::fsync(fd_) != 0)
        throw Exception(systemError("cannot sync", temp_));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw Exception(systemError("cannot close", temp_));
    if (::rename(temp_.c_str(), path_.c_str()) != 0)
        throw Exception(systemError("cannot rename to", path_));
    committed_ = true;
    // The new name itself must survive a power loss too.
    const int dir = ::open(directoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

CsvWriter::CsvWriter(OutputFile& file, char separator, bool byteOrderMark)
    : file_(file), separator_(separator) {
    if (byteOrderMark)
        file_.write("\xEF\xBB\xBF");
}

void CsvWriter::separate() {
    if (rowStarted_)
        row_.push_back(separator_);
    rowStarted_ = true;
}

void CsvWriter::utf8Field(std::string_view utf8) {
    separate();
    bool plain = true;
    for (char c : utf8)
        if (c == separator_ || c == '"' || c == '\r' || c == '\n') {
            plain = false;
            break;
        }
    if (plain) {
        row_.append(utf8);
        return;
    }
    row_.push_back('"');
    for (char c : utf8) {
        if (c == '"')
            row_.push_back('"');
        row_.push_back(c);
    }
    row_.push_back('"');
}

void CsvWriter::cp1252Field(std::string_view cp1252) {
    field_.clear();
    appendUtf8(field_, cp1252);
    utf8Field(field_);
}

void CsvWriter::endRow() {
    row_ += "\r\n";
    file_.write(row_);
    row_.clear();
    rowStarted_ = false;
}

} // namespace fb::exporter
