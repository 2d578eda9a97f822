#pragma once
// Keyboard use of the rows of check boxes (hour scales and rating rows): the
// left and right arrow keys move between the boxes of a row, the digits 1 to 7
// check that position of a rating row, Space checks as a click does. A box
// that is checked some other way (a screen reader's toggle action changes the
// mark without a click) still runs the row's click handler, so each row keeps
// at most one box checked however it is answered.
#include "engine/page_model.h"

#include <functional>

namespace fb {

// Installs the keys on every box of the page's scale and rating rows; they go
// with the boxes. onScaleClick is the boxes' click handler.
void attachRowKeys(PageModel& model, const std::function<void(CheckBox*)>& onScaleClick);

} // namespace fb
