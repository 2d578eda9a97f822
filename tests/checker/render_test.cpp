// The page preview: the pictures and the contact sheet the author opens.
#include "content/embedded.h"
#include "tests/support/test_env.h"
#include "tools/script_checker/cli.h"
#include "tools/script_checker/render.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> pictures(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".png")
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// True when some pixel in the bottom rows differs from the white background.
bool inkNearBottom(const QImage& image, int rows) {
    for (int y = std::max(0, image.height() - rows); y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                return true;
    return false;
}

class Render : public ::testing::Test {
protected:
    fbtest::WorkDir cwd; // the program's working folder: must stay empty
    QTemporaryDir tmp;
    fs::path out() const { return fs::path(tmp.path().toStdString()) / "preview"; }
    std::ostringstream sout;
    std::ostringstream serr;

    int run(std::vector<std::string> args) {
        return fb::runScriptChecker(args, &fb::embeddedResources(), sout, serr);
    }
    std::string script(const std::string& bytes) {
        const fs::path p = fs::path(tmp.path().toStdString()) / "changed.txt";
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    void expectWorkDirUntouched() { EXPECT_TRUE(fs::is_empty(cwd.path())) << "a participant file was written"; }
};

} // namespace

TEST_F(Render, EmbeddedScriptGivesEveryShownPageAndASheet) {
    ASSERT_EQ(run({"--render", out().string()}), fb::kCheckClean) << serr.str() << sout.str();
    expectWorkDirUntouched();

    const std::vector<std::string> names = pictures(out());
    ASSERT_EQ(names.size(), 76u);
    EXPECT_EQ(names.front(), "001-Person1.png");
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "013-W04.png"));
    const std::regex pattern("[0-9]{3}-[A-Za-z0-9]+\\.png");
    int tall = 0;
    int viewport = 1 << 30; // the shortest picture: a page that fits the window
    for (const std::string& n : names)
        viewport = std::min(viewport, QImage(QString::fromStdString((out() / n).string())).height());
    for (const std::string& n : names) {
        EXPECT_TRUE(std::regex_match(n, pattern)) << n;
        const QImage image(QString::fromStdString((out() / n).string()));
        ASSERT_FALSE(image.isNull()) << n;
        // The window's width, less the scroll bar on tall pages: every text
        // wraps inside the window, jokes included.
        EXPECT_GT(image.width(), 500) << n;
        EXPECT_LE(image.width(), 571) << n;
        // On a page taller than the window the buttons stand 50 pixels above
        // the content's end: the bottom shows them when the whole scrolled
        // height was saved.
        if (image.height() > viewport) {
            EXPECT_TRUE(inkNearBottom(image, 80)) << n;
        }
        if (image.height() > 1000)
            ++tall;
    }
    EXPECT_GT(tall, 0) << "no page is taller than the window: the scrolled part is missing";

    const std::string index = slurp(out() / "index.html");
    EXPECT_EQ(count(index, "<img src=\""), 76u);
    EXPECT_EQ(index.find("<script"), std::string::npos);
    EXPECT_EQ(index.find("http"), std::string::npos) << "the sheet must work offline";
    EXPECT_NE(index.find("<a class=\"thumb\" href=\"013-W04.png\"><img src=\"013-W04.png\""), std::string::npos);
    EXPECT_NE(index.find("<h2>Seite 13 von 76.</h2>\n<p class=\"name\">W04</p>"), std::string::npos);
    EXPECT_NE(index.find("<h2>Seite 1 von 76.</h2>"), std::string::npos);
    // Items by keyword and name, question texts converted to UTF-8.
    EXPECT_NE(index.find("<td class=\"kw\">TEXT</td><td class=\"nm\">Name</td>"), std::string::npos);
    EXPECT_NE(index.find("<td class=\"kw\">RADIO</td><td class=\"nm\">Geschlecht</td><td>Ihr Geschlecht:</td>"),
              std::string::npos);
    EXPECT_NE(index.find("ausf\xC3\xBCllen"), std::string::npos);
    EXPECT_NE(index.find("<td class=\"kw\">SKALA.WP</td><td class=\"nm\">W43</td><td>bild006.jpg</td>"),
              std::string::npos);
    EXPECT_EQ(index.find("class=\"problems\""), std::string::npos);
}

TEST_F(Render, ChangedScriptWithFindingsAndOldPictures) {
    fs::create_directories(out());
    std::ofstream(out() / "099-Old.png") << "stale";
    std::ofstream(out() / "notes.png") << "the author's";
    std::string longLine;
    for (int i = 0; i < 60; ++i)
        longLine += "Witz ";
    const std::string path = script("PAGE Start\r\n\r\nTEXT Vorname\r\nIhr <Vorname> & Nachname:\r\n\r\n"
                                    "RADIO Wahl\r\nEins oder zwei?\r\neins\r\nzwei\r\nEND\r\n\r\n"
                                    "SKALA.WP W43\r\nbild006.jpg\r\n\r\n"
                                    "SKALA.WT W01\r\n" + longLine + "\r\nEND\r\n\r\n"
                                    "PAGE Zwei/\xC4nderung\r\nverirrter Text\r\n\r\nTEXT Kommentar\r\nNoch etwas?\r\n");
    EXPECT_EQ(run({"--render", out().string(), path}), fb::kCheckFindings) << serr.str();
    expectWorkDirUntouched();
    // The stray line is reported on the console and at the top of the sheet.
    EXPECT_NE(sout.str().find(path + ":"), std::string::npos) << sout.str();

    // The cartoon is read as an item of the page before it, and the pages
    // are numbered without a gap, as in the program.
    EXPECT_EQ(pictures(out()), (std::vector<std::string>{"001-Start.png", "002-W01.png",
                                                         "003-Zwei__nderung.png", "notes.png"}));
    // A joke line longer than the window wraps at the label's width.
    const QImage joke(QString::fromStdString((out() / "002-W01.png").string()));
    ASSERT_FALSE(joke.isNull());
    EXPECT_LE(joke.width(), 571);
    const QImage cartoon(QString::fromStdString((out() / "001-Start.png").string()));
    const QImage plain(QString::fromStdString((out() / "003-Zwei__nderung.png").string()));
    ASSERT_FALSE(cartoon.isNull());
    ASSERT_FALSE(plain.isNull());
    EXPECT_GT(cartoon.height(), plain.height() + 200); // picture and rating block

    const std::string index = slurp(out() / "index.html");
    const std::size_t problems = index.find("class=\"problems\"");
    ASSERT_NE(problems, std::string::npos);
    EXPECT_LT(problems, index.find("class=\"sheet\""));
    EXPECT_NE(index.find("line 20: "), std::string::npos) << index; // "verirrter Text"
    EXPECT_NE(index.find("<h2>Seite 3 von 3.</h2>\n<p class=\"name\">Zwei/\xC3\x84nderung</p>"), std::string::npos);
    EXPECT_NE(index.find("Ihr &lt;Vorname&gt; &amp; Nachname:"), std::string::npos);
    EXPECT_EQ(count(index, "<img src=\""), 3u);
}

TEST_F(Render, BrokenPageIsShownAsTheProgramShowsItAndEndsTheSequence) {
    const std::string path = script("PAGE Eins\r\n\r\nTEXT A\r\nFrage\r\n\r\nPAGE Zwei\r\n\r\n"
                                    "RADIO R\r\nFrage\r\neins\r\n\r\nPAGE Drei\r\n\r\nTEXT C\r\nFrage\r\n");
    EXPECT_EQ(run({"--render", out().string(), path}), fb::kCheckFindings);
    EXPECT_EQ(pictures(out()), (std::vector<std::string>{"001-Eins.png", "002-Zwei.png"}));
    EXPECT_NE(serr.str().find("Seite 2 von 3. Zwei: List index out of bounds"), std::string::npos) << serr.str();
    const std::string index = slurp(out() / "index.html");
    EXPECT_NE(index.find("The program fails on this page: List index out of bounds"), std::string::npos);
}

TEST_F(Render, UsageErrors) {
    EXPECT_EQ(run({"--render"}), fb::kCheckTrouble);
    EXPECT_EQ(run({"--render", out().string(), "a.txt", "b.txt"}), fb::kCheckTrouble);
    EXPECT_EQ(run({"--render", out().string(), (fs::path(tmp.path().toStdString()) / "missing.txt").string()}),
              fb::kCheckTrouble);
    EXPECT_FALSE(fs::exists(out() / "index.html"));
    // A folder that cannot be created (a file stands in its place).
    std::ofstream(out()) << "x";
    EXPECT_EQ(run({"--render", (out() / "sub").string()}), fb::kCheckTrouble);
    expectWorkDirUntouched();
}

TEST(RenderNames, PictureFileNames) {
    EXPECT_EQ(fb::pictureFileName(14, "W04"), "014-W04.png");
    EXPECT_EQ(fb::pictureFileName(7, "../a b"), "007-.._a_b.png");
    EXPECT_EQ(fb::pictureFileName(1234, "x"), "1234-x.png");
}
