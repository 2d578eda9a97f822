// Values at the edges of what a replaced script can ask for: hour lines at
// the ends of the integer range and choice lists longer than a MULTI value.
#include "engine/answers.h"
#include "engine/form_fragen.h"
#include "engine/page_builder.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <climits>

using namespace fb;

namespace {

struct BuiltPage {
    TFormFragen window;
    Picture picture;
    PageModel model;
    PageBuildContext ctx{window, picture, [](const std::string&) { return std::string(); },
                         [](CheckBox*) {}};

    explicit BuiltPage(std::vector<std::string> lines) {
        const ScriptLines script(std::move(lines));
        buildPageItems(model, script, 1, ctx);
    }
    ~BuiltPage() { teardownPage(model, picture); }

    // The labels after the question label.
    std::vector<std::string> hours() const {
        std::vector<std::string> out;
        for (std::size_t i = 1; i < model.Controls.PageLabels.size(); ++i)
            out.push_back(model.Controls.PageLabels[i]->caption());
        return out;
    }
};

std::vector<std::string> multiScript(int entries) {
    std::vector<std::string> lines{"PAGE A", "MULTI Viel", "Was?"};
    for (int i = 1; i <= entries; ++i)
        lines.push_back("Eintrag " + std::to_string(i));
    lines.push_back("END");
    return lines;
}

} // namespace

TEST(PageValues, HourLabelsAtTheEndsOfTheIntegerRangeAreExact) {
    BuiltPage top({"PAGE A", "SKALA.STD Afst", "Wann?", "2147483647"});
    // Past 24 each hour is shown less 24.
    EXPECT_EQ(top.hours(), (std::vector<std::string>{"2147483623", "2147483624", "2147483625", "2147483626",
                                               "2147483627", "2147483628", "2147483629", "2147483630"}));
    BuiltPage bottom({"PAGE A", "SKALA.STD Afst", "Wann?", "-2147483648"});
    EXPECT_EQ(bottom.hours().front(), "-2147483648");
    EXPECT_EQ(bottom.hours().back(), "-2147483641");
    BuiltPage evening({"PAGE A", "SKALA.STD Btg", "Wann?", "20"});
    EXPECT_EQ(evening.hours(), (std::vector<std::string>{"20", "21", "22", "23", "24", "1", "2", "3"}));
}

TEST(PageValues, MultiValuesAreExactUpTo64EntriesAndBeyondThatAClearError) {
    BuiltPage full(multiScript(64));
    ListBox* list = full.model.Controls.PageListBoxes.at(0);
    for (int i = 0; i < 64; ++i)
        list->setSelected(i, true);
    EXPECT_EQ(answerLines(full.model), (std::vector<std::string>{"Viel=18446744073709551615"}));
    for (int i = 1; i < 63; ++i)
        list->setSelected(i, false);
    EXPECT_EQ(answerLines(full.model), (std::vector<std::string>{"Viel=9223372036854775809"}));

    BuiltPage longer(multiScript(70));
    list = longer.model.Controls.PageListBoxes.at(0);
    EXPECT_EQ(answerLines(longer.model), (std::vector<std::string>{"Viel=0"}));
    list->setSelected(63, true);
    list->setSelected(2, true);
    EXPECT_EQ(answerLines(longer.model), (std::vector<std::string>{"Viel=9223372036854775812"}));
    list->setSelected(64, true);
    try {
        answerLines(longer.model);
        FAIL() << "entry 65 was recorded";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Entry 65 of \"Viel\" cannot be recorded: a choice list holds at most 64 entries");
    }
    list->setSelected(64, false);
    list->setSelected(69, true);
    EXPECT_THROW(answerLines(longer.model), Exception);
}
