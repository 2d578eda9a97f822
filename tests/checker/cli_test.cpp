#include "tools/script_checker/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace fb;
namespace fs = std::filesystem;

namespace {

const unsigned char kJpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
const ResourceEntry kEntries[] = {{"JPG", "BILD001", kJpeg, sizeof kJpeg},
                                  {"JPG", "BILD002", kJpeg, sizeof kJpeg}};
const ResourceStore kStore(kEntries);

class CheckerCli : public ::testing::Test {
protected:
    fs::path dir;
    std::ostringstream out;
    std::ostringstream err;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("fb-checker-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

    int run(std::vector<std::string> args) { return runScriptChecker(args, &kStore, out, err); }
};

const std::string kClean = "PAGE A\r\n\r\nSKALA.WP W01\r\nbild001.jpg\r\n\r\n"
                           "SKALA.WP W02\r\nbild002.jpg\r\n\r\nPAGE B\r\n\r\nTEXT T\r\nFrage";

} // namespace

TEST_F(CheckerCli, CleanScriptExitsZeroAndPrintsNothing) {
    EXPECT_EQ(run({write("ok.txt", kClean)}), kCheckClean);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CheckerCli, FindingsArePrintedWithFileAndLine) {
    const std::string bad = write("bad.txt", "PAGE A\r\nRADIO R\r\nFrage\r\neins\r\n");
    EXPECT_EQ(run({bad}), kCheckFindings);
    const std::string text = out.str();
    EXPECT_NE(text.find(bad + ":2: option list of \"RADIO R\" is never closed"), std::string::npos)
        << text;
    // Whole-script findings carry line 0; the used pictures are missing here.
    EXPECT_NE(text.find(bad + ":0: JPG resource BILD001"), std::string::npos) << text;
}

TEST_F(CheckerCli, NoResourcesSkipsThePictureRules) {
    const std::string s = write("pics.txt", "PAGE A\r\n\r\nSKALA.WP W01\r\nbild009.jpg\r\n\r\n"
                                            "PAGE B\r\nTEXT T\r\nF");
    EXPECT_EQ(run({s}), kCheckFindings);
    out.str("");
    EXPECT_EQ(run({"--no-resources", s}), kCheckClean);
    EXPECT_EQ(out.str(), "");
}

TEST_F(CheckerCli, UsageAndReadErrorsExitTwo) {
    EXPECT_EQ(run({}), kCheckTrouble);
    EXPECT_NE(err.str().find("usage: fragebogen-check-script"), std::string::npos);
    EXPECT_EQ(run({"--strict", write("ok.txt", kClean)}), kCheckTrouble);
    err.str("");
    // An unreadable file still lets the others be checked.
    const std::string bad = write("bad.txt", "TEXT T\r\nF");
    EXPECT_EQ(run({(dir / "missing.txt").string(), bad, dir.string()}), kCheckTrouble);
    EXPECT_NE(err.str().find("missing.txt: cannot read"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(dir.string() + ": cannot read"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find(bad + ":1: "), std::string::npos) << out.str();
}

TEST_F(CheckerCli, DoubleDashEndsTheOptions) {
    write("-x.txt", kClean);
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(run({"--", "-x.txt"}), kCheckClean) << err.str();
    EXPECT_EQ(run({"-x.txt"}), kCheckTrouble);
    fs::current_path(before);
}
