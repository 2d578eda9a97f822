#include "engine/page_builder.h"

#include "engine/control_names.h"
#include "engine/jpeg_decoder.h"
#include "engine/text_lines.h"

#include <algorithm>

namespace fb {
namespace {

// The least room between two neighbouring hour numbers, with a pixel to
// spare for rounding at other scale factors.
constexpr int kNumberGap = 6;

class Builder {
public:
    Builder(PageModel& m, PageBuildContext& c) : model(m), ctx(c), W(c.window.outerWidth()) {}

    void item(const ScriptItem& it) {
        switch (it.kind) {
        case ItemKind::Text: text(it); break;
        case ItemKind::Radio: radio(it); break;
        case ItemKind::Single:
        case ItemKind::Multi: list(it); break;
        case ItemKind::SkalaTag: skalaTag(it); break;
        case ItemKind::SkalaStd: skalaStd(it); break;
        case ItemKind::SkalaWT: joke(it); break;
        case ItemKind::SkalaWP: cartoon(it); break;
        }
    }

    PageModel& model;
    PageBuildContext& ctx;
    const int W; // the window's outer width when the build started
    int y = 45;

private:
    QWidget* parent() { return ctx.window.clientArea(); }
    PageControls& c() { return model.Controls; }
    std::int32_t index(std::size_t n) { return static_cast<std::int32_t>(n); }

    Label* newLabel() {
        auto* l = new Label(parent());
        c().PageLabels.push_back(l);
        l->show();
        return l;
    }

    Label* questionLabel(const std::string& question) {
        Label* l = newLabel();
        l->setWordWrap(true);
        l->setAutoSize(true);
        l->move(30, y);
        l->setLabelWidth(W - 120);
        l->setCaption(question);
        y += l->height() + 10;
        return l;
    }

    void view(Label* caption, QWidget* focus, int bottom) {
        model.EntryViews.push_back({caption, focus, caption ? caption->y() : focus->y(), bottom});
    }

    CheckBox* newBox(int left, int top) {
        auto* b = new CheckBox(parent());
        b->move(left, top);
        b->setOnClick([h = ctx.onScaleClick, b] { h(b); });
        b->show();
        return b;
    }

    void text(const ScriptItem& it) {
        Label* q = questionLabel(it.question);
        auto* e = new Edit(parent());
        c().PageEdits.push_back(e);
        model.ItemEntries.push_back({it.keywordLine, index(c().PageEdits.size() - 1), 0, 0, 0});
        e->setGeometry(30, y, W - 80, e->height());
        e->show();
        describeControl(*e, it.question);
        view(q, e, y + e->height());
        y += e->height() + 20;
    }

    void radio(const ScriptItem& it) {
        Label* q = questionLabel(it.question);
        auto* g = new RadioGroup(parent());
        c().PageRadioGroups.push_back(g);
        model.ItemEntries.push_back({it.keywordLine, 0, 0, 0, index(c().PageRadioGroups.size() - 1)});
        int h = 0;
        for (const std::string& option : it.options) {
            h = std::min(300, h + 25);
            g->addItem(option);
        }
        g->setGeometry(30, y, W - 80, h);
        g->show();
        describeControl(*g, it.question);
        view(q, g->count() > 0 ? static_cast<QWidget*>(g->button(0)) : g, y + h);
        y += h + 20;
    }

    void list(const ScriptItem& it) {
        Label* q = questionLabel(it.question);
        auto* l = new ListBox(parent());
        c().PageListBoxes.push_back(l);
        l->setMultiSelect(it.kind == ItemKind::Multi);
        model.ItemEntries.push_back({it.keywordLine, 0, 0, 0, index(c().PageListBoxes.size() - 1)});
        int h = 10;
        for (const std::string& option : it.options) {
            h += l->itemHeight();
            l->addItem(option);
        }
        l->setGeometry(30, y, W - 250, h);
        l->show();
        describeControl(*l, it.question);
        view(q, l, y + h);
        y += h + 25;
    }

    // Two-digit hour numbers at a 15-pixel pitch would run together
    // ("1011121314"): the labels from first on that are wider than maxWidth
    // are set in one narrow face, small enough for the widest, and each
    // keeps the centre it had.
    void fitNumbers(std::size_t first, int maxWidth) {
        std::vector<std::pair<Label*, int>> wide; // with twice its centre
        for (std::size_t i = first; i < c().PageLabels.size(); ++i)
            if (Label* l = c().PageLabels[i]; l->width() > maxWidth)
                wide.emplace_back(l, 2 * l->x() + l->width());
        if (wide.empty())
            return;
        QFont f = wide.front().first->font();
        f.setFamilies({"Liberation Sans Narrow", "Arial Narrow"});
        for (int px = f.pixelSize(); px > 6; --px) {
            f.setPixelSize(px);
            const QFontMetrics fm(f);
            if (std::all_of(wide.begin(), wide.end(),
                            [&](const auto& w) { return fm.horizontalAdvance(w.first->text()) <= maxWidth; }))
                break;
        }
        for (auto [l, centre2] : wide) {
            l->setFont(f);
            l->adjustBounds();
            l->move((centre2 - l->width()) / 2, l->y());
        }
    }

    Label* scaleLabel(const std::string& text, int left, int top) {
        Label* l = newLabel();
        l->setAutoSize(true);
        l->setCentered(true);
        l->move(left, top);
        l->setCaption(text);
        return l;
    }

    void scale(const ScriptItem& it, int boxes, const std::vector<std::string>& numbers, int labelPitch,
               int labelLeft, std::string (*boxName)(const std::vector<std::string>&, int)) {
        Label* q = questionLabel(it.question);
        const std::size_t L = c().PageLabels.size();
        const std::size_t f = c().PageCheckBoxes.size();
        model.ItemEntries.push_back({it.keywordLine, 0, index(f), index(f + boxes - 1), 0});
        for (std::size_t n = 0; n < numbers.size(); ++n)
            scaleLabel(numbers[n], labelLeft + labelPitch * static_cast<int>(n), y + 20);
        fitNumbers(L, labelPitch - kNumberGap);
        for (int i = 0; i < boxes; ++i) {
            c().PageCheckBoxes.push_back(newBox(40 + 15 * i, y));
            describeControl(*c().PageCheckBoxes.back(), boxName(numbers, i));
        }
        view(q, c().PageCheckBoxes[f], c().PageLabels[L]->geometry().bottom() + 1);
        y += 25 + c().PageCheckBoxes[f]->height() + c().PageLabels[L]->height();
    }

    void skalaTag(const ScriptItem& it) {
        std::vector<std::string> numbers;
        for (int n = 0; n <= 24; ++n)
            numbers.push_back(std::to_string(n));
        scale(it, 24, numbers, 15, 34, dayHourBoxName);
    }

    void skalaStd(const ScriptItem& it) {
        std::vector<std::string> numbers;
        for (int j = 0; j <= 7; ++j) {
            // Wide enough for any hour line the reader accepts.
            const long long h = static_cast<long long>(it.firstHour) + j;
            numbers.push_back(std::to_string(h <= 24 ? h : h - 24));
        }
        scale(it, 28, numbers, 60, 40, quarterHourBoxName);
    }

    void joke(const ScriptItem& it) {
        Label* l = newLabel();
        l->setWordWrap(false);
        l->setAutoSize(true);
        l->move(60, y);
        l->setLabelWidth(W - 140);
        l->setCaption(it.jokeText);
        l->setLabelWidth(W - 140);
        l->setWordWrap(true);
        y += l->height() + 30;
        ratingBlock(it);
    }

    void cartoon(const ScriptItem& it) {
        Picture& p = ctx.pictureImage;
        p.setParent(parent());
        p.move(35, y);
        const QImage image = decodeJpeg(ctx.loadResource(it.pictureFile));
        p.setImage(image);
        p.resize(image.width(), image.height());
        p.show();
        describeControl(p, cartoonName(it.keywordLine));
        y += image.height() + 30;
        ratingBlock(it);
    }

    void ratingBlock(const ScriptItem& it) {
        const std::size_t f = c().PageCheckBoxes.size();
        model.ItemEntries.push_back({it.keywordLine + ".w", 0, index(f), index(f + 6), 0});
        model.ItemEntries.push_back({it.keywordLine + ".a", 0, index(f + 7), index(f + 13), 0});
        model.ItemEntries.push_back({it.keywordLine + ".k", 0, index(f + 14), index(f + 14), 0});
        Label* witzigkeit = scaleLabel("WITZIGKEIT", 240, y + 10);
        scaleLabel("nicht witzig", 130, y + 30);
        Label* keine = scaleLabel("keine Ablehnung", 130, y + 90);
        Label* ablehnung = scaleLabel("ABLEHNUNG", 240, y + 70);
        Label* sehr = scaleLabel("sehr witzig", 0, y + 30);
        Label* starke = scaleLabel("starke Ablehnung", 0, y + 90);
        const int x0 = keine->x() + keine->width() + 10;
        c().PageCheckBoxes.resize(f + 15, nullptr);
        for (int j = 0; j < 7; ++j) {
            CheckBox* fun = newBox(x0 + 15 * j, y + 30);
            fun->resize(15, fun->height());
            c().PageCheckBoxes[f + j] = fun;
            CheckBox* rej = newBox(x0 + 15 * j, y + 90);
            rej->resize(15, rej->height());
            c().PageCheckBoxes[f + 7 + j] = rej;
            describeControl(*fun, ratingBoxName(true, j + 1));
            describeControl(*rej, ratingBoxName(false, j + 1));
        }
        sehr->move(c().PageCheckBoxes[f + 6]->x() + 25, sehr->y());
        starke->move(c().PageCheckBoxes[f + 13]->x() + 25, starke->y());
        auto* known = new CheckBox(parent());
        known->setCaption("War mir bekannt.");
        known->move(60, y + 130);
        known->show();
        c().PageCheckBoxes[f + 14] = known;
        describeControl(*known, "War mir bekannt.");
        CheckBox* fun = c().PageCheckBoxes[f];
        CheckBox* rej = c().PageCheckBoxes[f + 7];
        view(witzigkeit, fun, std::max(fun->geometry().bottom(), sehr->geometry().bottom()) + 1);
        view(ablehnung, rej, std::max(rej->geometry().bottom(), starke->geometry().bottom()) + 1);
        view(nullptr, known, known->geometry().bottom() + 1);
        y += 150;
    }
};

template <class T> void destroyAll(std::vector<T*>& controls) {
    while (!controls.empty()) {
        delete controls.back();
        controls.pop_back();
    }
}

} // namespace

int buildPageItems(PageModel& model, const ScriptLines& lines, long long start, PageBuildContext& ctx) {
    Builder b(model, ctx);
    model.ScriptCursor = readPage(lines, start, [&](const ScriptItem& it) { b.item(it); });
    return b.y;
}

// Tab follows the page as it is read: the items from top to bottom, the boxes
// of a row from left to right, a rating's rows in turn, then "Abbrechen" and
// "Speichern" as they stand. Only the chain is set; creation order stays.
void setReadingOrder(const PageModel& model, TFormFragen& window) {
    const PageControls& c = model.Controls;
    auto at = [](const auto& list, std::int32_t i) {
        return i >= 0 && static_cast<std::size_t>(i) < list.size() ? list[static_cast<std::size_t>(i)] : nullptr;
    };
    std::vector<QWidget*> order;
    for (const TTeil& t : model.ItemEntries) {
        if (startsWith(t.Line, "TEXT")) {
            order.push_back(at(c.PageEdits, t.EditIndex));
        } else if (startsWith(t.Line, "RADIO")) {
            if (RadioGroup* g = at(c.PageRadioGroups, t.ChoiceIndex))
                for (int k = 0; k < g->count(); ++k)
                    order.push_back(g->button(k));
        } else if (startsWith(t.Line, "SINGLE") || startsWith(t.Line, "MULTI")) {
            order.push_back(at(c.PageListBoxes, t.ChoiceIndex));
        } else if (startsWith(t.Line, "SKALA")) {
            for (std::int32_t k = t.FirstBox; k <= t.LastBox; ++k)
                order.push_back(at(c.PageCheckBoxes, k));
        }
    }
    order.push_back(window.AbbrechenButton);
    order.push_back(window.SpeichernButton);
    std::erase(order, nullptr);
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void placeButtons(PageModel& model, PageBuildContext& ctx, int y) {
    const int W = ctx.window.outerWidth();
    TFormFragen& w = ctx.window;
    w.SpeichernButton->setGeometry(W - 120, y, 70, w.SpeichernButton->height());
    w.AbbrechenButton->setGeometry(W - 195, y, 70, w.AbbrechenButton->height());
    auto* spacer = new Label(w.clientArea());
    model.Controls.PageLabels.push_back(spacer);
    spacer->move(spacer->x(), y + 50);
    spacer->show();
    setReadingOrder(model, w);
    w.updateScrollRange();
    w.scrollToTop();
}

void teardownPage(PageModel& model, Picture& pictureImage) {
    pictureImage.hide();
    pictureImage.setParent(nullptr);
    model.ItemEntries.clear();
    model.EntryViews.clear();
    destroyAll(model.Controls.PageListBoxes);
    destroyAll(model.Controls.PageEdits);
    destroyAll(model.Controls.PageCheckBoxes);
    destroyAll(model.Controls.PageLabels);
    destroyAll(model.Controls.PageRadioGroups);
}

void keepOneBoxPerRow(PageModel& model, CheckBox* sender, const std::function<void(CheckBox*)>& handler) {
    auto& boxes = model.Controls.PageCheckBoxes;
    long long s = -1;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i] == sender)
            s = static_cast<long long>(i);
    const TTeil* row = nullptr;
    for (const TTeil& t : model.ItemEntries)
        if (startsWith(t.Line, "SKALA") && t.FirstBox <= s && s <= t.LastBox)
            row = &t;
    if (!row)
        return;
    for (long long i = row->FirstBox; i <= row->LastBox; ++i) {
        CheckBox* box = boxes[static_cast<std::size_t>(i)];
        if (box->mark() && i != s) {
            box->clearOnClick();
            box->setMark(false);
            box->setOnClick([handler, box] { handler(box); });
        }
    }
}

} // namespace fb
