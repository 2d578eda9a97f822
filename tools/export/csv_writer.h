#pragma once
// RFC 4180 output in UTF-8: fields are quoted when they hold the separator, a
// quote, CR or LF; rows end in CR LF.
#include "tools/export/output_files.h"

#include <string>
#include <string_view>

namespace fb::exporter {

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
