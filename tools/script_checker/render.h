#pragma once
// The page preview for study authors: every page the program would show,
// built by the program's own page builder into an offscreen page window and
// saved as a picture, with a contact sheet (index.html) that lists them.
// Needs a running QApplication; writes only into the preview folder.
#include "engine/script.h"
#include "platform/resource_store.h"
#include "tools/script_checker/checker.h"

#include <string>
#include <vector>

namespace fb {

struct RenderedItem {
    std::string keyword;  // "RADIO", "SKALA.WT", ... (UTF-8)
    std::string name;     // the rest of the keyword line (UTF-8)
    std::string question; // question line, first joke line or picture file (UTF-8)
};

struct RenderedPage {
    int number = 0;       // as the caption counts
    std::string name;     // UTF-8
    std::string caption;  // "Seite 14 von 77."
    std::string fileName; // "014-W04.png"
    int width = 0;
    int height = 0;
    std::vector<RenderedItem> items;
    std::string error; // the builder's failure on this page (UTF-8); the sequence ends here
};

struct RenderResult {
    std::vector<RenderedPage> pages;
    std::string sequenceError; // a page that could not even be looked up, or a repeat
    bool writeFailed = false;  // a picture or the sheet could not be written
    std::string writeError;
};

// The file name of a page's picture: three-digit number, a dash, the page
// name with every character outside [A-Za-z0-9._-] replaced by '_'.
std::string pictureFileName(int number, const std::string& pageName);

// Follows the program's page sequence from the first page, builds each page,
// saves its picture into dir (created if missing; pictures of an earlier run
// removed) and writes index.html listing the pages and the findings.
RenderResult renderPreview(const ScriptLines& lines, const ResourceStore& resources,
                           const std::vector<Finding>& findings, const std::string& scriptLabel,
                           const std::string& dir);

} // namespace fb
