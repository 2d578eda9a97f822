#pragma once
// The columns of daten.csv with what the codebook and the label syntax say
// about each, and the SPSS and R syntax built from them.
#include "tools/export/catalogue.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace fb::exporter {

struct ExportOptions {
    std::string outDir = "export";
    bool excel = false;        // byte-order mark and ";"
    bool multiDummies = false; // one 0/1 column per MULTI option
    bool pseudonymize = false; // "id" instead of "datei", "Name" and "Email"
};

enum class Source { File, Id, Sent, Recipient, Answer, Dummy };

// The measurement level SPSS and PSPP show and offer procedures by.
enum class Level { Nominal, Ordinal, Scale };

struct Column {
    Source source = Source::Answer;
    std::size_t var = 0; // Answer, Dummy: index into Catalogue::variables
    int bit = 0;         // Dummy: the option's 0-based index
    // All texts UTF-8.
    std::string name;
    std::string spssName;
    std::string page;
    int pageNumber = 0;
    std::string kind;
    std::string question; // the codebook's question text
    std::string label;    // the variable label of SPSS and R
    std::string note;     // the codebook's note on how the column is written
    std::vector<std::pair<std::string, std::string>> values; // codebook value labels
    bool numeric = false;
    Level level = Level::Nominal;
    std::size_t digits = 1; // numbers: the widest value's digits
    bool wide = false;   // numbers past R's integer range
    bool factor = false; // a labelled factor in R
    bool spssLabels = false;
    std::vector<std::pair<std::string, std::string>> factorLevels; // R: all levels in order
    std::size_t maxBytes = 0; // longest value written, for the SPSS string widths
};

std::vector<Column> buildColumns(const Catalogue& cat, const ExportOptions& options);

// Valid SPSS names, unique without regard to case: a full stop and other
// characters SPSS does not take become "_", a name that does not start with a
// letter gets "V" in front, a rating row takes its item's name ("01.w" of
// W01 becomes "W01_w"), a reserved word gets "V" too.
void assignSpssNames(const Catalogue& cat, std::vector<Column>& columns);

// dataFile: the absolute path of daten.csv, so the syntax runs from any folder.
std::string spssSyntax(const std::vector<Column>& columns, const ExportOptions& options, const std::string& dataFile);
std::string rSyntax(const std::vector<Column>& columns, const ExportOptions& options, const std::string& dataFile);

// At most max bytes of a UTF-8 label: cut after a word and ended with "…".
std::string cutLabel(const std::string& utf8, std::size_t max);

} // namespace fb::exporter
