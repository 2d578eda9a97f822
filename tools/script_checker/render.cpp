#include "tools/script_checker/render.h"

#include "engine/answers.h"
#include "engine/form_fragen.h"
#include "engine/page_builder.h"
#include "engine/resource_loader.h"
#include "engine/text_lines.h"
#include "platform/cp1252.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <cstdio>
#include <set>
#include <sstream>

namespace fb {
namespace {

std::string utf8(const std::string& cp1252) { return fromCp1252(cp1252).toStdString(); }

std::string html(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string errorText(const std::exception& e) {
    if (auto* fe = dynamic_cast<const Exception*>(&e))
        return utf8(fe->message());
    return e.what();
}

RenderedItem describe(const ScriptItem& it) {
    RenderedItem r;
    const std::size_t blank = it.keywordLine.find(' ');
    r.keyword = utf8(it.keywordLine.substr(0, blank));
    r.name = blank == std::string::npos ? std::string() : utf8(it.keywordLine.substr(blank + 1));
    switch (it.kind) {
    case ItemKind::SkalaWT: r.question = utf8(it.jokeText.substr(0, it.jokeText.find("\r\n"))); break;
    case ItemKind::SkalaWP: r.question = utf8(it.pictureFile); break;
    default: r.question = utf8(it.question);
    }
    return r;
}

// Pictures of an earlier run would otherwise stay and mislead after a page
// was removed or renamed; only our own naming pattern is touched.
void removeOldPictures(QDir& dir) {
    static const QRegularExpression ours("^[0-9]{3,}-[A-Za-z0-9._-]*\\.png$");
    for (const QString& name : dir.entryList({"*.png"}, QDir::Files))
        if (ours.match(name).hasMatch())
            dir.remove(name);
}

const char* kStyle = R"(body{font-family:sans-serif;margin:1em 2em;color:#222;background:#f4f4f4}
h1{font-size:1.4em}
.problems{background:#fff3f0;border:1px solid #d77;padding:.5em 1em;margin-bottom:1.5em}
.problems h2{font-size:1.1em;margin:.3em 0;color:#a22}
.clean{color:#363}
.sheet{display:flex;flex-wrap:wrap;gap:1em}
.page{background:#fff;border:1px solid #bbb;padding:.6em;width:640px;display:flex;gap:.8em}
.page a.thumb{flex:none}
.page img{width:190px;height:auto;max-height:420px;object-fit:cover;object-position:top;border:1px solid #999;display:block}
.page h2{font-size:1em;margin:0 0 .2em 0}
.page .name{font-family:monospace;margin:0 0 .4em 0}
.page .error{color:#a22}
.page table{border-collapse:collapse;font-size:.8em}
.page td{vertical-align:top;padding:0 .4em .2em 0}
.page td.kw,.page td.nm{font-family:monospace;white-space:nowrap}
)";

std::string indexHtml(const RenderResult& r, const std::vector<Finding>& findings, const std::string& scriptLabel,
                      int pageCount) {
    std::ostringstream h;
    h << "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<title>Fragebogen: " << html(scriptLabel) << "</title>\n<style>\n"
      << kStyle << "</style>\n</head>\n<body>\n"
      << "<h1>" << html(scriptLabel) << ": " << r.pages.size() << " pages shown, " << pageCount
      << " page starts</h1>\n";
    const bool trouble = !findings.empty() || !r.sequenceError.empty();
    if (trouble) {
        h << "<section class=\"problems\">\n<h2>Problems</h2>\n<ul>\n";
        for (const Finding& f : findings)
            h << "<li>" << (f.line > 0 ? "line " + std::to_string(f.line) : std::string("script")) << ": "
              << html(f.message) << "</li>\n";
        if (!r.sequenceError.empty())
            h << "<li>" << html(r.sequenceError) << "</li>\n";
        h << "</ul>\n</section>\n";
    } else {
        h << "<p class=\"clean\">The checker finds no problem in this script.</p>\n";
    }
    h << "<main class=\"sheet\">\n";
    for (const RenderedPage& p : r.pages) {
        h << "<section class=\"page\" id=\"p" << p.number << "\">\n"
          << "<a class=\"thumb\" href=\"" << html(p.fileName) << "\"><img src=\"" << html(p.fileName)
          << "\" alt=\"" << html(p.caption) << "\" width=\"190\"></a>\n<div>\n"
          << "<h2>" << html(p.caption) << "</h2>\n"
          << "<p class=\"name\">" << html(p.name) << "</p>\n";
        if (!p.error.empty())
            h << "<p class=\"error\">The program fails on this page: " << html(p.error) << "</p>\n";
        if (!p.items.empty()) {
            h << "<table>\n";
            for (const RenderedItem& it : p.items)
                h << "<tr><td class=\"kw\">" << html(it.keyword) << "</td><td class=\"nm\">" << html(it.name)
                  << "</td><td>" << html(it.question) << "</td></tr>\n";
            h << "</table>\n";
        }
        h << "</div>\n</section>\n";
    }
    h << "</main>\n</body>\n</html>\n";
    return h.str();
}

} // namespace

std::string pictureFileName(int number, const std::string& pageName) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", number);
    std::string name = std::string(digits) + "-";
    for (char c : pageName) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '_' || c == '-';
        name += plain ? c : '_';
    }
    return name + ".png";
}

RenderResult renderPreview(const ScriptLines& lines, const ResourceStore& resources,
                           const std::vector<Finding>& findings, const std::string& scriptLabel,
                           const std::string& dirPath) {
    RenderResult result;
    QDir dir(QString::fromStdString(dirPath));
    if (!dir.mkpath(".")) {
        result.writeFailed = true;
        result.writeError = "cannot create " + dirPath;
        return result;
    }
    removeOldPictures(dir);

    // The program's page window and objects, as the main window holds them.
    TFormFragen window;
    Picture pictureImage;
    MemoryStream stream;
    PageModel page;
    PageBuildContext ctx{window, pictureImage,
                         [&](const std::string& name) {
                             loadResourceFile(resources, name, stream);
                             return stream.bytes();
                         },
                         [&](CheckBox* box) { keepOneBoxPerRow(page, box, ctx.onScaleClick); }};
    window.show();
    const int pageCount = lines.empty() ? 0 : countPages(lines);

    std::set<long long> starts;
    std::string name;
    try {
        name = choosePageName(lines, {});
    } catch (const std::exception& e) {
        result.sequenceError = "the program cannot start the questionnaire: " + errorText(e);
    }
    for (int step = 0; result.sequenceError.empty(); ++step) {
        if (step > pageCount) {
            result.sequenceError = "the program's page sequence does not come to an end";
            break;
        }
        PageLocation loc;
        try {
            loc = lookupPage(lines, name);
        } catch (const std::exception& e) {
            result.sequenceError = "the program cannot find page \"" + utf8(name) + "\": " + errorText(e);
            break;
        }
        if (!starts.insert(loc.start).second) {
            result.sequenceError = "the program shows page \"" + utf8(name) + "\" a second time";
            break;
        }
        RenderedPage shown;
        shown.number = loc.pageNumber;
        shown.name = utf8(name);
        shown.caption = "Seite " + std::to_string(loc.pageNumber) + " von " + std::to_string(pageCount) + ".";
        shown.fileName = pictureFileName(loc.pageNumber, name);
        try {
            readPage(lines, loc.start, [&](const ScriptItem& it) { shown.items.push_back(describe(it)); });
        } catch (const std::exception&) {
            // The build below fails at the same line and reports it.
        }

        page.PageName = name;
        page.PageNumber = loc.pageNumber;
        window.setCaption(shown.caption);
        window.scrollToTop();
        bool failed = false;
        try {
            const int y = buildPageItems(page, lines, loc.start, ctx);
            placeButtons(page, ctx, y);
            window.SpeichernButton->setEnabled(true);
        } catch (const std::exception& e) {
            // What the program shows then: the page taken down, only the way back.
            teardownPage(page, pictureImage);
            window.SpeichernButton->setEnabled(false);
            placeButtons(page, ctx, 45);
            shown.error = errorText(e);
            failed = true;
        }
        QCoreApplication::processEvents();
        const QPixmap shot = window.clientArea()->grab();
        shown.width = shot.width();
        shown.height = shot.height();
        if (!shot.save(dir.filePath(QString::fromStdString(shown.fileName)), "PNG")) {
            result.writeFailed = true;
            result.writeError = "cannot write " + dir.filePath(QString::fromStdString(shown.fileName)).toStdString();
        }
        const long long cursor = page.ScriptCursor;
        teardownPage(page, pictureImage);
        result.pages.push_back(std::move(shown));
        if (failed || result.writeFailed)
            break;
        const auto marker = resumeMarker(lines, cursor);
        if (!marker)
            break; // the questionnaire is finished
        name = fromPosition(*marker, 6);
    }
    window.hide();

    QFile index(dir.filePath("index.html"));
    const std::string sheet = indexHtml(result, findings, scriptLabel, pageCount);
    if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        index.write(sheet.data(), static_cast<qint64>(sheet.size())) != static_cast<qint64>(sheet.size())) {
        result.writeFailed = true;
        result.writeError = "cannot write " + index.fileName().toStdString();
    }
    return result;
}

} // namespace fb
