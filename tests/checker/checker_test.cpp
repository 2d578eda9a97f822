#include "tools/script_checker/checker.h"

#include "content/embedded.h"
#include "platform/resource_store.h"

#include <gtest/gtest.h>

#include <utility>

using namespace fb;

namespace {

using Hit = std::pair<long long, Rule>;

std::vector<Finding> check(std::vector<std::string> lines, const ResourceStore* store = nullptr) {
    CheckOptions options;
    options.resources = store;
    return checkScript(ScriptLines(std::move(lines)), options);
}

std::vector<Hit> hits(const std::vector<Finding>& findings) {
    std::vector<Hit> out;
    for (const Finding& f : findings)
        out.emplace_back(f.line, f.rule);
    return out;
}

std::vector<Hit> hits(std::vector<std::string> lines, const ResourceStore* store = nullptr) {
    return hits(check(std::move(lines), store));
}

std::string all(const std::vector<Finding>& findings) {
    std::string s;
    for (const Finding& f : findings)
        s += std::to_string(f.line) + ": " + f.message + "\n";
    return s;
}

const unsigned char kJpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
const ResourceEntry kEntries[] = {
    {"TXT", "BOGEN", kJpeg, 0},
    {"JPG", "BILD001", kJpeg, sizeof kJpeg},
    {"JPG", "BILD002", kJpeg, sizeof kJpeg},
    {"PNG", "BILD003", kJpeg, sizeof kJpeg},
};
const ResourceStore kStore(kEntries);

// Every item kind, a rating run after a PAGE line and blank separators, as a
// well-formed script has them.
std::vector<std::string> cleanScript() {
    return {
        "PAGE Person1",        // 1
        "",                    //
        "TEXT Name",           //
        "Ihr Name:",           //
        "",                    // 5
        "RADIO Geschlecht",    //
        "Ihr Geschlecht:",     //
        "Bayern   ",           //
        "",                    //
        "END",                 // 10
        "MULTI Hobby",         //
        "Hobbys:",             //
        "Lesen",               //
        "ENDE",                //
        "SINGLE Land",         // 15
        "Land:",               //
        "END",                 //
        "PAGE Zeit",           //
        "SKALA.STD Afst",      //
        "Wann stehen Sie auf?", // 20
        "05",                  //
        "",                    //
        "SKALA.TAG Arbz",      //
        "Wann arbeiten Sie?",  //
        "",                    // 25
        "PAGE Witze",          //
        "",                    //
        "SKALA.WT W01",        //
        "Ein Witz.",           //
        "",                    // 30
        "Ende gut.",           //
        "END",                 //
        "",                    //
        "SKALA.WP W02",        //
        "Bild001.JPG",         // 35
        "",                    //
        "SKALA.WP W03",        //
        "bild002.jpg",         //
        "",                    //
        "PAGE Schluss",        // 40
        "",                    //
        "TEXT Kommentar",      //
        "Noch etwas?",         //
    };
}

} // namespace

TEST(ScriptChecker, CleanScriptsGiveNothing) {
    EXPECT_EQ(all(check(cleanScript(), &kStore)), "");
    EXPECT_EQ(all(check(cleanScript())), "");

    const ResourceStore& embedded = embeddedResources();
    const ResourceEntry* script = embedded.find("TXT", "BOGEN");
    ASSERT_NE(script, nullptr);
    CheckOptions options;
    options.resources = &embedded;
    EXPECT_EQ(all(checkScriptBytes(script->bytes(), options)), "");
}

TEST(ScriptChecker, FirstLineMustBeAPageLine) {
    std::vector<std::string> s = cleanScript();
    s.insert(s.begin(), "");
    EXPECT_EQ(hits(s), (std::vector<Hit>{{1, Rule::FirstLine}}));
    s[0] = "TEXT Vorab";
    EXPECT_EQ(hits(s).front(), (Hit{1, Rule::FirstLine}));
    EXPECT_EQ(hits(std::vector<std::string>{}), (std::vector<Hit>{{0, Rule::FirstLine}}));
}

TEST(ScriptChecker, UnclosedJokeAndListAreReportedOnceAndTheWalkGoesOn) {
    // "END." does not end a joke; the walk goes on at the next keyword line
    // and finds the list that never closes. The reader fails on page A.
    const auto found = hits({"PAGE A", "SKALA.WT W01", "Witz", "END.", "", "PAGE B", "RADIO R",
                             "Frage", "eins", "zwei"});
    EXPECT_EQ(found, (std::vector<Hit>{{1, Rule::ReaderFails},
                                       {2, Rule::UnclosedJoke},
                                       {4, Rule::UnclosedJoke},
                                       {7, Rule::UnclosedList}}));
    const auto f = check({"PAGE A", "MULTI M", "Frage", "x"});
    EXPECT_NE(f.front().message.find("List index out of bounds (4)"), std::string::npos) << all(f);
}

TEST(ScriptChecker, MissingEndClosedByALaterListShowsTheSwallowedLines) {
    const auto found = hits({"PAGE A", "SINGLE S", "Frage", "eins", "", "TEXT T", "Frage?", "",
                             "PAGE B", "RADIO R", "Frage", "x", "END"});
    EXPECT_EQ(found, (std::vector<Hit>{{6, Rule::KeywordInContent},
                                       {9, Rule::KeywordInContent},
                                       {10, Rule::KeywordInContent}}));
}

TEST(ScriptChecker, JokeEndsOnlyAtAnExactEnd) {
    EXPECT_EQ(hits({"PAGE A", "SKALA.WT W01", "Witz", "ENDE", "END", "", "PAGE B", "TEXT T", "F"}),
              (std::vector<Hit>{{4, Rule::UnclosedJoke}}));
    // The first joke line is always text, even "END".
    EXPECT_EQ(hits({"PAGE A", "SKALA.WT W01", "END", "", "PAGE B", "Text", "END", "", "PAGE C",
                    "TEXT T", "F"}),
              (std::vector<Hit>{{3, Rule::UnclosedJoke}, {5, Rule::KeywordInContent}}));
}

TEST(ScriptChecker, ContentLinesMustNotBeginWithAKeyword) {
    // Question lines of TEXT, SKALA.TAG and SKALA.STD are read again; option,
    // question and joke lines count as page starts when they begin so.
    EXPECT_EQ(hits({"PAGE A", "TEXT T", "RADIOaktiv?", "", "SKALA.TAG G", "TEXTe lesen", "",
                    "SKALA.STD S", "Frage", "PAGE", "", "RADIO R", "PAGE oder Seite?", "x", "END",
                    "", "SKALA.WT W01", "SKALA.WT ist ein Witz", "END", "", "PAGE B", "TEXT Z", "F"}),
              (std::vector<Hit>{{3, Rule::KeywordInContent},
                                {6, Rule::KeywordInContent},
                                {10, Rule::KeywordInContent},
                                {10, Rule::HourLine},
                                {13, Rule::KeywordInContent},
                                {18, Rule::KeywordInContent}}));
}

TEST(ScriptChecker, RatingItemNeedsSeparatorAndPageStart) {
    const std::vector<std::string> head = {"PAGE A", "SKALA.WT W01", "Witz", "END"};
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> s = head;
        s.insert(s.end(), tail.begin(), tail.end());
        return hits(s);
    };
    EXPECT_EQ(with({}), (std::vector<Hit>{{1, Rule::ReaderFails}, {2, Rule::RatingTail}}));
    EXPECT_EQ(with({""}), (std::vector<Hit>{{1, Rule::ReaderFails}, {2, Rule::RatingTail}}));
    EXPECT_EQ(with({"", "TEXT T", "Frage", "", "PAGE B", "TEXT Z", "F"}),
              (std::vector<Hit>{{6, Rule::RatingTail}, {7, Rule::StrayText}}));
    // No blank line: the page start is skipped as the separator.
    EXPECT_EQ(with({"PAGE B", "", "TEXT T", "F"}),
              (std::vector<Hit>{{5, Rule::RatingTail}, {6, Rule::RatingTail}}));
    EXPECT_EQ(with({"", "SKALA.WP W02", "bild001.jpg", "", "PAGE B", "TEXT Z", "F"}), (std::vector<Hit>{}));
    EXPECT_EQ(hits({"PAGE A", "SKALA.WP W02", "bild001.jpg", "", "END"}),
              (std::vector<Hit>{{5, Rule::RatingTail}}));
    EXPECT_EQ(hits({"PAGE A", "SKALA.WP W02", "bild001.jpg", "Text", "PAGE B", "TEXT Z", "F"}),
              (std::vector<Hit>{{4, Rule::StrayText}}));
}

TEST(ScriptChecker, HourLineMustBeADecimalHour) {
    auto hour = [](const std::string& h) {
        return hits({"PAGE A", "SKALA.STD Afst", "Wann?", h, "", "PAGE B", "TEXT T", "F"});
    };
    EXPECT_EQ(hour("05"), (std::vector<Hit>{}));
    EXPECT_EQ(hour("0"), (std::vector<Hit>{}));
    EXPECT_EQ(hour("5 Uhr"), (std::vector<Hit>{{1, Rule::ReaderFails}, {4, Rule::HourLine}}));
    EXPECT_EQ(hour(""), (std::vector<Hit>{{1, Rule::ReaderFails}, {4, Rule::HourLine}}));
    EXPECT_EQ(hour("25"), (std::vector<Hit>{{4, Rule::HourLine}}));
    EXPECT_EQ(hour("-1"), (std::vector<Hit>{{4, Rule::HourLine}}));
    // At the ends of the integer range the page is built, but no hour shows.
    EXPECT_EQ(hour("2147483647"), (std::vector<Hit>{{4, Rule::HourLine}}));
    EXPECT_EQ(hour("-2147483648"), (std::vector<Hit>{{4, Rule::HourLine}}));
    EXPECT_NE(all(check({"PAGE A", "SKALA.STD Afst", "Wann?", "2147483647"})).find("labelled from 2147483623"),
              std::string::npos);
    EXPECT_EQ(hour("2147483648"), (std::vector<Hit>{{1, Rule::ReaderFails}, {4, Rule::HourLine}}));
    const auto f = check({"PAGE A", "SKALA.STD Afst", "Wann?", "f\xFCnf"});
    EXPECT_NE(all(f).find("'fünf' is not a valid integer value"), std::string::npos) << all(f);
    EXPECT_EQ(hits({"PAGE A", "SKALA.STD Afst", "Wann?"}),
              (std::vector<Hit>{{1, Rule::ReaderFails}, {2, Rule::MissingLine}}));
}

TEST(ScriptChecker, PageNamesMustBeFoundOnlyAtTheirPage) {
    // A second PAGE line of the same name, and a TEXT item that the lookup of
    // a page also finds (from the 6th character).
    EXPECT_EQ(hits({"PAGE A", "TEXT T", "F", "", "PAGE B", "TEXT U", "F", "", "PAGE A", "TEXT V",
                    "F", "", "PAGE Name", "TEXT Name", "F"}),
              (std::vector<Hit>{{9, Rule::DuplicatePage}, {14, Rule::DuplicatePage}}));
    // Three pages of one name: each later one is reported once.
    EXPECT_EQ(hits({"PAGE A", "TEXT T", "F", "PAGE A", "TEXT U", "F", "PAGE A", "TEXT V", "F"}),
              (std::vector<Hit>{{4, Rule::DuplicatePage}, {7, Rule::DuplicatePage}}));
    // From the 10th character: an option line whose 10th character begins
    // the name of a rating page.
    EXPECT_EQ(hits({"PAGE A", "RADIO R", "F", "1234 xxxxW01", "END", "", "SKALA.WT W01", "Witz",
                    "END", "", "PAGE B", "TEXT Z", "F"}),
              (std::vector<Hit>{{4, Rule::DuplicatePage}}));
}

TEST(ScriptChecker, AnswerNamesMustBeUnique) {
    // RADIO and TEXT both record "Alter"; the rating names lose their first
    // character, so W01 and X01 both record 01.w, 01.a and 01.k.
    EXPECT_EQ(hits({"PAGE A", "RADIO Alter", "F", "x", "END", "TEXT Alter", "F", "", "PAGE B",
                    "SKALA.WT W01", "Witz", "END", "", "SKALA.WT X01", "Witz", "END", "", "PAGE C", "TEXT Z", "F"}),
              (std::vector<Hit>{{6, Rule::DuplicateAnswer}, {14, Rule::DuplicateAnswer}}));
}

TEST(ScriptChecker, PicturesMustBeEmbeddedJpgResourcesAndAllBeUsed) {
    const std::vector<std::string> s = {"PAGE A",       "SKALA.WP W01", "BILD001.jpg", "",
                                        "SKALA.WP W02", "bild009.jpg",  "",            "SKALA.WP W03",
                                        "bild003.png",  "",             "PAGE B",
                                        "TEXT Z",       "F"};
    const auto f = check(s, &kStore);
    EXPECT_EQ(hits(f), (std::vector<Hit>{{6, Rule::MissingPicture},
                                         {9, Rule::MissingPicture},
                                         {0, Rule::UnusedPicture}}));
    EXPECT_NE(f.back().message.find("BILD002"), std::string::npos);
    EXPECT_EQ(hits(s), (std::vector<Hit>{}));
}

TEST(ScriptChecker, KeywordLinesAndStrayText) {
    EXPECT_EQ(hits({"PAGE A", "TEXTName", "F", "", "Radio Klein", "F", "x", "", "TEXT  Zwei", "F",
                    "", "PAGE", "SKALA.WX W01", "bild.jpg", "", "PAGE C", "TEXT Z", "F"}),
              (std::vector<Hit>{{2, Rule::KeywordLine},
                                {5, Rule::StrayText},
                                {6, Rule::StrayText},
                                {7, Rule::StrayText},
                                {9, Rule::KeywordLine},
                                {12, Rule::KeywordLine},
                                {13, Rule::KeywordLine}}));
}

TEST(ScriptChecker, ScriptEndingWithAPageLineEndsOnAnEmptyPage) {
    const auto f = check({"PAGE A", "TEXT T", "F", "", "PAGE Ende"});
    EXPECT_EQ(hits(f), (std::vector<Hit>{{5, Rule::LastLine}}));
    EXPECT_NE(f.back().message.find("empty page"), std::string::npos) << all(f);
}

TEST(ScriptChecker, LinesAreNumberedAsTheProgramSplitsThem) {
    // CR, LF and CR LF each end a line; a final line end adds none; a NUL
    // ends the text, so the broken list behind it is not seen.
    CheckOptions options;
    const auto f = checkScriptBytes("PAGE A\rTEXT T\nF\r\n\r\nRADIO R\r\nF\r\nx\r\n", options);
    EXPECT_EQ(hits(f), (std::vector<Hit>{{1, Rule::ReaderFails}, {5, Rule::UnclosedList}}));
    const std::string nul = std::string("PAGE A\r\nTEXT T\r\nF") + '\0' + "\r\nRADIO R\r\nF";
    EXPECT_EQ(hits(checkScriptBytes(nul, options)), (std::vector<Hit>{}));
}

TEST(ScriptChecker, MultiListsMustFitTheirRecordedValue) {
    auto multi = [](const std::string& keyword, int entries) {
        std::vector<std::string> lines{"PAGE A", keyword + " M", "Was?"};
        for (int i = 0; i < entries; ++i)
            lines.push_back("Eintrag " + std::to_string(i + 1));
        lines.push_back("END");
        return check(lines);
    };
    EXPECT_EQ(hits(multi("MULTI", 64)), (std::vector<Hit>{}));
    EXPECT_EQ(hits(multi("MULTI", 65)), (std::vector<Hit>{{2, Rule::LongChoiceList}}));
    EXPECT_NE(all(multi("MULTI", 70)).find("has 70 entries"), std::string::npos) << all(multi("MULTI", 70));
    // A single choice records the entry's index, which has no such bound.
    EXPECT_EQ(hits(multi("SINGLE", 70)), (std::vector<Hit>{}));
    EXPECT_EQ(hits(multi("RADIO", 70)), (std::vector<Hit>{}));
}
