#include "tools/export/csv_writer.h"

#include "tools/export/encoding.h"

namespace fb::exporter {

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
