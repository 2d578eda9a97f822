#include "tools/export/exporter.h"

#include "engine/resource_loader.h"
#include "engine/text_lines.h"
#include "platform/errors.h"
#include "tools/export/answer_file.h"
#include "tools/export/catalogue.h"
#include "tools/export/columns.h"
#include "tools/export/csv_writer.h"
#include "tools/export/encoding.h"
#include "tools/export/output_files.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace fb::exporter {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: fragebogen-export [--script FILE] [--out DIR] [--excel] [--multi-dummies]\n"
    "                         [--pseudonymize] INPUT...\n"
    "Turns answer files (*.bgn) and files of the study server's spool into one table.\n"
    "INPUT is a file or a folder; folders are searched for *.bgn files, not recursively.\n"
    "  --script FILE   the questionnaire script the answers were given to\n"
    "                  (default: the embedded one)\n"
    "  --out DIR       output folder, created if missing (default: ./export)\n"
    "  --excel         UTF-8 byte-order mark and \";\" as separator; a text that\n"
    "                  starts like a formula gets a leading apostrophe\n"
    "  --multi-dummies one 0/1 column per option after each MULTI sum\n"
    "  --pseudonymize  a random id column instead of datei; Name and Email left\n"
    "                  out; id, Name, Email and datei go to identitaeten.csv\n"
    "Writes daten.csv, codebook.csv, labels.sps, labels.R (and identitaeten.csv),\n"
    "all or none: an earlier export in DIR stays as it was unless all are written.\n"
    "Run the labels with: pspp DIR/labels.sps  or  Rscript DIR/labels.R\n"
    "Exit status: 0 all exported, 1 some input skipped, 2 nothing exported.\n";

// An answer file is about 1.5 KB and the server refuses bodies over 64 KB.
constexpr std::size_t kMaxFileSize = 1 << 20;

struct Input {
    std::string path; // as named on the command line, or folder + name
    std::string name; // the file's own name, for the datei column
    bool spool = false;
    enum class Status { Pending, Skipped, Kept, Duplicate } status = Status::Pending;
    bool sent = false;
    std::size_t hash = 0;
};

// The server stores each submission as YYYYMMDD-HHMMSS.uuuuuu-PID[-n].bgn.
bool isSpoolName(std::string_view n) {
    auto digits = [&](std::size_t& i, std::size_t count) {
        std::size_t k = 0;
        while (i < n.size() && n[i] >= '0' && n[i] <= '9' && (count == 0 || k < count)) {
            ++i;
            ++k;
        }
        return count ? k == count : k > 0;
    };
    auto lit = [&](std::size_t& i, char c) { return i < n.size() && n[i++] == c; };
    std::size_t i = 0;
    if (!(digits(i, 8) && lit(i, '-') && digits(i, 6) && lit(i, '.') && digits(i, 6) && lit(i, '-') &&
          digits(i, 0)))
        return false;
    if (i < n.size() && n[i] == '-') {
        ++i;
        if (!digits(i, 0))
            return false;
    }
    return n.substr(i) == ".bgn";
}

bool hasBgnExtension(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".bgn";
}

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Reads the whole file; false with the reason.
bool readFile(const std::string& path, std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > kMaxFileSize) {
        ::close(fd);
        error = "defective: " + std::to_string(st.st_size) + " bytes, too large for an answer file";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("cannot read: ") + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
        if (got > kMaxFileSize) {
            ::close(fd);
            error = "defective: too large for an answer file";
            return false;
        }
        if (got == bytes.size())
            bytes.resize(bytes.size() * 2);
    }
    ::close(fd);
    bytes.resize(got);
    return true;
}

class Run {
public:
    Run(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    int main(const std::vector<std::string>& args, const ResourceStore& resources) {
        std::vector<std::string> inputs;
        std::string script;
        bool haveScript = false;
        bool optionsDone = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            auto value = [&](const char* option, std::string& target) {
                const std::string eq = std::string(option) + "=";
                if (a == option) {
                    if (i + 1 >= args.size())
                        return usage(std::string(option) + " needs a value"), false;
                    target = args[++i];
                    return true;
                }
                target = a.substr(eq.size());
                return true;
            };
            if (optionsDone || a.empty() || a[0] != '-' || a == "-") {
                inputs.push_back(a);
            } else if (a == "--") {
                optionsDone = true;
            } else if (a == "--help" || a == "-h") {
                out_ << kUsage;
                return kExportClean;
            } else if (a == "--excel") {
                options_.excel = true;
            } else if (a == "--multi-dummies") {
                options_.multiDummies = true;
            } else if (a == "--pseudonymize") {
                options_.pseudonymize = true;
            } else if (a == "--script" || startsWith(a, "--script=")) {
                if (!value("--script", script))
                    return kExportFailed;
                haveScript = true;
            } else if (a == "--out" || startsWith(a, "--out=")) {
                if (!value("--out", options_.outDir))
                    return kExportFailed;
                if (options_.outDir.empty())
                    return usage("--out needs a folder"), kExportFailed;
            } else {
                return usage("unknown option " + a), kExportFailed;
            }
        }
        if (inputs.empty())
            return usage("no INPUT given"), kExportFailed;

        if (!loadCatalogue(resources, haveScript ? &script : nullptr))
            return kExportFailed;
        for (const std::string& in : inputs)
            gather(in);
        if (inputs_.empty()) {
            err_ << "fragebogen-export: no answer files in the input (" << inputs.size()
                 << (inputs.size() == 1 ? " argument" : " arguments")
                 << "): nothing to export\n";
            return kExportFailed;
        }
        check();
        if (std::none_of(inputs_.begin(), inputs_.end(),
                         [](const Input& in) { return in.status == Input::Status::Kept; }))
            return nothingExported();
        std::string absolute;
        try {
            fs::create_directories(options_.outDir);
            absolute = fs::weakly_canonical(fs::absolute(options_.outDir)).string();
        } catch (const fs::filesystem_error& e) {
            err_ << "fragebogen-export: cannot create the output folder " << options_.outDir << ": "
                 << e.code().message() << "\n";
            return kExportFailed;
        }
        try {
            if (!write(absolute))
                return nothingExported();
        } catch (const Exception& e) {
            err_ << "fragebogen-export: " << e.message() << "; nothing written, "
                 << leftAsItWas() << "\n";
            return kExportFailed;
        }
        out_ << "fragebogen-export: " << rows_ << (rows_ == 1 ? " row" : " rows") << " written to "
             << outPath("daten.csv") << " (" << skipped_ << " skipped, " << duplicates_
             << (duplicates_ == 1 ? " duplicate, " : " duplicates, ") << ignored_ << " ignored)\n";
        return skipped_ ? kExportSkipped : kExportClean;
    }

private:
    std::ostream& out_;
    std::ostream& err_;
    ExportOptions options_;
    Catalogue cat_;
    std::vector<Input> inputs_;
    std::vector<Column> columns_;
    Answers answers_;
    std::string bytes_;
    std::size_t rows_ = 0, skipped_ = 0, duplicates_ = 0, ignored_ = 0;

    std::string leftAsItWas() const {
        return "an earlier export in " + options_.outDir + " is left as it was";
    }

    int nothingExported() {
        err_ << "fragebogen-export: nothing exported (" << skipped_ << " of the inputs skipped); "
             << leftAsItWas() << "\n";
        return kExportFailed;
    }

    void usage(const std::string& why) { err_ << "fragebogen-export: " << why << "\n" << kUsage; }

    std::string outPath(const char* file) const {
        std::string dir = options_.outDir;
        if (dir.back() != '/')
            dir += '/';
        return dir + file;
    }

    // Messages carry names and values of the answers, which are Windows-1252.
    void skip(const std::string& path, const std::string& why) {
        err_ << "fragebogen-export: " << path << ": skipped: " << toUtf8(why) << "\n";
        ++skipped_;
    }
    void note(const std::string& path, const std::string& what) {
        err_ << "fragebogen-export: " << path << ": note: " << toUtf8(what) << "\n";
    }

    bool loadCatalogue(const ResourceStore& resources, const std::string* scriptPath) {
        std::string bytes;
        std::string where = "the embedded questionnaire script";
        if (scriptPath) {
            where = *scriptPath;
            std::string error;
            if (!readFile(*scriptPath, bytes, error)) {
                err_ << "fragebogen-export: " << where << ": " << error << "\n";
                return false;
            }
        } else {
            MemoryStream stream;
            try {
                loadResourceFile(resources, "bogen.txt", stream);
            } catch (const Exception& e) {
                err_ << "fragebogen-export: " << where << ": " << toUtf8(e.message()) << "\n";
                return false;
            }
            bytes = stream.bytes();
        }
        try {
            cat_ = buildCatalogue(ScriptLines(splitLines(bytes)));
        } catch (const Exception& e) {
            err_ << "fragebogen-export: " << where << " cannot be used: " << toUtf8(e.message()) << "\n";
            return false;
        }
        return true;
    }

    void addInput(std::string path, std::string name) {
        Input in;
        in.spool = isSpoolName(name);
        in.path = std::move(path);
        in.name = std::move(name);
        inputs_.push_back(std::move(in));
    }

    void gather(const std::string& arg) {
        std::error_code ec;
        const fs::file_status st = fs::status(arg, ec);
        if (ec || !fs::exists(st)) {
            skip(arg, "no such file or folder");
            return;
        }
        if (!fs::is_directory(st)) {
            addInput(arg, baseName(arg));
            return;
        }
        std::vector<std::string> names;
        for (fs::directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        if (ec) {
            skip(arg, "cannot read the folder: " + ec.message());
            return;
        }
        std::sort(names.begin(), names.end());
        const std::string prefix = arg.back() == '/' ? arg : arg + "/";
        for (std::string& name : names) {
            const std::string path = prefix + name;
            std::error_code e2;
            const fs::file_status s = fs::status(path, e2);
            if (startsWith(name, ".tmp-")) {
                note(path, "ignored: an unfinished submission of the server, never confirmed");
                ++ignored_;
            } else if (!e2 && fs::is_directory(s)) {
                note(path, "ignored: a folder (folders are not searched recursively)");
                ++ignored_;
            } else if (!hasBgnExtension(name) || (!e2 && !fs::is_regular_file(s))) {
                note(path, "ignored: not an answer file (*.bgn)");
                ++ignored_;
            } else {
                addInput(path, std::move(name));
            }
        }
    }

    // Reads and splits one input into answers_; false (with the reason
    // reported) when it cannot be exported.
    bool load(Input& in, bool notes) {
        std::string error;
        if (!readFile(in.path, bytes_, error)) {
            skip(in.path, error);
            return false;
        }
        error = readAnswerFile(cat_, bytes_, answers_);
        if (!error.empty()) {
            skip(in.path, error);
            return false;
        }
        if (notes)
            for (const std::string& n : answers_.notes)
                note(in.path, n);
        return true;
    }

    // First pass: every input checked, duplicates found, before a row is
    // written (a later copy may come from the spool and so decide "gesendet").
    void check() {
        std::unordered_map<std::size_t, std::vector<std::size_t>> byHash;
        std::unordered_map<std::string, std::size_t> byName;
        std::string earlier;
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            Input& in = inputs_[i];
            if (!load(in, true)) {
                in.status = Input::Status::Skipped;
                continue;
            }
            in.sent = in.spool || answers_.sentMark;
            in.hash = std::hash<std::string_view>()(answers_.line);
            std::vector<std::size_t>& same = byHash[in.hash];
            // Inputs with the same answer line (a file mailed and also
            // uploaded, one copy with the sent mark) are one questionnaire:
            // one row, sent when any copy was.
            bool duplicate = false;
            for (std::size_t k : same) {
                std::string error;
                if (!readFile(inputs_[k].path, earlier, error))
                    continue;
                const std::vector<std::string> lines = splitLines(earlier);
                if (lines.empty() || lines[0] != answers_.line)
                    continue;
                duplicate = true;
                const bool wasSent = inputs_[k].sent;
                inputs_[k].sent = wasSent || in.sent;
                note(in.path, std::string(earlier == bytes_ ? "identical to " : "holds the same answers as ") +
                                  inputs_[k].path + "; exported once, as " + inputs_[k].name +
                                  (in.sent && !wasSent ? ", with gesendet = 1 from this copy" : ""));
                break;
            }
            if (duplicate) {
                in.status = Input::Status::Duplicate;
                ++duplicates_;
                continue;
            }
            same.push_back(i);
            in.status = Input::Status::Kept;
            const auto [it, fresh] = byName.emplace(in.name, i);
            if (!fresh)
                note(in.path, "has the same file name as " + inputs_[it->second].path +
                                  "; the column datei does not tell them apart");
        }
    }

    std::string randomId(std::mt19937_64& gen, std::unordered_set<std::string>& used) {
        static const char kHex[] = "0123456789abcdef";
        for (;;) {
            std::uint64_t v = gen();
            std::string id(16, '0');
            for (int k = 15; k >= 0; --k, v >>= 4)
                id[static_cast<std::size_t>(k)] = kHex[v & 15];
            if (used.insert(id).second)
                return id;
        }
    }

    // With --excel, a text that a spreadsheet would run as a formula gets a
    // leading apostrophe, and so does one that starts with an apostrophe,
    // so that labels.R can take exactly one off again.
    std::string_view guarded(std::string_view utf8, std::string& buffer) const {
        if (!options_.excel || utf8.empty() || std::string_view("=+-@\t\r'").find(utf8[0]) == std::string_view::npos)
            return utf8;
        buffer.assign("'");
        buffer.append(utf8);
        return buffer;
    }

    void field(CsvWriter& csv, Column& col, std::string_view utf8) {
        std::string buffer;
        if (!col.numeric)
            utf8 = guarded(utf8, buffer);
        col.maxBytes = std::max(col.maxBytes, utf8.size());
        csv.utf8Field(utf8);
    }

    // The file's name for the datei column: UTF-8, and on one line, since
    // SPSS and PSPP read one case per line.
    std::string dateiText(const Input& in) {
        std::string datei = isValidUtf8(in.name) ? in.name : toUtf8(in.name);
        if (datei.find_first_of("\r\n") != std::string::npos) {
            std::replace(datei.begin(), datei.end(), '\r', ' ');
            std::replace(datei.begin(), datei.end(), '\n', ' ');
            note(in.path, "the file name holds a line break; datei has a blank instead");
        }
        return datei;
    }

    // False when no row could be written; the earlier export is then kept.
    bool write(const std::string& absoluteOut) {
        columns_ = buildColumns(cat_, options_);
        assignSpssNames(cat_, columns_);
        const char sep = options_.excel ? ';' : ',';

        OutputSet set(options_.outDir);
        OutputFile& data = set.add("daten.csv");
        CsvWriter csv(data, sep, options_.excel);
        for (const Column& c : columns_)
            csv.utf8Field(c.name);
        csv.endRow();

        // Ids from the system's entropy source, never from the file or its answers.
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        std::mt19937_64 gen(seed);
        std::unordered_set<std::string> usedIds;
        std::vector<std::array<std::string, 4>> identities;
        std::size_t nameVar = cat_.variables.size(), emailVar = cat_.variables.size();
        for (std::size_t i = 0; i < cat_.variables.size(); ++i) {
            const Variable& v = cat_.variables[i];
            if (v.kind == ItemKind::Text && v.name == "Name" && nameVar == cat_.variables.size())
                nameVar = i;
            if (v.kind == ItemKind::Text && v.name == "Email" && emailVar == cat_.variables.size())
                emailVar = i;
        }
        auto text = [&](std::size_t var) {
            return var < answers_.states.size() && answers_.states[var] == State::Present
                       ? toUtf8(answers_.values[var])
                       : std::string();
        };

        std::string value;
        for (Input& in : inputs_) {
            if (in.status != Input::Status::Kept)
                continue;
            if (!load(in, false))
                continue;
            if (std::hash<std::string_view>()(answers_.line) != in.hash) {
                skip(in.path, "changed during the export");
                continue;
            }
            const std::string datei = dateiText(in);
            std::string id;
            if (options_.pseudonymize) {
                id = randomId(gen, usedIds);
                identities.push_back({id, text(nameVar), text(emailVar), datei});
            }
            for (Column& c : columns_) {
                switch (c.source) {
                case Source::File:
                    field(csv, c, datei);
                    break;
                case Source::Id:
                    field(csv, c, id);
                    break;
                case Source::Sent:
                    field(csv, c, in.sent ? "1" : "0");
                    break;
                case Source::Recipient:
                    value.clear();
                    appendUtf8(value, answers_.recipient);
                    field(csv, c, value);
                    break;
                case Source::Answer:
                    switch (answers_.states[c.var]) {
                    case State::Present:
                        value.clear();
                        appendUtf8(value, answers_.values[c.var]);
                        field(csv, c, value);
                        break;
                    case State::Absent:
                        field(csv, c, "0");
                        break;
                    case State::NotRecorded:
                        field(csv, c, "");
                        break;
                    }
                    break;
                case Source::Dummy:
                    if (answers_.states[c.var] == State::Present) {
                        unsigned long long bits = 0; // checked to be digits
                        for (char d : answers_.values[c.var])
                            bits = bits * 10 + static_cast<unsigned>(d - '0');
                        field(csv, c, (bits >> c.bit) & 1 ? "1" : "0");
                    } else {
                        field(csv, c, "");
                    }
                    break;
                }
            }
            csv.endRow();
            ++rows_;
        }
        if (rows_ == 0)
            return false;

        CsvWriter cb(set.add("codebook.csv"), sep, options_.excel);
        for (const char* h : {"name", "page", "page_number", "kind", "question", "values", "spss_name", "note"})
            cb.utf8Field(h);
        cb.endRow();
        for (const Column& c : columns_) {
            std::string values;
            for (const auto& [v, label] : c.values)
                values += (values.empty() ? "" : "\n") + v + "=" + label;
            cb.utf8Field(c.name);
            cb.utf8Field(c.page);
            cb.utf8Field(c.pageNumber ? std::to_string(c.pageNumber) : std::string());
            cb.utf8Field(c.kind);
            cb.utf8Field(c.question);
            cb.utf8Field(values);
            cb.utf8Field(c.spssName);
            cb.utf8Field(c.note);
            cb.endRow();
        }

        const std::string dataFile = absoluteOut + (absoluteOut.back() == '/' ? "" : "/") + "daten.csv";
        set.add("labels.sps").write(spssSyntax(columns_, options_, dataFile));
        set.add("labels.R").write(rSyntax(columns_, options_, dataFile));

        if (options_.pseudonymize) {
            // Sorted by id, so the row order does not link a name to its row
            // in daten.csv.
            std::sort(identities.begin(), identities.end());
            CsvWriter idCsv(set.add("identitaeten.csv"), sep, options_.excel);
            for (const char* h : {"id", "Name", "Email", "datei"})
                idCsv.utf8Field(h);
            idCsv.endRow();
            std::string buffer;
            for (const auto& row : identities) {
                idCsv.utf8Field(row[0]);
                for (std::size_t k = 1; k < row.size(); ++k)
                    idCsv.utf8Field(guarded(row[k], buffer));
                idCsv.endRow();
            }
        } else {
            // Names of an earlier pseudonymized export would no longer
            // belong to the data.
            set.drop("identitaeten.csv");
        }
        set.commit();
        return true;
    }
};

} // namespace

int runExport(const std::vector<std::string>& args, const ResourceStore& resources, std::ostream& out,
              std::ostream& err) {
    return Run(out, err).main(args, resources);
}

} // namespace fb::exporter
