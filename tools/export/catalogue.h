#pragma once
// The answer names of a questionnaire script in the order the program records
// them, found by walking the script with the program's own page reader, page
// after page as the questionnaire runs.
#include "engine/script.h"

#include <cstddef>
#include <string>
#include <vector>

namespace fb::exporter {

// The three rows of a joke or cartoon rating; None for every other item.
enum class Row { None, Funny, Rejection, Known };

// One answer name of the script.
struct Variable {
    std::string name;     // as recorded, Windows-1252: "Geschlecht", "01.w"
    std::string itemName; // the keyword line's name: "Geschlecht", "W01"
    ItemKind kind = ItemKind::Text;
    Row row = Row::None;
    std::string question; // question text; a joke's first line; a picture file
    std::vector<std::string> options;
    int firstHour = 0;     // SKALA.STD
    std::size_t page = 0;  // index into Catalogue::pages
    bool firstOfPage = false;
    bool optional = false; // a ".k" row may hold no line
    bool numeric = false;  // everything but TEXT
    unsigned long long minValue = 0;
    unsigned long long maxValue = 0;
    bool hasRange = false; // false for RADIO, SINGLE and MULTI without options
};

struct Page {
    std::string name; // as the resume marker names it: "Person1", "Witze", "W04"
    int number = 0;   // as the page window's caption counts
};

struct Catalogue {
    std::vector<Page> pages;
    std::vector<Variable> variables;
};

// Throws fb::Exception when the program itself would fail on the script.
Catalogue buildCatalogue(const ScriptLines& lines);

// "RADIO", "SKALA.WT", … as the script writes the keyword.
const char* kindKeyword(ItemKind kind);

} // namespace fb::exporter
