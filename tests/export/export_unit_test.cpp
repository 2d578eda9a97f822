// The split of answer lines, the file checks and the SPSS names, on small
// scripts whose every answer name is known.
#include "content/embedded.h"
#include "engine/text_lines.h"
#include "tools/export/answer_file.h"
#include "tools/export/catalogue.h"
#include "tools/export/columns.h"
#include "tools/export/encoding.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace fb;
using namespace fb::exporter;

namespace {

const char* const kScript =
    "PAGE P1\r\n"
    "TEXT A\r\nFrage A\r\n"
    "TEXT B\r\nFrage B\r\n"
    "RADIO R\r\nFrage R\r\neins\r\nzwei\r\nEND\r\n"
    "PAGE Witze\r\n"
    "SKALA.WT W01\r\nWitz eins\r\nzweite Zeile\r\nEND\r\n\r\n"
    "SKALA.WP W02\r\nbild001.jpg\r\n\r\n"
    "PAGE P3\r\n"
    "MULTI M\r\nFrage M\r\na\r\nb\r\nc\r\nEND\r\n"
    "TEXT Z\r\nFrage Z";

const std::string kHead = "recipient=r@x&subject=Bogendaten";

Catalogue small() { return buildCatalogue(ScriptLines(splitLines(kScript))); }

struct Read {
    std::string error;
    Answers a;
};

Read read(const Catalogue& cat, const std::string& bytes) {
    Read r;
    r.error = readAnswerFile(cat, bytes, r.a);
    return r;
}

std::string value(const Catalogue& cat, const Read& r, const std::string& name) {
    for (std::size_t i = 0; i < cat.variables.size(); ++i)
        if (cat.variables[i].name == name) {
            if (r.a.states[i] == State::NotRecorded)
                return "<not recorded>";
            if (r.a.states[i] == State::Absent)
                return "<absent>";
            return std::string(r.a.values[i]);
        }
    return "<no such name>";
}

const std::string kRatings = "&01.w=3&01.a=1&02.w=7&02.a=2&02.k=1";

} // namespace

TEST(Catalogue, NamesInRecordingOrderWithPagesAsTheCaptionCounts) {
    const Catalogue cat = small();
    std::vector<std::string> names;
    for (const Variable& v : cat.variables)
        names.push_back(v.name + "@" + cat.pages[v.page].name + "#" + std::to_string(cat.pages[v.page].number));
    EXPECT_EQ(names, (std::vector<std::string>{"A@P1#1", "B@P1#1", "R@P1#1", "01.w@Witze#2", "01.a@Witze#2",
                                               "01.k@Witze#2", "02.w@W02#3", "02.a@W02#3", "02.k@W02#3",
                                               "M@P3#4", "Z@P3#4"}));
    EXPECT_EQ(cat.variables[3].question, "Witz eins");
    EXPECT_EQ(cat.variables[6].question, "bild001.jpg");
    EXPECT_EQ(cat.variables[9].maxValue, 7u);
    EXPECT_TRUE(cat.variables[5].optional);
}

TEST(Catalogue, EmbeddedQuestionnaire) {
    const ResourceEntry* e = embeddedResources().find("TXT", "BOGEN");
    ASSERT_NE(e, nullptr);
    const Catalogue cat = buildCatalogue(ScriptLines(splitLines(e->bytes())));
    EXPECT_EQ(cat.pages.size(), 76u);
    EXPECT_EQ(cat.variables.size(), 254u); // 74 items and 60 ratings of three rows
    EXPECT_EQ(cat.variables.front().name, "Name");
    EXPECT_EQ(cat.variables.back().name, "WPreis");
    for (const Variable& v : cat.variables) {
        if (v.name == "Btg") {
            EXPECT_EQ(v.firstHour, 20);
        }
    }
}

TEST(Split, AmpersandStartsAFieldOnlyBeforeANameAllowedNext) {
    const Catalogue cat = small();
    // After A only B may follow, so "&R=" belongs to A's text; after the last
    // TEXT nothing may follow, so Z keeps "&Z=" too.
    const Read r = read(cat, kHead + "&A=x&R=1&B&B=y = z&R=2" + kRatings + "&M=5&Z=a&Z=b&M=1\r\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(value(cat, r, "A"), "x&R=1&B");
    EXPECT_EQ(value(cat, r, "B"), "y = z");
    EXPECT_EQ(value(cat, r, "R"), "2");
    EXPECT_EQ(value(cat, r, "01.k"), "<absent>");
    EXPECT_EQ(value(cat, r, "02.k"), "1");
    EXPECT_EQ(value(cat, r, "Z"), "a&Z=b&M=1");
    EXPECT_EQ(std::string(r.a.recipient), "r@x");
    EXPECT_FALSE(r.a.sentMark);
    EXPECT_TRUE(r.a.notes.empty());
}

TEST(Split, ATextHoldingTheNextNameTakesTheSplitThatReadsThrough) {
    const Catalogue cat = small();
    const Read r = read(cat, kHead + "&A=a&B=b&R=1&B=c&R=2" + kRatings + "&M=0&Z=.\r\nDaten erfolgreich gesendet.\r\n");
    ASSERT_EQ(r.error, "");
    // The first split of A leaves B to read through to the last "&R=".
    EXPECT_EQ(value(cat, r, "A"), "a");
    EXPECT_EQ(value(cat, r, "B"), "b&R=1&B=c");
    EXPECT_EQ(value(cat, r, "R"), "2");
    EXPECT_TRUE(r.a.sentMark);

    // Many look-alikes must not make the search explode.
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "&B=&R=1";
    const Read many = read(cat, kHead + "&A=" + text + "&B=x&R=1" + kRatings + "&M=0&Z=.");
    ASSERT_EQ(many.error, "");
    EXPECT_EQ(value(cat, many, "A"), "");
    EXPECT_EQ(value(cat, many, "R"), "1");
}

TEST(Split, ATextAtAPageEndDoesNotSwallowABrokenNextPage) {
    const Catalogue cat = buildCatalogue(ScriptLines(splitLines(
        "PAGE P1\r\nTEXT A\r\nq\r\nPAGE P2\r\nRADIO R\r\nq\r\nx\r\nEND\r\nTEXT Z\r\nq")));
    EXPECT_EQ(read(cat, kHead + "&A=a&R=x&Z=z").error, "value \"x\" of \"R\" at position 40 is not a number");
    EXPECT_EQ(read(cat, kHead + "&A=a&Rx=1&Z=z").error,
              "field \"Rx\" at position 38 is not allowed there; expected \"R\"");
    const Read ok = read(cat, kHead + "&A=a&Rx=1");
    EXPECT_EQ(ok.error, "");
    EXPECT_EQ(value(cat, ok, "A"), "a&Rx=1");
}

TEST(Split, AnUnknownFieldEndingATextIsNeverSwallowed) {
    const Catalogue cat = small();
    const std::string rest = "&R=1" + kRatings + "&M=0&Z=z";
    EXPECT_EQ(read(cat, kHead + "&A=a&B=b&Alter=33&Beruf=x y" + rest).error,
              "the text answer \"B\" ends in \"&Beruf=x y\" at position 50: \"Beruf\" is no answer name of the "
              "questionnaire script (an answer file of another version of the script?)");
    // A name the script knows, or no name at all, is the participant's text.
    EXPECT_EQ(read(cat, kHead + "&A=a&B=b&R=2 & 50%=x" + rest).error, "");
    // The line's last text may hold it: kept, with a note.
    const Read end = read(cat, kHead + "&A=a&B=b" + rest + "&Neu=5");
    ASSERT_EQ(end.error, "");
    EXPECT_EQ(value(cat, end, "Z"), "z&Neu=5");
    ASSERT_EQ(end.a.notes.size(), 1u);
    EXPECT_NE(end.a.notes[0].find("\"Neu\" is no answer name"), std::string::npos);
}

TEST(Split, TimeLinearInTheNumberOfAmpersands) {
    const Catalogue cat = small();
    for (int n : {1000, 20000}) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += "&B=x&R=1";
        const std::string line = kHead + "&A=a" + text + "&B=b&R=1" + kRatings + "&M=9&Z=z";
        const Read r = read(cat, line);
        EXPECT_NE(r.error.find("value \"9\" of \"M\""), std::string::npos) << r.error;
        EXPECT_LE(r.a.steps, 4u * static_cast<std::size_t>(std::count(line.begin(), line.end(), '&')));
    }
}

// A label with blanks is cut after a word (checked on the real labels in
// PSPP); one without is cut between characters, never inside one.
TEST(Labels, CutWithoutABlankBetweenCharacters) {
    std::string umlauts;
    for (int i = 0; i < 200; ++i)
        umlauts += "\xC3\xA4";
    const std::string cut = cutLabel(umlauts, 256);
    EXPECT_EQ(cut, umlauts.substr(0, 252) + "\xE2\x80\xA6");
    EXPECT_EQ(cutLabel("kurz", 256), "kurz");
}

TEST(Split, PagesMissingAtTheEndStayUnrecorded) {
    const Catalogue cat = small();
    const Read r = read(cat, kHead + "&A=a&B=b&R=1&01.w=3&01.a=1");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(value(cat, r, "01.k"), "<absent>");
    EXPECT_EQ(value(cat, r, "02.w"), "<not recorded>");
    EXPECT_EQ(value(cat, r, "02.k"), "<not recorded>");
    ASSERT_EQ(r.a.notes.size(), 1u);
    EXPECT_NE(r.a.notes[0].find("after page Witze"), std::string::npos);
}

TEST(Split, BadLinesNameTheReasonAndThePosition) {
    const Catalogue cat = small();
    const std::string good = "&A=a&B=b&R=1" + kRatings + "&M=7&Z=z";
    struct Case {
        std::string bytes;
        std::string reason;
    } cases[] = {
        {"", "defective: the file holds no line"},
        {"\r\n", "does not start with \"recipient=\""}, // one empty line
        {kHead + good + "\r\nDaten erfolgreich gesendet.\r\nx\r\n", "defective: the file holds 3 lines"},
        {"subject=Bogendaten" + good, "does not start with \"recipient=\""},
        {"recipient=r" + good, "no \"&subject=\" field"},
        {"recipient=r&subject=Andere" + good, "the subject at position 21 is not \"Bogendaten\""},
        {kHead, "no answers after the header"},
        {kHead + "&B=b&A=a", "field \"B\" at position 34 is not allowed there; expected \"A\""},
        {kHead + "&A=a&B=b&R=1&01.a=1", "field \"01.a\" at position 46 is not allowed there; expected \"01.w\""},
        {kHead + "&A=a&B=b&R=1&01.w=3&01.a=1&01.k=1&01.k=1",
         "field \"01.k\" at position 67 is not allowed there; expected \"02.w\""},
        {kHead + "&A=a&B=b&R=x", "value \"x\" of \"R\" at position 44 is not a number"},
        {kHead + "&A=a&B=b&R=", "the value of \"R\" at position 44 is missing"},
        {kHead + "&A=a&B=b&R", "the value of \"R\" at position 42 is missing (the line ends after the name)"},
        {kHead + "&A=a&B=b&R=-1", "is not a number"},
        {kHead + "&A=a&B=b&R=3", "value \"3\" of \"R\" at position 44 is outside 1..2"},
        {kHead + "&A=a&B=b&R=0", "outside 1..2"},
        {kHead + "&A=a&B=b&R=1&01.w=8", "outside 1..7"},
        {kHead + "&A=a&B=b&R=1&01.w=3&01.a=1&01.k=2", "outside 1..1"},
        {kHead + "&A=a&B=b&R=1" + kRatings + "&M=8&Z=z", "outside 0..7"},
        {kHead + "&A=a&B=b&R=99999999999999999999999", "is not a number"},
        {kHead + "&A=a&B=b", "the line ends inside page P1: the answer \"R\" is missing"},
        {kHead + "&A=a&B=b&R=1&01.w=3", "ends inside page Witze: the answer \"01.a\" is missing"},
        {kHead + std::string("&A=a\0", 5) + good, "NUL byte at byte 37"},
        {kHead + "&A=a\x81", "byte 0x81 at byte 37 is undefined"},
        {kHead + "&A=\xC3\xB6" + good.substr(4), "the file is UTF-8 encoded"},
        {kHead + "&A=\x1b[0m" + good.substr(4), "control character 0x1B at byte 36"},
    };
    for (const Case& c : cases) {
        const Read r = read(cat, c.bytes);
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.bytes << "\n  gave: " << r.error;
    }
    // The same texts in Windows-1252, a tab and a lone LF are fine.
    const Read ok = read(cat, kHead + "&A=\xF6\t" + good.substr(4) + "\n");
    EXPECT_EQ(ok.error, "");
    EXPECT_EQ(value(cat, ok, "A"), "\xF6\t");
}

TEST(Split, ASecondLineOtherThanTheSentMarkIsANote) {
    const Catalogue cat = small();
    const Read r = read(cat, kHead + "&A=a&B=b&R=1" + kRatings + "&M=0&Z=z\r\n\r\n");
    ASSERT_EQ(r.error, "");
    EXPECT_FALSE(r.a.sentMark);
    ASSERT_EQ(r.a.notes.size(), 1u);
}

TEST(SpssNames, ValidAndUniqueWithoutRegardToCase) {
    const Catalogue cat = buildCatalogue(ScriptLines(splitLines(
        "PAGE P\r\nTEXT a.b\r\nq\r\nTEXT A_B\r\nq\r\nTEXT 9x\r\nq\r\nTEXT TO\r\nq\r\nTEXT gesendet\r\nq\r\n"
        "TEXT x y-z\r\nq\r\nTEXT \xC4rger\r\nq\r\nTEXT " + std::string(70, 'n') + "\r\nq\r\nTEXT " +
        std::string(70, 'n') + "\r\nq\r\nRADIO .\r\nq\r\nEND")));
    std::vector<Column> cols = buildColumns(cat, ExportOptions{});
    assignSpssNames(cat, cols);
    std::vector<std::string> names;
    for (const Column& c : cols)
        names.push_back(c.spssName);
    EXPECT_EQ(names, (std::vector<std::string>{"datei", "gesendet", "recipient", "a_b", "A_B_2", "V9x", "VTO",
                                               "gesendet_2", "x_y_z", "\xC3\x84rger", std::string(64, 'n'),
                                               std::string(62, 'n') + "_2", "V_"}));
}

TEST(Encoding, Cp1252ToUtf8) {
    EXPECT_EQ(toUtf8("WB\xF6se \x80 \x93x\x94 \x81"), "WB\xC3\xB6se \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xC2\x81");
    EXPECT_TRUE(isValidUtf8("a\xC3\xB6"));
    EXPECT_FALSE(isValidUtf8("a\xF6s"));
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(isValidUtf8("\xC3"));
    EXPECT_EQ(cutUtf8("a\xC3\xB6", 2), "a");
}

// Damaged lines of the embedded questionnaire (bytes changed, removed,
// doubled): each is either refused with a reason or read into values that
// lie inside the line, and a refused line never reads as a good one.
TEST(Split, DamagedLinesAreRefusedOrReadConsistently) {
    const ResourceEntry* e = embeddedResources().find("TXT", "BOGEN");
    ASSERT_NE(e, nullptr);
    const Catalogue cat = buildCatalogue(ScriptLines(splitLines(e->bytes())));
    std::string line = kHead;
    for (const Variable& v : cat.variables) {
        if (v.optional)
            continue;
        line += "&" + v.name + "=" + (v.numeric ? std::to_string(v.minValue) : "Text & mehr = " + v.name);
    }
    ASSERT_EQ(read(cat, line).error, "");
    unsigned seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFF; };
    const char pieces[] = {'&', '=', '1', 'a', '\xF6', ' '};
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bad = line;
        for (int k = 0, n = 1 + static_cast<int>(next() % 3); k < n; ++k) {
            const std::size_t at = kHead.size() + next() % (bad.size() - kHead.size());
            switch (next() % 3) {
            case 0: bad[at] = pieces[next() % sizeof pieces]; break;
            case 1: bad.erase(at, 1 + next() % 4); break;
            default: bad.insert(at, bad.substr(at, 1 + next() % 8)); break;
            }
        }
        Answers a;
        const std::string error = readAnswerFile(cat, bad, a);
        if (!error.empty()) {
            ++refused;
            continue;
        }
        ASSERT_EQ(a.values.size(), cat.variables.size());
        for (std::size_t i = 0; i < a.values.size(); ++i) {
            if (a.states[i] != State::Present)
                continue;
            ASSERT_GE(a.values[i].data(), a.line.data());
            ASSERT_LE(a.values[i].data() + a.values[i].size(), a.line.data() + a.line.size());
        }
    }
    EXPECT_GT(refused, 1000);
}
