#include "tools/export/columns.h"

#include "tools/export/encoding.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace fb::exporter {
namespace {

const char* const kDash = "\xE2\x80\x93"; // en dash

std::string clock(int minutes, bool end) {
    minutes = ((minutes % 1440) + 1440) % 1440;
    if (end && minutes == 0)
        minutes = 1440; // the quarter before midnight ends at 24:00
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d:%02d", minutes / 60, minutes % 60);
    return buf;
}

void addMeta(std::vector<Column>& cols, Source source, const char* name, const char* kind,
             const char* question, bool numeric) {
    Column c;
    c.source = source;
    c.name = name;
    c.kind = kind;
    c.question = question;
    c.label = question;
    c.numeric = numeric;
    if (source == Source::Sent) {
        c.values = {{"0", "nicht gesendet"}, {"1", "gesendet"}};
        c.spssLabels = true;
    }
    cols.push_back(std::move(c));
}

std::vector<std::pair<std::string, std::string>> ratingLevels(Row row) {
    std::vector<std::pair<std::string, std::string>> levels;
    for (int p = 1; p <= 7; ++p)
        levels.emplace_back(std::to_string(p), std::to_string(p));
    levels[0].second = row == Row::Funny ? "nicht witzig" : "keine Ablehnung";
    levels[6].second = row == Row::Funny ? "sehr witzig" : "starke Ablehnung";
    return levels;
}

const char* rowTitle(Row row) {
    switch (row) {
    case Row::Funny: return "Witzigkeit: ";
    case Row::Rejection: return "Ablehnung: ";
    case Row::Known: return "War mir bekannt: ";
    default: return "";
    }
}

Column answerColumn(const Catalogue& cat, std::size_t index) {
    const Variable& v = cat.variables[index];
    Column c;
    c.source = Source::Answer;
    c.var = index;
    c.name = toUtf8(v.name);
    c.page = toUtf8(cat.pages[v.page].name);
    c.pageNumber = cat.pages[v.page].number;
    c.kind = kindKeyword(v.kind);
    c.question = toUtf8(v.question);
    c.label = rowTitle(v.row) + c.question;
    c.numeric = v.numeric;
    c.wide = v.numeric && v.maxValue > 2147483647ull;
    c.digits = v.hasRange ? std::to_string(v.maxValue).size() : 20;
    switch (v.kind) {
    case ItemKind::Radio:
    case ItemKind::Single: {
        const int first = v.kind == ItemKind::Radio ? 1 : 0;
        for (std::size_t i = 0; i < v.options.size(); ++i)
            c.values.emplace_back(std::to_string(first + static_cast<int>(i)), toUtf8(v.options[i]));
        c.factorLevels = c.values;
        c.factor = c.spssLabels = !c.values.empty();
        break;
    }
    case ItemKind::Multi:
        for (std::size_t i = 0; i < v.options.size() && i < 64; ++i)
            c.values.emplace_back(std::to_string(1ull << i), toUtf8(v.options[i]));
        break;
    case ItemKind::SkalaTag:
        c.level = Level::Ordinal;
        for (int p = 1; p <= 24; ++p)
            c.values.emplace_back(std::to_string(p), std::to_string(p - 1) + " bis " + std::to_string(p) + " Uhr");
        c.spssLabels = true;
        break;
    case ItemKind::SkalaStd:
        c.level = Level::Ordinal;
        for (int p = 1; p <= 28; ++p) {
            const int from = v.firstHour * 60 + (p - 1) * 15;
            c.values.emplace_back(std::to_string(p), clock(from, false) + kDash + clock(from + 15, true));
        }
        c.spssLabels = true;
        break;
    case ItemKind::SkalaWT:
    case ItemKind::SkalaWP:
        if (v.row == Row::Known) {
            c.values = {{"0", "nicht angekreuzt"}, {"1", "War mir bekannt."}};
        } else {
            c.factorLevels = ratingLevels(v.row);
            c.level = Level::Ordinal;
            c.values = {c.factorLevels.front(), c.factorLevels.back()};
            c.factor = true;
        }
        c.spssLabels = true;
        break;
    case ItemKind::Text:
        break;
    }
    return c;
}

// Windows-1252 letters, as SPSS takes them in a name in Unicode mode.
bool isLetter(unsigned char b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == 0x8A || b == 0x8C || b == 0x8E ||
           b == 0x9A || b == 0x9C || b == 0x9E || b == 0x9F || b == 0xAA || b == 0xB5 || b == 0xBA ||
           (b >= 0xC0 && b != 0xD7 && b != 0xF7);
}

unsigned char fold(unsigned char b) {
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
        return static_cast<unsigned char>(b + 0x20);
    if (b == 0x8A || b == 0x8C || b == 0x8E)
        return static_cast<unsigned char>(b + 0x10);
    if (b == 0x9F)
        return 0xFF;
    return b;
}

std::string folded(const std::string& cp1252) {
    std::string out = cp1252;
    for (char& c : out)
        c = static_cast<char>(fold(static_cast<unsigned char>(c)));
    return out;
}

bool reserved(const std::string& name) {
    static const char* const kWords[] = {"all", "and", "by", "eq", "ge", "gt", "le",
                                         "lt", "ne", "not", "or", "to", "with"};
    const std::string f = folded(name);
    for (const char* w : kWords)
        if (f == w)
            return true;
    return false;
}

// SPSS's limit is 64 bytes of the name in UTF-8.
std::string fitName(const std::string& cp1252, std::size_t reserve) {
    std::string out;
    std::size_t bytes = 0;
    for (char c : cp1252) {
        const std::size_t n = static_cast<unsigned char>(c) >= 0x80 ? 2 : 1;
        if (bytes + n + reserve > 64)
            break;
        out.push_back(c);
        bytes += n;
    }
    return out;
}

std::string spssBase(const std::string& cp1252) {
    std::string out;
    for (char ch : cp1252) {
        const auto b = static_cast<unsigned char>(ch);
        const bool ok = isLetter(b) || (b >= '0' && b <= '9') || b == '_' || b == '@' || b == '#' || b == '$';
        out.push_back(ok ? ch : '_');
    }
    if (out.empty() || !isLetter(static_cast<unsigned char>(out[0])) || reserved(out))
        out = "V" + out;
    return out;
}

} // namespace

std::vector<Column> buildColumns(const Catalogue& cat, const ExportOptions& options) {
    std::vector<Column> cols;
    if (options.pseudonymize)
        addMeta(cols, Source::Id, "id", "ID",
                "Zuf\xC3\xA4llige Kennung (Name und Email dazu nur in identitaeten.csv)", false);
    else
        addMeta(cols, Source::File, "datei", "DATEI", "Name der Antwortdatei", false);
    addMeta(cols, Source::Sent, "gesendet", "GESENDET",
            "Datei tr\xC3\xA4gt den Vermerk \xE2\x80\x9E" "Daten erfolgreich gesendet.\xE2\x80\x9C"
            " oder stammt aus dem Spool des Servers",
            true);
    addMeta(cols, Source::Recipient, "recipient", "KOPFZEILE", "Empf\xC3\xA4ngeradresse der Kopfzeile", false);
    if (!options.pseudonymize)
        cols.front().note = "Zeilenumbr\xC3\xBC" "che im Dateinamen stehen als Leerzeichen, da SPSS und PSPP "
                            "einen Fall je Zeile lesen.";
    for (std::size_t i = 0; i < cat.variables.size(); ++i) {
        const Variable& v = cat.variables[i];
        if (options.pseudonymize && v.kind == ItemKind::Text && (v.name == "Name" || v.name == "Email"))
            continue;
        cols.push_back(answerColumn(cat, i));
        if (options.multiDummies && v.kind == ItemKind::Multi) {
            const Column sum = cols.back(); // a copy: cols grows below
            for (std::size_t k = 0; k < v.options.size() && k < 64; ++k) {
                Column d;
                d.source = Source::Dummy;
                d.var = i;
                d.bit = static_cast<int>(k);
                d.name = sum.name + "_" + std::to_string(k + 1);
                d.page = sum.page;
                d.pageNumber = sum.pageNumber;
                d.kind = "MULTI_DUMMY";
                d.question = sum.question + ": " + toUtf8(v.options[k]);
                d.label = d.question;
                d.values = {{"0", "nicht gew\xC3\xA4hlt"}, {"1", "gew\xC3\xA4hlt"}};
                d.numeric = true;
                d.spssLabels = true;
                cols.push_back(std::move(d));
            }
        }
    }
    if (options.excel)
        for (Column& c : cols)
            if (!c.numeric && c.source != Source::Id)
                c.note += std::string(c.note.empty() ? "" : " ") +
                          "Mit --excel: Ein Text, der mit =, +, -, @, Tabulator, Wagenr\xC3\xBC" "cklauf oder ' "
                          "beginnt, steht hier mit vorangestelltem ', damit Tabellenprogramme ihn nicht als "
                          "Formel ausf\xC3\xBC" "hren (labels.R nimmt es wieder ab). Ohne --excel steht jeder Text "
                          "unver\xC3\xA4ndert in daten.csv.";
    return cols;
}

void assignSpssNames(const Catalogue& cat, std::vector<Column>& columns) {
    std::unordered_set<std::string> taken;
    for (Column& c : columns) {
        std::string source;
        if (c.source == Source::Answer || c.source == Source::Dummy) {
            const Variable& v = cat.variables[c.var];
            if (v.row != Row::None)
                source = v.itemName + "_" + v.name.substr(v.name.size() >= 1 ? v.name.size() - 1 : 0);
            else
                source = v.name;
            if (c.source == Source::Dummy)
                source += "_" + std::to_string(c.bit + 1);
        } else {
            source = c.name; // plain ASCII names
        }
        const std::string base = spssBase(source);
        std::string name = fitName(base, 0);
        for (int n = 2; !taken.insert(folded(name)).second; ++n) {
            const std::string suffix = "_" + std::to_string(n);
            name = fitName(base, suffix.size()) + suffix;
        }
        c.spssName = toUtf8(name);
    }
}

namespace {

// An SPSS string literal, split into pieces joined with "+" so that no
// syntax line grows long.
std::string spssString(const std::string& utf8) {
    std::string out;
    std::size_t pos = 0;
    do {
        std::string piece = cutUtf8(utf8.substr(pos), 60);
        if (piece.empty() && pos < utf8.size())
            piece = utf8.substr(pos, 1);
        if (pos > 0)
            out += "\n      + ";
        out += "'";
        for (char c : piece) {
            if (c == '\'')
                out += "''";
            else
                out.push_back(c);
        }
        out += "'";
        pos += piece.size();
    } while (pos < utf8.size());
    return out;
}

std::string spssFormat(const Column& c) {
    if (!c.numeric)
        return "A" + std::to_string(std::max<std::size_t>(1, std::min<std::size_t>(c.maxBytes, 32767)));
    return "F" + std::to_string(c.digits) + ".0";
}

} // namespace

std::string cutLabel(const std::string& utf8, std::size_t max) {
    if (utf8.size() <= max)
        return utf8;
    const std::string ellipsis = "\xE2\x80\xA6";
    std::string cut = cutUtf8(utf8, max - ellipsis.size());
    // Back to the last word's end, unless that loses more than half.
    const std::size_t blank = cut.find_last_of(' ');
    if (blank != std::string::npos && blank >= cut.size() / 2)
        cut.resize(blank);
    while (!cut.empty() && std::string_view(" ,;:-").find(cut.back()) != std::string_view::npos)
        cut.pop_back();
    return cut + ellipsis;
}

std::string spssSyntax(const std::vector<Column>& columns, const ExportOptions& options, const std::string& dataFile) {
    std::string s;
    s += "* Encoding: UTF-8.\n";
    s += "* Liest daten.csv des Fragebogen-Exports, benennt die Spalten SPSS-gerecht\n";
    s += "* (siehe Spalte spss_name in codebook.csv) und setzt Beschriftungen und\n";
    s += "* Messniveaus. Aufruf aus jedem Ordner: pspp labels.sps (mit Pfad).\n";
    s += "* Die Datei ist UTF-8-kodiert. SPSS muss dazu im Unicode-Modus laufen:\n";
    s += "* Bearbeiten > Optionen > Allgemein > Zeichenkodierung: Unicode, oder\n";
    s += "* vor dem Oeffnen der Datei mit leerem Datenfenster die Zeile\n";
    s += "* SET UNICODE ON. ausfuehren. PSPP liest UTF-8 ohne weiteres.\n";
    s += "* Wurde der Exportordner verschoben, den Pfad in FILE HANDLE anpassen.\n";
    if (options.excel) {
        s += "* Mit --excel exportiert: Texte, die mit =, +, -, @, Tab, CR oder ' beginnen,\n";
        s += "* tragen ein vorangestelltes '. Fuer genaue Texte ohne --excel exportieren.\n";
    }
    bool renamed = false;
    for (const Column& c : columns) {
        if (c.spssName == c.name)
            continue;
        if (!renamed)
            s += "* Spalten, deren Namen SPSS nicht nimmt, heissen hier:\n";
        renamed = true;
        s += "*   " + c.name + " -> " + c.spssName + "\n";
    }
    if (renamed)
        s += "* (Ende der Liste).\n";
    s += "FILE HANDLE daten\n  /NAME=" + spssString(dataFile) + ".\n";
    // Every field of daten.csv is on one line (line breaks in file names
    // are written as blanks), so one case per line is right.
    s += "GET DATA\n  /TYPE=TXT\n  /FILE=daten\n  /ENCODING='UTF8'\n  /ARRANGEMENT=DELIMITED\n";
    s += "  /DELCASE=LINE\n  /FIRSTCASE=2\n";
    s += options.excel ? "  /DELIMITERS=\";\"\n" : "  /DELIMITERS=\",\"\n";
    s += "  /QUALIFIER='\"'\n  /VARIABLES=\n";
    for (const Column& c : columns)
        s += "    " + c.spssName + " " + spssFormat(c) + "\n";
    s += ".\nDATASET NAME fragebogen.\n\n";

    s += "VARIABLE LABELS\n";
    bool first = true;
    for (const Column& c : columns) {
        if (c.label.empty())
            continue;
        s += first ? "   " : "  /";
        first = false;
        // SPSS and PSPP keep at most 256 bytes of a variable label.
        s += c.spssName + " " + spssString(cutLabel(c.label, 256)) + "\n";
    }
    s += ".\n\n";

    bool any = false;
    for (const Column& c : columns) {
        if (!c.spssLabels || !c.numeric || c.values.empty())
            continue;
        s += any ? "  /" : "VALUE LABELS\n   ";
        any = true;
        s += c.spssName + "\n";
        for (const auto& [value, label] : c.values)
            s += "      " + value + " " + spssString(cutLabel(label, 120)) + "\n";
    }
    if (any)
        s += ".\n\n";

    s += "VARIABLE LEVEL";
    bool firstLevel = true;
    for (const auto& [level, word] : {std::pair{Level::Nominal, "NOMINAL"}, std::pair{Level::Ordinal, "ORDINAL"},
                                      std::pair{Level::Scale, "SCALE"}}) {
        std::string names, line;
        for (const Column& c : columns) {
            if (c.level != level)
                continue;
            if (!line.empty() && line.size() + c.spssName.size() > 70) {
                names += line + "\n";
                line.clear();
            }
            line += (line.empty() ? "    " : " ") + c.spssName;
        }
        if (line.empty())
            continue;
        s += firstLevel ? "\n" : "  /\n";
        firstLevel = false;
        s += names + line + " (" + word + ")\n";
    }
    s += ".\n\nEXECUTE.\n";
    return s;
}

namespace {

// An R string literal in ASCII: every other character as a \u escape, so
// the script reads the same in every locale.
std::string rString(const std::string& utf8) {
    std::string out = "\"";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        unsigned cp = b;
        std::size_t n = 1;
        if (b >= 0xF0) {
            cp = b & 0x07;
            n = 4;
        } else if (b >= 0xE0) {
            cp = b & 0x0F;
            n = 3;
        } else if (b >= 0xC0) {
            cp = b & 0x1F;
            n = 2;
        }
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (cp == '"' || cp == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(cp));
        } else if (cp >= 0x20 && cp < 0x7F) {
            out.push_back(static_cast<char>(cp));
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, cp > 0xFFFF ? "\\U%08X" : "\\u%04X", cp);
            out += buf;
        }
    }
    return out + "\"";
}

std::string rClass(const Column& c) {
    if (!c.numeric)
        return "\"character\"";
    return c.wide ? "\"numeric\"" : "\"integer\"";
}

} // namespace

std::string rSyntax(const std::vector<Column>& columns, const ExportOptions& options, const std::string& dataFile) {
    std::string s;
    s += "# Beschriftungen zu daten.csv des Fragebogen-Exports, nur mit Basis-R.\n";
    s += "# Aus jedem Ordner: Rscript labels.R (mit Pfad) zeigt eine Uebersicht;\n";
    s += "# in R legt source(\"labels.R\") (mit Pfad) den Datenrahmen 'daten' an,\n";
    s += "# mit Faktoren fuer RADIO, SINGLE und die Bewertungszeilen und einem\n";
    s += "# Attribut \"label\" an jeder Spalte.\n";
    s += "# Die Datei ist ASCII; Umlaute stehen als \\u-Escapes.\n\n";
    // A path that is no UTF-8 cannot be written as an R string.
    s += "daten_datei <- " + rString(isValidUtf8(dataFile) ? dataFile : std::string("daten.csv")) + "\n";
    if (std::any_of(dataFile.begin(), dataFile.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        // A locale that cannot hold the path's characters takes its bytes.
        s += "if (!suppressWarnings(file.exists(daten_datei)))\n    daten_datei <- rawToChar(as.raw(c(";
        for (std::size_t i = 0; i < dataFile.size(); ++i) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02x", static_cast<unsigned char>(dataFile[i]));
            s += std::string(i == 0 ? "" : i % 12 ? ", " : ",\n        ") + hex;
        }
        s += ")))\n";
    }
    s += "# Exportordner verschoben: dann im Exportordner ausfuehren.\n";
    s += "if (!suppressWarnings(file.exists(daten_datei))) daten_datei <- \"daten.csv\"\n";
    s += "daten <- read.csv(daten_datei, encoding = \"UTF-8\", check.names = FALSE,\n";
    s += options.excel ? "                  sep = \";\"," : "                  sep = \",\",";
    s += " quote = \"\\\"\", na.strings = \"\", strip.white = FALSE,\n";
    s += "                  colClasses = c(";
    for (std::size_t i = 0; i < columns.size(); ++i)
        s += (i == 0 ? "" : i % 6 ? ", " : ",\n                                 ") + rClass(columns[i]);
    s += "))\n";
    // Set by position: a byte-order mark would otherwise stick to the first name.
    s += "names(daten) <- c(";
    for (std::size_t i = 0; i < columns.size(); ++i)
        s += (i ? ",\n                   " : "") + rString(columns[i].name);
    s += ")\n\n";
    if (options.excel) {
        s += "# Mit --excel geschrieben: das ' vor Texten, die wie eine Formel beginnen,\n";
        s += "# wieder abnehmen.\n";
        s += "for (n in c(";
        bool any = false;
        for (const Column& c : columns)
            if (!c.numeric && c.source != Source::Id) {
                s += (any ? ",\n            " : "") + rString(c.name);
                any = true;
            }
        s += ")) {\n";
        s += "    x <- daten[[n]]\n";
        s += "    i <- !is.na(x) & grepl(\"^'[-=+@\\t\\r']\", x)\n";
        s += "    daten[[n]][i] <- substring(x[i], 2)\n";
        s += "}\n\n";
    }
    for (const Column& c : columns) {
        if (!c.factor)
            continue;
        const std::string col = "daten[[" + rString(c.name) + "]]";
        s += col + " <- factor(" + col + ",\n    levels = c(";
        for (std::size_t i = 0; i < c.factorLevels.size(); ++i)
            s += (i ? ", " : "") + c.factorLevels[i].first + "L";
        s += "),\n    labels = c(";
        for (std::size_t i = 0; i < c.factorLevels.size(); ++i)
            s += (i ? ", " : "") + rString(c.factorLevels[i].second);
        s += ")";
        const bool rating = c.kind == "SKALA.WT" || c.kind == "SKALA.WP";
        s += rating ? ", ordered = TRUE)\n" : ")\n";
    }
    s += "\n";
    for (const Column& c : columns)
        s += "attr(daten[[" + rString(c.name) + "]], \"label\") <- " + rString(c.label) + "\n";
    s += "\nif (!interactive()) {\n";
    s += "    cat(nrow(daten), \"Zeilen,\", ncol(daten), \"Spalten aus\", daten_datei, \"\\n\")\n";
    s += "    str(daten, list.len = 8, vec.len = 2)\n";
    s += "}\n";
    return s;
}

} // namespace fb::exporter
