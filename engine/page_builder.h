#pragma once
// Builds a page's controls from the script at fixed pixel positions, one item
// under the other, and takes them down again.
#include "engine/form_fragen.h"
#include "engine/page_model.h"
#include "engine/script.h"

#include <functional>
#include <string>

namespace fb {

struct PageBuildContext {
    TFormFragen& window;
    Picture& pictureImage;
    // Copies a content file's bytes (the resource loader).
    std::function<std::string(const std::string&)> loadResource;
    // The click handler of the scale and rating boxes.
    std::function<void(CheckBox*)> onScaleClick;
};

// Reads the page from start and builds it into model; returns y below the
// last item. model.ScriptCursor is set as the reader leaves it.
int buildPageItems(PageModel& model, const ScriptLines& lines, long long start, PageBuildContext& ctx);

// Places the two buttons and the spacer label below the page.
void placeButtons(PageModel& model, PageBuildContext& ctx, int y);

// Detaches the picture, empties the entries and destroys the page's controls.
void teardownPage(PageModel& model, Picture& pictureImage);

// Keeps at most one box checked in the row of sender.
void keepOneBoxPerRow(PageModel& model, CheckBox* sender, const std::function<void(CheckBox*)>& handler);

} // namespace fb
