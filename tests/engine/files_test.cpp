#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fb;
using fbtest::readBytes;
using fbtest::writeBytes;

TEST(LineFiles, WrittenWithCrLfAndReadBack) {
    fbtest::WorkDir dir;
    writeLineFile("bogen.prt", {"recipient=a&subject=Bogendaten", "Name=Eva ", "PAGE Persona1"});
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), "recipient=a&subject=Bogendaten\r\nName=Eva \r\nPAGE Persona1\r\n");
    EXPECT_EQ(readLineFile("bogen.prt").size(), 3u);
    writeBytes(dir.file("x"), std::string("a\rb\nc\0d", 7));
    EXPECT_EQ(readLineFile("x"), (std::vector<std::string>{"a", "b", "c"}));
    writeBytes(dir.file("empty"), "");
    EXPECT_TRUE(readLineFile("empty").empty());
    EXPECT_THROW(readLineFile("missing"), EFileError);
    deleteFile("missing"); // no error
}

TEST(LineFiles, AFailingWriteKeepsTheOldFileWhole) {
    fbtest::WorkDir dir;
    writeLineFile("bogen.prt", {"old"});
    // The disk fills up after a few bytes.
    std::size_t budget = 5;
    setWriteCall([&](int fd, const char* data, std::size_t size) -> long {
        if (budget == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min(size, budget);
        budget -= n;
        return ::write(fd, data, n);
    });
    try {
        writeLineFile("bogen.prt", {"a much longer new content"});
        FAIL() << "the write did not fail";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("\"bogen.prt\""), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No space"), std::string::npos);
    }
    setWriteCall(nullptr);
    EXPECT_EQ(readBytes(dir.file("bogen.prt")), "old\r\n");
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files).size(), 1) << "temporary left";
}

TEST(LineFiles, ReadOnlyDirectoryIsReported) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories";
    fbtest::WorkDir dir;
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_THROW(writeLineFile("bogen.prt", {"x"}), EFileError);
    ::chmod(dir.path().c_str(), 0755);
}

TEST(AnswerFiles, NumberingFillsGapsAndNeverOverwrites) {
    fbtest::WorkDir dir;
    EXPECT_EQ(answerFileName(0), "00000000.bgn");
    EXPECT_EQ(answerFileName(12), "00000012.bgn");
    EXPECT_EQ(writeAnswerFile({"recipient=a&subject=Bogendaten", "Name=x", "Geschlecht=2"}), 0);
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), "recipient=a&subject=Bogendaten&Name=x&Geschlecht=2\r\n");
    writeBytes(dir.file("00000002.bgn"), "other\r\n");
    EXPECT_EQ(writeAnswerFile({"b"}), 1);
    EXPECT_EQ(writeAnswerFile({"c"}), 3);
    EXPECT_EQ(readBytes(dir.file("00000002.bgn")), "other\r\n");
    // A claimed name is never replaced, even when it appears between the
    // check and the write.
    EXPECT_FALSE(createLineFileExclusive("00000002.bgn", {"x"}));
    EXPECT_EQ(readBytes(dir.file("00000002.bgn")), "other\r\n");
}
