#pragma once
// RFC 4180 output in UTF-8: fields are quoted when they hold the separator, a
// quote, CR or LF; rows end in CR LF. The file is written under a temporary
// name and renamed into place only when every byte reached the disk.
#include <cstdio>
#include <string>
#include <string_view>

namespace fb::exporter {

class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile(); // removes the temporary file unless commit() succeeded
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes); // buffered
    // Flushes, syncs, closes and renames; throws fb::Exception on failure.
    void commit();
    const std::string& path() const { return path_; }

private:
    void flush();
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    std::string buffer_;
    bool committed_ = false;
};

class CsvWriter {
public:
    CsvWriter(OutputFile& file, char separator, bool byteOrderMark);
    void utf8Field(std::string_view utf8);
    void cp1252Field(std::string_view cp1252);
    void endRow();

private:
    void separate();
    OutputFile& file_;
    char separator_;
    bool rowStarted_ = false;
    std::string field_;
    std::string row_;
};

} // namespace fb::exporter
