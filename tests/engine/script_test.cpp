#include "engine/answers.h"
#include "engine/script.h"
#include "engine/text_lines.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

using namespace fb;

namespace {
ScriptLines script(std::initializer_list<const char*> lines) {
    std::vector<std::string> v(lines.begin(), lines.end());
    return ScriptLines(v);
}

std::vector<ScriptItem> read(const ScriptLines& s, long long start, long long* cursor = nullptr) {
    std::vector<ScriptItem> items;
    long long c = readPage(s, start, [&](const ScriptItem& it) { items.push_back(it); });
    if (cursor)
        *cursor = c;
    return items;
}
} // namespace

TEST(LineSplitting, AllLineEndsNulAndNoTrailingEmptyLine) {
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(splitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(splitLines("\n\r"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(splitLines(std::string("ab\0cd\r\nx", 9)), (std::vector<std::string>{"ab"}));
    EXPECT_TRUE(splitLines("").empty());
    EXPECT_EQ(splitLines("Bayern   \r\nEND"), (std::vector<std::string>{"Bayern   ", "END"}));
}

TEST(TextExtraction, CopyRulesAndPositions) {
    const std::string line = "recipient=x&Name=Eva Maria&Email=e@x&Geschlecht=2";
    const long long start = positionOf("&Name=", line) + 6;
    EXPECT_EQ(copyText(line, start, positionOf("&Email=", line) - start), "Eva Maria");
    EXPECT_EQ(copyText("abc", 0, 2), "ab");
    EXPECT_EQ(copyText("abc", 4, 1), "");
    EXPECT_EQ(copyText("abc", 2, -3), "");
    EXPECT_EQ(copyText("abc", 2, 99), "bc");
    EXPECT_EQ(positionOf("zz", "abc"), 0);
}

TEST(PageCounting, PageLinesAndRatingItemsThatEndARatingPage) {
    // W01 is read on page A; W41 follows it and starts a page; "PAGEX"
    // counts wherever it stands; rating lines met inside a page do not.
    auto s = script({"PAGE A", "", "SKALA.WT W01", "joke", "END", "", "SKALA.WP W41", "b.jpg", "",
                     "PAGEX", "SKALA.WX", "page", "SKALA.W"});
    EXPECT_EQ(countPages(s), 3);
    EXPECT_EQ(countPages(script({"PAGE A", "SKALA.WT W01", "END", "", "SKALA.WT W02"})), 1) << "no END for W01";
}

TEST(PageLookup, NumbersAndStartLines) {
    auto s = script({"PAGE P1", "", "TEXT Name", "Wie?", "", "PAGE Witze", "", "SKALA.WT W01", "j", "END",
                     "", "SKALA.WT W04", "k", "END", "", "PAGE Ende", "", "TEXT X", "q"});
    auto p1 = lookupPage(s, "P1");
    EXPECT_EQ(p1.start, 1);
    EXPECT_EQ(p1.pageNumber, 1);
    auto witze = lookupPage(s, "Witze");
    EXPECT_EQ(witze.start, 6);
    EXPECT_EQ(witze.pageNumber, 2);
    // A rating item is found by its name from the 10th character, and the
    // reading starts at its own line.
    auto w04 = lookupPage(s, "W04");
    EXPECT_EQ(w04.start, 11);
    EXPECT_EQ(w04.pageNumber, 3); // W01 was shown on page 2
    EXPECT_EQ(lookupPage(s, "Ende").pageNumber, 4);
    EXPECT_THROW(lookupPage(s, "Nirgends"), EListError);
}

TEST(PageChoice, MarkerInLastAnswerLine) {
    auto s = script({"PAGE Person1", "", "PAGE Persona1"});
    EXPECT_EQ(choosePageName(s, {}), "Person1");
    EXPECT_EQ(choosePageName(s, {"recipient=a", "PAGE Persona1"}), "Persona1");
    EXPECT_EQ(choosePageName(s, {"recipient=a", "Name=x"}), "Person1");
    EXPECT_EQ(choosePageName(s, {"recipient=a", "PAGE W04"}), "W04");
}

TEST(PageReading, ItemsCursorAndPageEnds) {
    auto s = script({"PAGE A", "", "TEXT Name", "Ihr Name?", "", "RADIO G", "Geschlecht?", "m", "w", "END", "",
                     "SINGLE L", "Land?", "Bayern   ", "", "ENDE", "MULTI M", "Was?", "END", "",
                     "SKALA.STD S", "Wann?", "05", "", "SKALA.TAG T", "Tag?", "", "PAGE B", "", "TEXT X", "q"});
    long long cursor = 0;
    auto items = read(s, 1, &cursor);
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].kind, ItemKind::Text);
    EXPECT_EQ(items[0].keywordLine, "TEXT Name");
    EXPECT_EQ(items[0].question, "Ihr Name?");
    EXPECT_EQ(items[1].options, (std::vector<std::string>{"m", "w"}));
    // "ENDE" closes an option list; empty lines and trailing blanks are options.
    EXPECT_EQ(items[2].options, (std::vector<std::string>{"Bayern   ", ""}));
    EXPECT_EQ(items[3].kind, ItemKind::Multi);
    EXPECT_TRUE(items[3].options.empty());
    EXPECT_EQ(items[4].firstHour, 5);
    EXPECT_EQ(items[5].kind, ItemKind::SkalaTag);
    EXPECT_EQ(s[cursor - 1], "PAGE B");
    // The next page runs out with the script.
    items = read(s, cursor, &cursor);
    EXPECT_EQ(items.size(), 1u);
    EXPECT_EQ(cursor, s.count());
}

TEST(PageReading, RatingItemsAndJokeEnds) {
    auto s = script({"PAGE Witze", "", "SKALA.WT W01", "Zeile 1", "", "ENDE gut", "END", "", "SKALA.WP W41",
                     "bild001.jpg", "", "SKALA.WT W02", "x", "END", "", "PAGE Z", "", "PAGE Leer", "PAGE Y"});
    long long cursor = 0;
    auto items = read(s, 1, &cursor);
    ASSERT_EQ(items.size(), 1u);
    // Only an exact "END" closes a joke; empty lines stay in the text.
    EXPECT_EQ(items[0].jokeText, "Zeile 1\r\n\r\nENDE gut");
    EXPECT_EQ(s[cursor - 1], "SKALA.WP W41");
    items = read(s, lookupPage(s, "W41").start, &cursor);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].pictureFile, "bild001.jpg");
    EXPECT_EQ(s[cursor - 1], "SKALA.WT W02");
    // An empty page: a PAGE line directly followed by the next.
    items = read(s, lookupPage(s, "Leer").start, &cursor);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(s[cursor - 1], "PAGE Y");
}

TEST(PageReading, PageLineRightAfterTerminatorEndsPageRatingLineIsNextItem) {
    auto s = script({"PAGE A", "RADIO R", "q", "a", "END", "PAGE B", "RADIO S", "q", "a", "END",
                     "SKALA.WT W01", "j", "END", "", "PAGE C"});
    long long cursor = 0;
    EXPECT_EQ(read(s, 1, &cursor).size(), 1u);
    EXPECT_EQ(s[cursor - 1], "PAGE B");
    auto items = read(s, cursor, &cursor);
    EXPECT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].kind, ItemKind::SkalaWT);
}

TEST(PageReading, MalformedScriptsEndWithTheListErrors) {
    auto expectError = [](const ScriptLines& s, const std::string& message) {
        try {
            read(s, 1);
            FAIL() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.message(), message);
        }
    };
    expectError(script({"PAGE A", "RADIO R", "q", "a", "b"}), "List index out of bounds (5)");
    expectError(script({"PAGE A", "SKALA.WT W01", "joke", "ENDE"}), "List index out of bounds (4)");
    // A rating item at the very end of the script.
    expectError(script({"PAGE A", "SKALA.WP W41", "b.jpg", ""}), "List index out of bounds (4)");
    expectError(script({"PAGE A", "SKALA.STD S", "q", "fünf"}), "'fünf' is not a valid integer value");
    expectError(script({"PAGE A", "TEXT T"}), "List index out of bounds (2)");
}

TEST(IntegerConversion, DecimalOnly) {
    EXPECT_EQ(strToInt("05"), 5);
    EXPECT_EQ(strToInt("20"), 20);
    EXPECT_EQ(strToInt("-3"), -3);
    EXPECT_THROW(strToInt(""), EConvertError);
    EXPECT_THROW(strToInt("5 "), EConvertError);
    EXPECT_THROW(strToInt("99999999999"), EConvertError);
}

TEST(ResumeMarker, NextPageRatingItemAndTheEnd) {
    auto s = script({"PAGE A", "TEXT T", "q", "SKALA.WT W04", "j", "END", "", "PAGE B", "TEXT U", "q", "PAGE C"});
    EXPECT_EQ(resumeMarker(s, 4), "PAGE W04");
    EXPECT_EQ(resumeMarker(s, 8), "PAGE B");
    EXPECT_EQ(resumeMarker(s, 10), std::nullopt);
    // The last line a PAGE line: its empty page ends the questionnaire.
    long long cursor = 0;
    EXPECT_TRUE(read(s, lookupPage(s, "C").start, &cursor).empty());
    EXPECT_EQ(cursor, s.count());
    EXPECT_EQ(resumeMarker(s, cursor), std::nullopt);
}
