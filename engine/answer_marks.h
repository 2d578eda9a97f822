#pragma once
// Shows a participant what a refused page still lacks: the captions of the
// unanswered items turn red, the first of them is scrolled fully into view
// and takes the keyboard focus. From then on each caption follows its item's
// answer until the page goes. Only colours change, so nothing on the page
// moves, and nothing that is recorded depends on the marks.
#include "engine/form_fragen.h"
#include "engine/page_model.h"

#include <QColor>

namespace fb {

inline QColor missingAnswerColor() { return QColor(Qt::red); }

// To be called after the refusal's warning has been closed.
void markMissingAnswers(PageModel& model, TFormFragen& window);

// Scrolls the page so that the content rows top..bottom are visible, the top
// first when they are taller than the view.
void scrollRowsIntoView(TFormFragen& window, int top, int bottom);

} // namespace fb
