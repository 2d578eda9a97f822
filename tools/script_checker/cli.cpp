#include "tools/script_checker/cli.h"

#include "tools/script_checker/checker.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace fb {
namespace {

constexpr const char* kUsage =
    "usage: fragebogen-check-script [--no-resources] SCRIPT...\n"
    "Checks questionnaire scripts for the rules the program relies on but does not test.\n"
    "Prints FILE:LINE: message per finding (line 0: the script as a whole).\n"
    "  --no-resources  skip the checks of SKALA.WP pictures against the embedded JPG resources\n"
    "Exit status: 0 no finding, 1 findings, 2 usage or read error.\n";

// The script's bytes exactly as stored; false with errno's text on failure.
bool readBytes(const std::string& path, std::string& bytes, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    bytes.clear();
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.append(buffer, got);
    if (std::ferror(file.get())) {
        error = errno ? std::strerror(errno) : "read error";
        return false;
    }
    return true;
}

} // namespace

int runScriptChecker(const std::vector<std::string>& args, const ResourceStore* resources,
                     std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    bool optionsDone = false;
    for (const std::string& arg : args) {
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--no-resources") {
            resources = nullptr;
        } else if (!optionsDone && (arg == "--help" || arg == "-h")) {
            out << kUsage;
            return kCheckClean;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            err << "fragebogen-check-script: unknown option " << arg << "\n" << kUsage;
            return kCheckTrouble;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        err << kUsage;
        return kCheckTrouble;
    }

    bool trouble = false;
    bool found = false;
    CheckOptions options;
    options.resources = resources;
    for (const std::string& path : files) {
        std::string bytes;
        std::string error;
        if (!readBytes(path, bytes, error)) {
            err << path << ": cannot read: " << error << "\n";
            trouble = true;
            continue;
        }
        for (const Finding& f : checkScriptBytes(bytes, options)) {
            out << path << ":" << f.line << ": " << f.message << "\n";
            found = true;
        }
    }
    out.flush();
    return trouble ? kCheckTrouble : (found ? kCheckFindings : kCheckClean);
}

} // namespace fb
