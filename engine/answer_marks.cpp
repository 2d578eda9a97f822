#include "engine/answer_marks.h"

#include "engine/answers.h"
#include "engine/text_lines.h"

#include <QPointer>
#include <QScrollBar>

namespace fb {
namespace {

const char* const kOriginalColor = "fbUnmarkedColor";
const char* const kWatched = "fbMarkWatched";

void setMarked(Label& caption, bool on) {
    QPalette p = caption.palette();
    if (!caption.property(kOriginalColor).isValid())
        caption.setProperty(kOriginalColor, p.color(QPalette::WindowText));
    const QColor want = on ? missingAnswerColor() : caption.property(kOriginalColor).value<QColor>();
    if (p.color(QPalette::WindowText) == want)
        return;
    p.setColor(QPalette::WindowText, want);
    caption.setPalette(p);
}

// The mark of entry i follows its answer. The guard drops signals that come
// while the page is being taken down (its entries are gone by then).
template <class Sender, class Signal> void watch(PageModel& model, std::size_t i, Sender* sender, Signal signal) {
    QPointer<Label> caption = model.EntryViews[i].caption;
    QObject::connect(sender, signal, sender, [&model, i, caption] {
        if (!caption || i >= model.EntryViews.size() || model.EntryViews[i].caption != caption)
            return;
        setMarked(*caption, !entryAnswered(model, i));
    });
}

template <class T> T* at(const std::vector<T*>& list, std::int32_t i) {
    return i >= 0 && static_cast<std::size_t>(i) < list.size() ? list[static_cast<std::size_t>(i)] : nullptr;
}

void watchEntry(PageModel& model, std::size_t i) {
    const TTeil& t = model.ItemEntries[i];
    const PageControls& c = model.Controls;
    if (startsWith(t.Line, "TEXT")) {
        if (Edit* e = at(c.PageEdits, t.EditIndex))
            watch(model, i, e, &QLineEdit::textChanged);
    } else if (startsWith(t.Line, "RADIO")) {
        if (RadioGroup* g = at(c.PageRadioGroups, t.ChoiceIndex))
            for (int k = 0; k < g->count(); ++k)
                watch(model, i, g->button(k), &QAbstractButton::toggled);
    } else if (startsWith(t.Line, "SINGLE") || startsWith(t.Line, "MULTI")) {
        if (ListBox* l = at(c.PageListBoxes, t.ChoiceIndex)) {
            watch(model, i, l, &QListWidget::itemSelectionChanged);
            watch(model, i, l, &QListWidget::currentRowChanged);
        }
    } else if (startsWith(t.Line, "SKALA")) {
        for (std::int32_t k = t.FirstBox; k <= t.LastBox; ++k)
            if (CheckBox* b = at(c.PageCheckBoxes, k))
                watch(model, i, b, &QAbstractButton::toggled);
    }
}

} // namespace

void scrollRowsIntoView(TFormFragen& window, int top, int bottom) {
    const int margin = 10;
    QScrollBar* bar = window.scrollArea()->verticalScrollBar();
    const int view = window.scrollArea()->viewport()->height();
    int v = bar->value();
    if (bottom + margin > v + view)
        v = bottom + margin - view;
    if (top - margin < v)
        v = top - margin;
    bar->setValue(std::clamp(v, bar->minimum(), bar->maximum()));
}

void markMissingAnswers(PageModel& model, TFormFragen& window) {
    const std::size_t n = std::min(model.ItemEntries.size(), model.EntryViews.size());
    const EntryView* first = nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        const EntryView& v = model.EntryViews[i];
        const bool missing = !entryAnswered(model, i);
        if (missing && !first)
            first = &v;
        if (!v.caption)
            continue;
        if (!v.caption->property(kWatched).toBool()) {
            v.caption->setProperty(kWatched, true);
            watchEntry(model, i);
        }
        setMarked(*v.caption, missing);
    }
    if (!first)
        return;
    if (first->focus) {
        // Drawn with the focus frame that keyboard users see after Tab.
        window.setAttribute(Qt::WA_KeyboardFocusChange);
        window.activateWindow();
        first->focus->setFocus(Qt::OtherFocusReason);
    }
    scrollRowsIntoView(window, first->top, first->bottom);
}

} // namespace fb
