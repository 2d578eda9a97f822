#pragma once
// The page being shown: its answer entries and its controls by kind.
#include "platform/controls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fb {

// One answer entry of the page being shown. Unused fields are 0.
struct TTeil {
    std::string Line;          // keyword line; rating rows with ".w", ".a" or ".k"
    std::int32_t EditIndex = 0;   // TEXT: index in PageEdits
    std::int32_t FirstBox = 0;    // SKALA: first check box in PageCheckBoxes
    std::int32_t LastBox = 0;     // SKALA: last check box (inclusive)
    std::int32_t ChoiceIndex = 0; // RADIO: PageRadioGroups; SINGLE, MULTI: PageListBoxes
};

struct PageControls {
    std::vector<Label*> PageLabels;
    std::vector<Edit*> PageEdits;
    std::vector<RadioGroup*> PageRadioGroups;
    std::vector<ListBox*> PageListBoxes;
    std::vector<CheckBox*> PageCheckBoxes;
    bool empty() const {
        return PageLabels.empty() && PageEdits.empty() && PageRadioGroups.empty() &&
               PageListBoxes.empty() && PageCheckBoxes.empty();
    }
};

// How an entry shows on the page, for helping the participant: the caption
// that is marked while the answer is missing (none for "War mir bekannt."),
// the control that takes the focus, and the item's extent from the caption's
// top to its lowest control, in content pixels.
struct EntryView {
    Label* caption = nullptr;
    QWidget* focus = nullptr;
    int top = 0;
    int bottom = 0;
};

struct PageModel {
    std::vector<TTeil> ItemEntries;
    std::vector<EntryView> EntryViews; // parallel to ItemEntries
    PageControls Controls;
    std::string PageName;
    int PageNumber = 0;
    long long ScriptCursor = 0;
};

} // namespace fb
