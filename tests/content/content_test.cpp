// The embedded content against its catalogue.
#include "content/embedded.h"
#include "engine/jpeg_decoder.h"
#include "engine/resource_loader.h"
#include "engine/script.h"
#include "engine/text_lines.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <set>

using namespace fb;

namespace {

std::string resource(const std::string& file) {
    MemoryStream s;
    loadResourceFile(embeddedResources(), file, s);
    return s.bytes();
}

struct Outline {
    std::vector<std::pair<std::string, int>> pages; // name, page number
    std::map<std::string, int> kinds;
    std::map<std::string, std::size_t> options;   // item name -> option count
    std::vector<std::string> ratingOrder;
    std::vector<std::pair<std::string, std::string>> pictures; // item name, file
};

Outline readOutline(const ScriptLines& lines) {
    Outline o;
    for (long long i = 0; i < lines.count(); ++i) {
        const std::string& l = lines[i];
        if (startsWith(l, "PAGE"))
            o.pages.push_back({l.substr(5), lookupPage(lines, l.substr(5)).pageNumber});
        for (const char* kw : {"RADIO ", "TEXT ", "SINGLE ", "MULTI ", "SKALA.STD ", "SKALA.TAG ", "SKALA.WT ", "SKALA.WP "})
            if (startsWith(l, kw))
                o.kinds[std::string(kw).substr(0, std::string(kw).size() - 1)]++;
        if (startsWith(l, "SKALA.W"))
            o.ratingOrder.push_back(l.substr(9));
    }
    // Every page read by the program's own reader.
    for (const auto& [name, number] : o.pages) {
        long long start = lookupPage(lines, name).start;
        for (;;) {
            long long cursor = readPage(lines, start, [&](const ScriptItem& it) {
                const std::string itemName = it.keywordLine.substr(it.keywordLine.find(' ') + 1);
                o.options[itemName] = it.options.size();
                if (it.kind == ItemKind::SkalaWP)
                    o.pictures.push_back({itemName, it.pictureFile});
            });
            if (cursor >= lines.count() || !startsWith(lines[cursor - 1], "SKALA.W"))
                break;
            start = cursor - 1;
        }
    }
    return o;
}

} // namespace

TEST(EmbeddedScript, CountsAndPageNumbers) {
    const std::string bytes = resource("bogen.txt");
    EXPECT_EQ(bytes.substr(0, 14), "PAGE Person1\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 5), "\r\nEND");
    EXPECT_EQ(bytes.find('\n', 0) - 1, bytes.find('\r', 0)) << "CR LF line ends";
    ScriptLines lines;
    lines.assignText(bytes);
    EXPECT_EQ(lines.count(), 1029);
    EXPECT_EQ(countPages(lines), 76); // the page "Witze" shows W01
    Outline o = readOutline(lines);
    EXPECT_EQ(o.pages.size(), 17u);
    EXPECT_EQ(o.kinds["RADIO"], 49);
    EXPECT_EQ(o.kinds["TEXT"], 8);
    EXPECT_EQ(o.kinds["SINGLE"], 6);
    EXPECT_EQ(o.kinds["MULTI"], 5);
    EXPECT_EQ(o.kinds["SKALA.STD"], 4);
    EXPECT_EQ(o.kinds["SKALA.TAG"], 2);
    EXPECT_EQ(o.kinds["SKALA.WT"], 40);
    EXPECT_EQ(o.kinds["SKALA.WP"], 20);
    const std::vector<std::pair<std::string, int>> pages = {
        {"Person1", 1},  {"Persona1", 2},  {"Person2", 3},   {"Person3", 4},   {"Person4", 5},   {"Person5", 6},
        {"Person6", 7},  {"MornEven1", 8}, {"MornEven2", 9}, {"MornEven3", 10}, {"MornEven4", 11}, {"Witze", 12},
        {"Person7", 72}, {"Person8", 73},  {"Person9", 74},  {"Theorie", 75},  {"Komment", 76}};
    EXPECT_EQ(o.pages, pages);
    EXPECT_EQ(lookupPage(lines, "W04").pageNumber, 13);
    EXPECT_EQ(lookupPage(lines, "W40").pageNumber, 71);
    EXPECT_EQ(o.options["Gesch"], 16u);
    EXPECT_EQ(o.options["LebeLand"], 19u);
    EXPECT_EQ(o.options["WachsLand"], 21u);
    EXPECT_EQ(o.options["WKonLieb"], 13u);
    EXPECT_EQ(o.options["WPreis"], 7u);
    EXPECT_EQ(o.options["WB\xF6se"], 4u) << "WB\xF6se with its single byte";
    const std::vector<std::string> order = {
        "W01", "W04", "W43", "W02", "W41", "W39", "W03", "W50", "W05", "W57", "W06", "W47", "W11", "W07", "W08",
        "W48", "W09", "W10", "W51", "W12", "W15", "W16", "W45", "W17", "W42", "W18", "W19", "W20", "W44", "W13",
        "W21", "W22", "W46", "W23", "W49", "W24", "W59", "W25", "W26", "W14", "W52", "W27", "W58", "W28", "W29",
        "W30", "W31", "W32", "W53", "W54", "W33", "W60", "W34", "W35", "W55", "W36", "W56", "W37", "W38", "W40"};
    EXPECT_EQ(o.ratingOrder, order);
}

TEST(EmbeddedScript, StateOptionsKeepTheirThreeBlanks) {
    ScriptLines lines;
    lines.assignText(resource("bogen.txt"));
    std::vector<std::string> bayern;
    readPage(lines, lookupPage(lines, "Person3").start, [&](const ScriptItem& it) {
        for (const std::string& o : it.options)
            if (startsWith(o, "Bayern"))
                bayern.push_back(o);
    });
    EXPECT_EQ(bayern, (std::vector<std::string>{"Bayern   ", "Bayern   "}));
}

TEST(EmbeddedCartoons, EveryOneNamedOnceWithItsSizeAndCoding) {
    struct Row {
        const char* file;
        int w, h;
        bool progressive, grey;
    };
    const Row table[] = {
        {"bild001.jpg", 450, 346, false, false}, {"bild004.jpg", 441, 545, false, false},
        {"bild006.jpg", 391, 293, false, false}, {"bild007.jpg", 417, 381, false, false},
        {"bild010.jpg", 320, 400, false, false}, {"bild011.jpg", 400, 301, true, false},
        {"bild012.jpg", 451, 385, true, false},  {"bild014.jpg", 399, 246, true, false},
        {"bild015.jpg", 320, 287, true, false},  {"bild018.jpg", 320, 281, true, false},
        {"bild020.jpg", 320, 210, true, false},  {"bild027.jpg", 376, 390, true, false},
        {"bild031.jpg", 505, 430, true, false},  {"bild033.jpg", 447, 308, true, false},
        {"bild044.jpg", 340, 343, true, false},  {"bild051.jpg", 300, 369, false, false},
        {"bild053.jpg", 213, 276, true, false},  {"bild055.jpg", 223, 303, true, true},
        {"bild057.jpg", 295, 459, true, false},  {"bild059.jpg", 303, 592, true, false}};
    ScriptLines lines;
    lines.assignText(resource("bogen.txt"));
    Outline o = readOutline(lines);
    std::vector<std::string> expected;
    for (const Row& r : table)
        expected.push_back(r.file);
    std::sort(o.pictures.begin(), o.pictures.end());
    std::vector<std::string> named;
    for (const auto& p : o.pictures)
        named.push_back(p.second);
    EXPECT_EQ(named, expected) << "named once each, rising in the order of the item names";
    std::size_t jpgs = 0;
    for (const auto& e : embeddedResources().entries())
        jpgs += std::string(e.type) == "JPG";
    EXPECT_EQ(jpgs, 20u);
    for (const Row& r : table) {
        const std::string bytes = resource(r.file);
        const QImage img = decodeJpeg(bytes);
        EXPECT_EQ(img.size(), QSize(r.w, r.h)) << r.file;
        const bool sof2 = bytes.find("\xFF\xC2") != std::string::npos;
        const bool sof0 = bytes.find("\xFF\xC0") != std::string::npos;
        EXPECT_EQ(sof2, r.progressive) << r.file;
        EXPECT_EQ(sof0, !r.progressive) << r.file;
        const QRgb p = img.pixel(r.w / 3, r.h / 3);
        if (r.grey)
            EXPECT_TRUE(img.allGray()) << r.file;
        else
            EXPECT_FALSE(img.allGray()) << r.file << " " << qRed(p);
    }
}

TEST(EmbeddedHelp, LineStructureAndConfiguredAddresses) {
    const std::string h1 = resource("hilfe1.txt"), h2 = resource("hilfe2.txt"), h3 = resource("hilfe3.txt");
    EXPECT_EQ(splitLines(h1).size(), 25u);
    EXPECT_NE(h1.substr(h1.size() - 2), "\r\n");
    EXPECT_EQ(splitLines(h2).size(), 3u);
    EXPECT_EQ(h2.substr(h2.size() - 2), "\r\n");
    EXPECT_EQ(splitLines(h3).size(), 5u);
    EXPECT_NE(h3.substr(h3.size() - 2), "\r\n");
    for (const std::string* t : {&h1, &h2, &h3})
        EXPECT_EQ(t->find('@'), t->find("@localhost")) << "a placeholder was left";
    EXPECT_NE(h3.find("http://localhost:8080/humor/"), std::string::npos);
    EXPECT_NE(h3.find("humor-studie@localhost"), std::string::npos);
    for (const char* head : {"NEUER BOGEN", "WEITERMACHEN", "ABBRECHEN", "FRAGEBOGEN BEENDEN", "ABSENDEN"})
        EXPECT_NE(h1.find(head), std::string::npos) << head;
}

TEST(EmbeddedBitmaps, LogoAndWinkingLogo) {
    const std::string wink = resource("psizwin.bmp");
    EXPECT_EQ(wink.substr(0, 2), "BM");
    EXPECT_EQ(wink.size(), 124856u);
    const ResourceEntry* logo = embeddedResources().find("BMP", "LOGO");
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->size, 43198u);
    const QImage l = QImage::fromData(logo->data, static_cast<int>(logo->size), "BMP");
    EXPECT_EQ(l.size(), QSize(213, 195));
    EXPECT_EQ(QColor(l.pixel(0, 0)), QColor(6, 0, 255));
}
