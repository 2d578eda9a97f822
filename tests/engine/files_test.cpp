#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#endif
#include <unistd.h> // write(); MinGW has it too

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

#ifndef _WIN32 // Windows: windows_files_test.cpp
namespace {
// Root writes into a directory whatever its mode says, so as root the
// directory is made read-only by a read-only bind mount onto itself, in a
// private mount namespace of a child process (the test process has threads,
// and a mount namespace can only be left by a single-threaded one).
// Returns the child's outcome, or the reason it could not be set up.
std::string writeIntoReadOnlyMount(const std::string& path) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0)
        return std::string("setup: pipe: ") + std::strerror(errno);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFd[0]);
        auto say = [&](const std::string& text) {
            [[maybe_unused]] const auto n = ::write(pipeFd[1], text.data(), text.size());
            ::_exit(0);
        };
        const char* p = path.c_str();
        if (::unshare(CLONE_NEWNS) != 0)
            say(std::string("setup: unshare(CLONE_NEWNS): ") + std::strerror(errno));
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(p, p, nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, p, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            say(std::string("setup: read-only bind mount: ") + std::strerror(errno));
        // The old working directory lies under the mount; enter the mount.
        if (::chdir(p) != 0)
            say(std::string("setup: chdir: ") + std::strerror(errno));
        try {
            writeLineFile("bogen.prt", {"x"});
            say(::access("bogen.prt", F_OK) == 0 ? "written" : "no error, no file");
        } catch (const EFileError&) {
            say("reported");
        } catch (...) {
            say("other error");
        }
        ::_exit(0);
    }
    ::close(pipeFd[1]);
    if (pid < 0) {
        ::close(pipeFd[0]);
        return std::string("setup: fork: ") + std::strerror(errno);
    }
    std::string out;
    char buf[256];
    for (long n; (n = ::read(pipeFd[0], buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out.empty() ? "child ended without an answer" : out;
}
} // namespace

TEST(LineFiles, ReadOnlyDirectoryIsReported) {
    fbtest::WorkDir dir;
    if (::geteuid() == 0) {
        const std::string outcome = writeIntoReadOnlyMount(dir.path());
        if (outcome.starts_with("setup: "))
            GTEST_SKIP() << "root writes into a directory whatever its mode, and no read-only mount could be made "
                            "in a private mount namespace (" << outcome.substr(7) << ")";
        EXPECT_EQ(outcome, "reported");
        EXPECT_FALSE(fbtest::fileExistsAt(dir.file("bogen.prt")));
        return;
    }
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_THROW(writeLineFile("bogen.prt", {"x"}), EFileError);
    ::chmod(dir.path().c_str(), 0755);
}
#endif

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
