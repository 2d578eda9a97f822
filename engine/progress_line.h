#pragma once
// A thin bar in the empty band above a page's first item that shows how far
// through the questionnaire the participant is. It lives on the page window
// across pages, takes no focus and sits above every control, so no control
// moves for it.
#include "engine/form_fragen.h"

#include <QProgressBar>

namespace fb {

// Top and height of the bar in content pixels (the first item starts at 45).
constexpr int kProgressTop = 8;
constexpr int kProgressHeight = 4;

// Shows page pageNumber of pageCount, at the width of the page's edit fields.
QProgressBar& showProgress(TFormFragen& window, int pageNumber, int pageCount);

} // namespace fb
