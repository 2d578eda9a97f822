#include "engine/rating_keys.h"

#include "engine/text_lines.h"

#include <QKeyEvent>
#include <QScrollArea>

namespace fb {
namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// One per box, owned by it.
class RowKeys : public QObject {
public:
    RowKeys(PageModel& model, CheckBox* box, std::function<void(CheckBox*)> onClick)
        : QObject(box), model_(model), box_(box), onClick_(std::move(onClick)) {
        box->installEventFilter(this);
        connect(box, &QAbstractButton::toggled, this, [this](bool on) {
            if (on && box_->hasOnClick() && otherMarkInRow())
                onClick_(box_);
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != box_ || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        const TTeil* row = nullptr;
        const long long s = rowOf(row);
        if (!row)
            return false;
        switch (key->key()) {
        case Qt::Key_Left:
            if (s > row->FirstBox)
                moveTo(s - 1);
            return true; // the arrows never leave the row
        case Qt::Key_Right:
            if (s < row->LastBox)
                moveTo(s + 1);
            return true;
        default:
            break;
        }
        if (key->key() >= Qt::Key_0 && key->key() <= Qt::Key_9) {
            const long long position = key->key() - Qt::Key_0;
            const bool rating = startsWith(row->Line, "SKALA.W") && (endsWith(row->Line, ".w") || endsWith(row->Line, ".a"));
            if (rating && position >= 1 && row->FirstBox + position - 1 <= row->LastBox) {
                CheckBox* target = moveTo(row->FirstBox + position - 1);
                target->setMark(true); // through the click handler, as a click
            }
            return true; // digits do nothing on an hour scale
        }
        return false;
    }

private:
    // The box's index and its row, found as the click handler finds them.
    long long rowOf(const TTeil*& row) const {
        const auto& boxes = model_.Controls.PageCheckBoxes;
        long long s = -1;
        for (std::size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i] == box_)
                s = static_cast<long long>(i);
        row = nullptr;
        for (const TTeil& t : model_.ItemEntries)
            if (startsWith(t.Line, "SKALA") && !endsWith(t.Line, ".k") && t.FirstBox <= s && s <= t.LastBox)
                row = &t;
        return s;
    }

    bool otherMarkInRow() const {
        const TTeil* row = nullptr;
        const long long s = rowOf(row);
        if (!row)
            return false;
        for (long long i = row->FirstBox; i <= row->LastBox; ++i)
            if (i != s && model_.Controls.PageCheckBoxes[static_cast<std::size_t>(i)]->mark())
                return true;
        return false;
    }

    CheckBox* moveTo(long long index) {
        CheckBox* target = model_.Controls.PageCheckBoxes[static_cast<std::size_t>(index)];
        target->window()->setAttribute(Qt::WA_KeyboardFocusChange); // show the focus frame
        target->setFocus(Qt::OtherFocusReason);
        for (QWidget* w = target->parentWidget(); w; w = w->parentWidget())
            if (auto* area = qobject_cast<QScrollArea*>(w)) {
                area->ensureWidgetVisible(target);
                break;
            }
        return target;
    }

    PageModel& model_;
    CheckBox* box_;
    std::function<void(CheckBox*)> onClick_;
};

} // namespace

void attachRowKeys(PageModel& model, const std::function<void(CheckBox*)>& onScaleClick) {
    auto& boxes = model.Controls.PageCheckBoxes;
    for (const TTeil& t : model.ItemEntries) {
        if (!startsWith(t.Line, "SKALA") || endsWith(t.Line, ".k"))
            continue;
        for (long long i = t.FirstBox; i <= t.LastBox; ++i)
            if (static_cast<std::size_t>(i) < boxes.size() && boxes[static_cast<std::size_t>(i)])
                new RowKeys(model, boxes[static_cast<std::size_t>(i)], onScaleClick);
    }
}

} // namespace fb
