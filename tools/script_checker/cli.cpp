#include "tools/script_checker/cli.h"

#include "engine/resource_loader.h"
#include "engine/text_lines.h"
#include "platform/cp1252.h"
#include "tools/script_checker/checker.h"
#include "tools/script_checker/render.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace fb {
namespace {

constexpr const char* kUsage =
    "usage: fragebogen-check-script [--no-resources] SCRIPT...\n"
    "       fragebogen-check-script [--no-resources] --render DIR [SCRIPT]\n"
    "Checks questionnaire scripts for the rules the program relies on but does not test.\n"
    "Prints FILE:LINE: message per finding (line 0: the script as a whole).\n"
    "  --no-resources  skip the checks of SKALA.WP pictures against the embedded JPG resources\n"
    "  --render DIR    also save a picture of every page the program shows (the embedded\n"
    "                  script when no SCRIPT is given) and DIR/index.html listing them\n"
    "Exit status: 0 no finding, 1 findings, 2 usage, read or write error.\n";

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

int renderCommand(const std::string& dir, const std::vector<std::string>& files, const ResourceStore* resources,
                  const ResourceStore& pictures, std::ostream& out, std::ostream& err) {
    if (files.size() > 1) {
        err << "fragebogen-check-script: --render takes at most one script\n" << kUsage;
        return kCheckTrouble;
    }
    std::string label = "bogen.txt";
    std::string bytes;
    if (files.empty()) {
        try {
            MemoryStream stream;
            loadResourceFile(pictures, "bogen.txt", stream);
            bytes = stream.bytes();
        } catch (const Exception& e) {
            err << "bogen.txt: " << fromCp1252(e.message()).toStdString() << "\n";
            return kCheckTrouble;
        }
    } else {
        label = files.front();
        std::string error;
        if (!readBytes(label, bytes, error)) {
            err << label << ": cannot read: " << error << "\n";
            return kCheckTrouble;
        }
    }
    CheckOptions options;
    options.resources = resources;
    const ScriptLines lines(splitLines(bytes));
    const std::vector<Finding> findings = checkScript(lines, options);
    for (const Finding& f : findings)
        out << label << ":" << f.line << ": " << f.message << "\n";
    const RenderResult r = renderPreview(lines, pictures, findings, label, dir);
    for (const RenderedPage& p : r.pages)
        if (!p.error.empty())
            err << label << ": " << p.caption << " " << p.name << ": " << p.error << "\n";
    if (!r.sequenceError.empty())
        err << label << ": " << r.sequenceError << "\n";
    if (r.writeFailed) {
        err << "fragebogen-check-script: " << r.writeError << "\n";
        return kCheckTrouble;
    }
    out << r.pages.size() << " pages rendered into " << dir << "/index.html\n";
    out.flush();
    const bool pageFailed = !r.sequenceError.empty() || (!r.pages.empty() && !r.pages.back().error.empty());
    return findings.empty() && !pageFailed ? kCheckClean : kCheckFindings;
}

} // namespace

int runScriptChecker(const std::vector<std::string>& args, const ResourceStore* resources,
                     std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    bool optionsDone = false;
    bool render = false;
    std::string renderDir;
    const ResourceStore* pictures = resources;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && arg == "--render") {
            if (render || i + 1 >= args.size()) {
                err << "fragebogen-check-script: --render needs one folder\n" << kUsage;
                return kCheckTrouble;
            }
            render = true;
            renderDir = args[++i];
        } else if (!optionsDone && arg == "--") {
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
    if (render) {
        if (!pictures) {
            err << "fragebogen-check-script: --render needs the embedded resources\n";
            return kCheckTrouble;
        }
        return renderCommand(renderDir, files, resources, *pictures, out, err);
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
