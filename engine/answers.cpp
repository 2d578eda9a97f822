#include "engine/answers.h"

#include "engine/text_lines.h"
#include "platform/errors.h"

namespace fb {
namespace {

template <class T> T* control(const std::vector<T*>& list, std::int32_t i) {
    return i >= 0 && static_cast<std::size_t>(i) < list.size() ? list[static_cast<std::size_t>(i)] : nullptr;
}

bool answered(const TTeil& t, const PageControls& c) {
    if (startsWith(t.Line, "RADIO")) {
        auto* g = control(c.PageRadioGroups, t.ChoiceIndex);
        return g && g->itemIndex() != -1;
    }
    if (startsWith(t.Line, "TEXT")) {
        auto* e = control(c.PageEdits, t.EditIndex);
        return e && !e->caption().empty();
    }
    if (startsWith(t.Line, "SINGLE") || startsWith(t.Line, "MULTI")) {
        auto* l = control(c.PageListBoxes, t.ChoiceIndex);
        return l && l->itemIndex() != -1;
    }
    if (startsWith(t.Line, "SKALA")) {
        if (t.Line.size() >= 2 && t.Line.compare(t.Line.size() - 2, 2, ".k") == 0)
            return true;
        for (std::int32_t i = t.FirstBox; i <= t.LastBox; ++i)
            if (auto* b = control(c.PageCheckBoxes, i); b && b->mark())
                return true;
        return false;
    }
    return true;
}

} // namespace

bool pageComplete(const PageModel& model) {
    bool complete = true;
    for (const TTeil& t : model.ItemEntries)
        if (!answered(t, model.Controls))
            complete = false;
    return complete;
}

bool entryAnswered(const PageModel& model, std::size_t i) {
    return i < model.ItemEntries.size() && answered(model.ItemEntries[i], model.Controls);
}

std::vector<std::string> answerLines(const PageModel& model) {
    std::vector<std::string> out;
    const PageControls& c = model.Controls;
    for (const TTeil& t : model.ItemEntries) {
        if (startsWith(t.Line, "RADIO")) {
            out.push_back(fromPosition(t.Line, 7) + "=" +
                          std::to_string(c.PageRadioGroups[static_cast<std::size_t>(t.ChoiceIndex)]->itemIndex() + 1));
        } else if (startsWith(t.Line, "TEXT")) {
            out.push_back(fromPosition(t.Line, 6) + "=" +
                          c.PageEdits[static_cast<std::size_t>(t.EditIndex)]->caption());
        } else if (startsWith(t.Line, "SINGLE")) {
            out.push_back(fromPosition(t.Line, 8) + "=" +
                          std::to_string(c.PageListBoxes[static_cast<std::size_t>(t.ChoiceIndex)]->itemIndex()));
        } else if (startsWith(t.Line, "MULTI")) {
            const ListBox* l = c.PageListBoxes[static_cast<std::size_t>(t.ChoiceIndex)];
            const std::string name = fromPosition(t.Line, 7);
            unsigned long long bits = 0;
            for (int i = 0; i < l->count(); ++i) {
                if (!l->selected(i))
                    continue;
                if (i >= kMultiEntries)
                    throw Exception("Entry " + std::to_string(i + 1) + " of \"" + name +
                                    "\" cannot be recorded: a choice list holds at most " +
                                    std::to_string(kMultiEntries) + " entries");
                bits |= 1ull << i;
            }
            out.push_back(name + "=" + std::to_string(bits));
        } else if (startsWith(t.Line, "SKALA")) {
            for (std::int32_t i = t.FirstBox; i <= t.LastBox; ++i)
                if (c.PageCheckBoxes[static_cast<std::size_t>(i)]->mark())
                    out.push_back(fromPosition(t.Line, 11) + "=" + std::to_string(i - t.FirstBox + 1));
        }
    }
    return out;
}

std::optional<std::string> resumeMarker(const ScriptLines& lines, long long scriptCursor) {
    // A script that ran out is finished, even when its last line is a page
    // start (an empty last page would otherwise be shown again for ever).
    if (scriptCursor >= lines.count())
        return std::nullopt;
    const std::string& stop = lines[scriptCursor - 1];
    if (startsWith(stop, "PAGE"))
        return stop;
    if (startsWith(stop, "SKALA.W"))
        return "PAGE " + fromPosition(stop, 10);
    return std::nullopt;
}

} // namespace fb
